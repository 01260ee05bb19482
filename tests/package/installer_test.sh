#!/usr/bin/env bash
# Runs the installer tests (installer_tests.exe) as a user who has never installed the shield: in
# a fresh Wine prefix and on a private Xvfb of their own, so that neither the prefix nor the
# pictures they take are shared with the other Windows tests.
#   installer_test.sh BUILD_DIR [gtest arguments...]
set -euo pipefail
build=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)
tests=$build/bin/installer_tests.exe

# wine-env.sh puts the prefix inside $build: here a folder of its own, made afresh.
build=$build/installer-test
rm -rf "$build"
mkdir -p "$build"
. "$here/wine-env.sh"

xvfb=""
cleanup() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
numfile=$build/display
setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" </dev/null >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$numfile" ] && break
    sleep 0.1
done
[ -s "$numfile" ] || { echo "error: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -dc '0-9' <"$numfile")"

wine_ensure_server
wine "$tests" "$@"
