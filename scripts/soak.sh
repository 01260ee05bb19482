#!/usr/bin/env bash
# The soak benchmark: soak_bench.exe keeps the shield running at High under Wine while it plants
# and removes threats of every kind and answers each alert; this script samples the shield's
# private memory from the Linux side every minute meanwhile (Wine does not report it to a
# Windows program) and prints the series after the program's own figures.
#   soak.sh [MINUTES] [BUILD_FOLDER]   (MINUTES also from SOAK_MINUTES, default 30;
#                                       BUILD_FOLDER default build/windows-bench, built here)
# A day's run: SOAK_MINUTES=1440 make soak
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
minutes=${1:-${SOAK_MINUTES:-30}}
build=${2:-}
. scripts/bench-build.sh soak_bench
. scripts/wine-env.sh

scripts/wine-session.sh start "$build"
wine_unmanaged_windows
out=$(mktemp)
trap 'rm -f "$out"; scripts/wine-session.sh stop "$build"' EXIT
SENTREL_WINE_TIME_LIMIT=$((minutes * 60 + 600)) scripts/wine-run.sh "$bin/soak_bench.exe" "$minutes" </dev/null \
    >"$out" 2>/dev/null &
runner=$!
memory=()
next=0
start=$(date +%s)
while kill -0 "$runner" 2>/dev/null; do
    if [ "$(date +%s)" -ge $((start + next * 60)) ]; then
        shield=$(wine_prefix_process 'sentrel-soak-bench.Sentrel4\.exe')
        [ -n "$shield" ] && memory+=("$next $(linux_private_kb "$shield")")
        next=$((next + 1))
    fi
    sleep 1
done
wait "$runner" || true
tr -d '\r' <"$out"
echo "Private memory of the shield (Linux side), each minute"
printf '%s\n' "${memory[@]}" | awk '
    { printf "  minute %4d  %7.1f MB\n", $1, $2 / 1024; if (NR == 1 || $2 < low) low = $2; if ($2 > high) high = $2; last = $2 }
    NR == 2 { second = $2 }
    END { if (NR) printf "  lowest %.1f MB, highest %.1f MB, after the first minute %.1f MB, at the end %.1f MB\n",
                         low / 1024, high / 1024, second / 1024, last / 1024 }'
