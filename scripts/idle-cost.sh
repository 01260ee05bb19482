#!/usr/bin/env bash
# Start-up and idle cost of the shield under Wine against the floor program (idle_program.exe:
# the same system libraries, a hidden window, a tray icon, one timer), in the same run.
# idle_bench.exe starts both, prints their start-up times and signals when both idle; the CPU
# time and the private memory of both are then read from /proc at the start and the end of one
# minute (Wine does not report another process's figures to a Windows program).
#   idle-cost.sh BIN_FOLDER [DATABASE]   (the folder of idle_bench.exe, Sentrel4.exe and
#                                         database.db; DATABASE replaces the shipped database)
# SENTREL_IDLE_SECONDS changes the minute.
set -euo pipefail
bin=$(cd "$1" && pwd)
database=${2:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
seconds=${SENTREL_IDLE_SECONDS:-60}
signal=$(mktemp -d)
# The tray and the windows need a display: the build's test session, or one started here.
build=$(dirname "$bin")
. "$here/wine-env.sh"
own_session=
if ! wine_session_display >/dev/null; then
    "$here/wine-session.sh" start "$build" >/dev/null
    own_session=1
fi
trap 'touch "$signal/done"; rm -rf "$signal"; [ -z "$own_session" ] || "$here/wine-session.sh" stop "$build"' EXIT

arguments=(--signal="Z:${signal//\//\\}" --idle-limit=$((seconds + 120)))
[ -n "$database" ] && arguments+=(--database="Z:$(cd "$(dirname "$database")" && pwd | sed 's|/|\\|g')\\$(basename "$database")")
output=$(mktemp)
"$here/wine-run.sh" "$bin/idle_bench.exe" "${arguments[@]}" </dev/null >"$output" 2>&1 &
runner=$!

# Start-up with a large database under Wine takes a while; idle_bench gives up after its own limit.
for _ in $(seq 1 600); do
    [ -f "$signal/ready" ] && break
    kill -0 "$runner" 2>/dev/null || break
    sleep 0.5
done
shield=$(wine_prefix_process 'sentrel-idle-bench.Sentrel4\.exe')
idle=$(wine_prefix_process 'idle_program\.exe')
if [ ! -f "$signal/ready" ] || [ -z "$shield" ] || [ -z "$idle" ]; then
    echo "error: the shield or the floor program did not start" >&2
    touch "$signal/done"
    wait "$runner" || true
    tr -d '\r' <"$output" >&2
    exit 1
fi

# CPU time in nanoseconds, summed over the process's threads (clock ticks are too coarse for
# a program that idles).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ sum += $1 } END { printf "%.0f\n", sum }'; }
# Private memory in kB: all of it, and the part in anonymous mappings (heaps, stacks, bitmaps).
anonymous_kb() {
    awk '/^[0-9a-f]+-[0-9a-f]+ / { anon = ($6 == "" || $6 ~ /^\[(heap|stack|anon)/) }
         anon && /^Private_(Clean|Dirty):/ { sum += $2 } END { print sum + 0 }' "/proc/$1/smaps"
}
shield_start=$(cpu_ns "$shield") idle_start=$(cpu_ns "$idle")
shield_mem_start=$(linux_private_kb "$shield") idle_mem_start=$(linux_private_kb "$idle")
sleep "$seconds"
shield_cpu=$(( $(cpu_ns "$shield") - shield_start )) idle_cpu=$(( $(cpu_ns "$idle") - idle_start ))
shield_mem=$(linux_private_kb "$shield") idle_mem=$(linux_private_kb "$idle")
shield_anon=$(anonymous_kb "$shield") idle_anon=$(anonymous_kb "$idle")
touch "$signal/done"
wait "$runner" || true
tr -d '\r' <"$output"
rm -f "$output"
hz=1000000000  # nanoseconds
awk -v s="$shield_cpu" -v i="$idle_cpu" -v sm="$shield_mem" -v im="$idle_mem" -v sa="$shield_anon" -v ia="$idle_anon" \
    -v sm0="$shield_mem_start" -v im0="$idle_mem_start" -v hz="$hz" -v t="$seconds" 'BEGIN {
    printf "Idle over %d s at High, in the tray (from /proc; private memory at the end, anonymous part, at the start)\n", t
    printf "  %-18s CPU %6.3f s (%5.2f%% of one core)   private %6.1f MB (anonymous %6.1f MB, start %6.1f MB)\n", "Sentrel4.exe", s / hz, 100 * s / hz / t, sm / 1024, sa / 1024, sm0 / 1024
    printf "  %-18s CPU %6.3f s (%5.2f%% of one core)   private %6.1f MB (anonymous %6.1f MB, start %6.1f MB)\n", "floor program", i / hz, 100 * i / hz / t, im / 1024, ia / 1024, im0 / 1024
    # Under one clock tick the floor has no measurable CPU time: no ratio then.
    printf "  ratio              CPU %7s                           private %6.1fx\n", (i > 0 ? sprintf("%.1fx", s / i) : "n/a"), (im > 0 ? sm / im : 0)
}'
