#!/usr/bin/env bash
# The alert flood benchmark: flood_bench.exe plants 500 autorun values and 200 known files while
# the shield runs under Wine and answers its alerts; this script samples the shield's private
# memory from the Linux side meanwhile (Wine does not report it to a Windows program) and prints
# its peak after the program's own figures.
#   flood.sh [BUILD_FOLDER]   (default: build/windows-bench, built here)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-}
. scripts/bench-build.sh flood_bench
. scripts/wine-env.sh

# A private X display and wineserver for the run, as the tests have.
scripts/wine-session.sh start "$build"
wine_unmanaged_windows
out=$(mktemp)
trap 'rm -f "$out"; scripts/wine-session.sh stop "$build"' EXIT
SENTREL_WINE_TIME_LIMIT=1500 scripts/wine-run.sh "$bin/flood_bench.exe" </dev/null >"$out" 2>/dev/null &
runner=$!
peak=0
while kill -0 "$runner" 2>/dev/null; do
    shield=$(wine_prefix_process 'sentrel-flood-bench.Sentrel4\.exe')
    if [ -n "$shield" ]; then
        now=$(linux_private_kb "$shield")
        [ "$now" -gt "$peak" ] && peak=$now
    fi
    sleep 0.5
done
wait "$runner" || true
tr -d '\r' <"$out"
awk -v kb="$peak" 'BEGIN { printf "  private memory peak (Linux side)             %6.1f MB\n", kb / 1024 }'
