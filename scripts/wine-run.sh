#!/usr/bin/env bash
# Runs a Windows program under Wine with the prefix and X display of its build folder.
# Used as CMake's cross-compiling emulator: the first argument is <build>/bin/<program>.exe.
set -euo pipefail
exe=$1
build=${SENTREL_WINE_BUILD:-$(cd "$(dirname "$exe")/.." && pwd)}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"

if display=$(wine_session_display); then
    export DISPLAY=$display
fi
wine_ensure_server

# The program's output goes to files that are shown when it has ended. A process that Wine
# starts on the program's behalf (a service, the desktop) inherits the program's standard
# streams and may live on; holding a file open keeps nobody waiting, while holding the caller's
# pipe would keep ctest waiting for the end of a test that has long finished. A program that
# does not end within SENTREL_WINE_TIME_LIMIT seconds (default 280, inside ctest's 300) is
# stopped, and what it printed is still shown.
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
status=0
timeout --kill-after=10 "${SENTREL_WINE_TIME_LIMIT:-280}" wine "$@" >"$out" 2>"$err" || status=$?
cat "$err" >&2
cat "$out"
if [ "$status" -eq 124 ]; then
    echo "wine-run.sh: $1 did not end within ${SENTREL_WINE_TIME_LIMIT:-280} s and was stopped" >&2
fi
exit "$status"
