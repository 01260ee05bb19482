#!/usr/bin/env bash
# The idle cost of the shield under Wine, measured from the Linux side (Wine does not report
# another process's CPU time and memory to a Windows program): idle_bench.exe starts the shield at
# High in the tray beside a one-timer program; after a warm-up, the CPU time and the private
# memory of both are read from /proc at the start and the end of one minute.
#   idle-cost.sh BIN_FOLDER   (the folder of idle_bench.exe, Sentrel4.exe and database.db)
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
seconds=60
warmup=10

"$here/wine-run.sh" "$bin/idle_bench.exe" $((seconds + warmup + 5)) </dev/null >/dev/null 2>&1 &
runner=$!
sleep "$warmup"
shield=$(pgrep -f 'sentrel-idle-bench.Sentrel4\.exe' | head -1 || true)
idle=$(pgrep -f 'idle_program\.exe' | head -1 || true)
if [ -z "$shield" ] || [ -z "$idle" ]; then
    echo "error: the shield or the one-timer program did not start" >&2
    wait "$runner" || true
    exit 1
fi
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
private_kb() { awk '/^Private_(Clean|Dirty):/ { sum += $2 } END { print sum }' "/proc/$1/smaps_rollup"; }
shield_start=$(ticks "$shield") idle_start=$(ticks "$idle")
sleep "$seconds"
shield_cpu=$(( $(ticks "$shield") - shield_start )) idle_cpu=$(( $(ticks "$idle") - idle_start ))
shield_mem=$(private_kb "$shield") idle_mem=$(private_kb "$idle")
wait "$runner" || true
hz=$(getconf CLK_TCK)
awk -v s="$shield_cpu" -v i="$idle_cpu" -v sm="$shield_mem" -v im="$idle_mem" -v hz="$hz" -v t="$seconds" 'BEGIN {
    printf "Idle cost under Wine over %d s at High, window in the tray (from /proc)\n", t
    printf "  %-20s CPU %6.2f s (%5.2f%% of one core)   private memory %7.1f MB\n", "Sentrel4.exe", s / hz, 100 * s / hz / t, sm / 1024
    printf "  %-20s CPU %6.2f s (%5.2f%% of one core)   private memory %7.1f MB\n", "one-timer program", i / hz, 100 * i / hz / t, im / 1024
    printf "  ratio                CPU %6.1fx                         private memory %7.1fx\n", (i > 0 ? s / i : 0), (im > 0 ? sm / im : 0)
}'
