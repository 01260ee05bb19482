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
exec wine "$@"
