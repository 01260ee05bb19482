#!/usr/bin/env bash
# Runs the installer tests (installer_tests.exe) in a fresh Wine prefix of their own, on the
# display of the build's Wine session, as a user who has never installed the shield.
#   installer_test.sh BUILD_DIR [gtest arguments...]
set -euo pipefail
build=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)
. "$here/wine-env.sh"
display=$(wine_session_display) || { echo "error: no Wine session for $build" >&2; exit 1; }
export DISPLAY=$display
tests=$build/bin/installer_tests.exe

# The fresh prefix: wine-env.sh puts it inside $build, here a folder of its own.
build=$build/installer-test
rm -rf "$build"
. "$here/wine-env.sh"
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
wine_ensure_server
wine "$tests" "$@"
