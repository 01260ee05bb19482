#!/usr/bin/env bash
# Starts or stops the Wine session of a test run: a private Xvfb (on whatever display number
# it picks) and one persistent wineserver for the build folder's prefix.
#   wine-session.sh start|stop BUILD_DIR
set -euo pipefail
action=$1
build=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"

stop() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    if [ -f "$build/wine-session" ]; then
        read -r _ pid <"$build/wine-session" || true
        [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
        rm -f "$build/wine-session"
    fi
}

case "$action" in
start)
    stop
    numfile=$(mktemp)
    # -displayfd: Xvfb chooses a free display and writes its number to fd 3.
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" </dev/null >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        [ -s "$numfile" ] && break
        sleep 0.1
    done
    number=$(tr -dc '0-9' <"$numfile")
    rm -f "$numfile"
    if [ -z "$number" ]; then
        kill "$pid" 2>/dev/null || true
        echo "error: Xvfb did not start" >&2
        exit 1
    fi
    echo ":$number $pid" >"$build/wine-session"
    export DISPLAY=":$number"
    wine_ensure_server
    echo "Wine session on display :$number"
    ;;
stop)
    stop
    ;;
*)
    echo "usage: wine-session.sh start|stop BUILD_DIR" >&2
    exit 2
    ;;
esac
