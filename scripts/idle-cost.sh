#!/usr/bin/env bash
# Start-up and idle cost of the shield under Wine against the floor program (idle_program.exe:
# the same system libraries, a hidden window, a tray icon, one timer), in the same run.
# idle_bench.exe starts both, prints their start-up times and signals when both idle; the CPU
# time and the private memory of both are then read from /proc at the start and the end of one
# minute (Wine does not report another process's figures to a Windows program).
#   idle-cost.sh BIN_FOLDER [DATABASE]   (the folder of idle_bench.exe, Sentrel4.exe and
#                                         database.db; DATABASE replaces the shipped database)
# SENTREL_IDLE_SECONDS changes the minute. SENTREL_IDLE_COOKIE_STORES=1 first puts a Chrome profile
# (Local State, Default\Network\Cookies) and a Firefox profile (profiles.ini,
# Profiles\bench.default\cookies.sqlite) with a store of 20,000 cookies each in the prefix's user
# folders (written by cookie_store_bench.exe --make-stores, from BIN_FOLDER), and removes them at
# the end: the idle cost of two stores that do not change. It refuses to run where the prefix
# already has a Chrome or Firefox folder.
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
baseline= kept_baseline=
made_profiles=()
clean_up() {
    touch "$signal/done"
    rm -rf "$signal" "${made_profiles[@]}"
    rm -f "$baseline"
    [ -z "$kept_baseline" ] || mv "$kept_baseline" "$baseline"
    [ -z "$own_session" ] || "$here/wine-session.sh" stop "$build"
}
trap clean_up EXIT

# The prefix's user folders, as Windows names them and as they are here.
wine_ensure_server
windows_folder() { wine cmd /c echo "%$1%" </dev/null 2>/dev/null | tr -d '\r' | tail -n 1; }
local_appdata=$(windows_folder LOCALAPPDATA) roaming_appdata=$(windows_folder APPDATA)
local_unix=$(realpath -e "$(winepath -u "$local_appdata" 2>/dev/null)" 2>/dev/null || true)
roaming_unix=$(realpath -e "$(winepath -u "$roaming_appdata" 2>/dev/null)" 2>/dev/null || true)
# Whatever is removed at the end must be inside the prefix.
for folder in "$local_unix" "$roaming_unix"; do
    case "$folder" in
    "$(realpath "$WINEPREFIX")"/drive_c/?*) ;;
    *) echo "error: the prefix's user folders were not found (got '$folder')" >&2; exit 1 ;;
    esac
done

# Every run is the shield's first start: what earlier runs taught its autostart baseline (cookie
# stores that were there then, or not) would otherwise be reported or forgotten during the idle
# minute. The baseline is set aside for the run and put back afterwards.
baseline="$roaming_unix/.SentrelSettings/autostart_baseline.txt"
if [ -e "$baseline" ]; then
    aside=$(mktemp)
    mv "$baseline" "$aside"
    kept_baseline=$aside
fi

if [ "${SENTREL_IDLE_COOKIE_STORES:-}" = 1 ]; then
    chrome="$local_unix/Google/Chrome" firefox="$roaming_unix/Mozilla/Firefox"
    for folder in "$chrome" "$firefox"; do
        if [ -e "$folder" ]; then
            echo "error: $folder is there already; the cookie stores are made only where there is no profile" >&2
            exit 1
        fi
        # The highest folder made here is the one removed.
        top=$folder
        [ -e "$(dirname "$folder")" ] || top=$(dirname "$folder")
        made_profiles+=("$top")
    done
    mkdir -p "$chrome/User Data" "$firefox"
    printf '%s' '{"profile":{"info_cache":{"Default":{"name":"Person 1"}}}}' >"$chrome/User Data/Local State"
    printf '[General]\r\nStartWithLastProfile=1\r\nVersion=2\r\n\r\n[Profile0]\r\nName=bench\r\nIsRelative=1\r\nPath=Profiles/bench.default\r\nDefault=1\r\n' \
        >"$firefox/profiles.ini"
    "$here/wine-run.sh" "$bin/cookie_store_bench.exe" --make-stores \
        "$local_appdata\\Google\\Chrome\\User Data\\Default\\Network\\Cookies" \
        "$roaming_appdata\\Mozilla\\Firefox\\Profiles\\bench.default\\cookies.sqlite" </dev/null 2>&1 | tr -d '\r'
fi

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
