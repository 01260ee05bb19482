#!/usr/bin/env bash
# Runs the shield under Wine from a program folder in run/, as an installed copy would be laid
# out: the shipped data is copied there the first time and kept between runs. Uses $DISPLAY, or
# a private Xvfb (with a screenshot at run/screen.png every few seconds) when there is none.
# Ctrl-C ends the shield gracefully, through its normal teardown.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/setup.sh

if [ ! -x build/native/bin/sentrel-db ] || [ ! -f build/windows/bin/Sentrel4.exe ]; then
    echo "Building the shield (first run)..."
fi
cmake --preset native >/dev/null
cmake --build build/native --target sentrel-db shipped_database
cmake --preset windows >/dev/null
cmake --build build/windows --target Sentrel4 shipped_database

program=$root/run/program
mkdir -p "$program"
# The program's own files are refreshed at every run, as an update of the program would.
for item in Sentrel4.exe keys_to_watch.ini graphics Help; do
    [ -e "build/windows/bin/$item" ] && cp -rf "build/windows/bin/$item" "$program/"
done
# The threat database is the installation's own (updates change it): laid out only once.
[ -e "$program/database.db" ] || cp build/windows/bin/database.db "$program/"

build=$root/run
. scripts/wine-env.sh

xvfb_pid=""
shooter_pid=""
cleanup() {
    [ -n "$shooter_pid" ] && kill "$shooter_pid" 2>/dev/null || true
    wineserver -k </dev/null >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
    numfile=$(mktemp)
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" </dev/null >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$numfile" ] && break; sleep 0.1; done
    export DISPLAY=":$(tr -dc '0-9' <"$numfile")"
    rm -f "$numfile"
    echo "No display: the shield runs in a private Xvfb on $DISPLAY; its screen is saved to run/screen.png every 5 s."
    (while sleep 5; do import -display "$DISPLAY" -window root "$root/run/screen.png.tmp.png" 2>/dev/null \
        && mv -f "$root/run/screen.png.tmp.png" "$root/run/screen.png"; done) &
    shooter_pid=$!
fi

wine_ensure_server
echo "Sentrel 4 is running from $program (Ctrl-C to end it)."

wine "$program/Sentrel4.exe" &
shield=$!
stopping=0
on_interrupt() {
    [ $stopping -eq 1 ] && return
    stopping=1
    echo
    echo "Ending the shield..."
    # As Windows does at log-off: the shield's main window is asked to close and tears down.
    wine taskkill /im Sentrel4.exe </dev/null >/dev/null 2>&1 || true
}
trap on_interrupt INT TERM
while kill -0 "$shield" 2>/dev/null; do
    wait "$shield" || true
done
echo "Sentrel 4 has ended."
