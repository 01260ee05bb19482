#!/usr/bin/env bash
# The quiet-desktop benchmark: noise_bench.exe plays a week of an ordinary desktop (sign-ins,
# updates, a start switched off and on, Windows' scratch files) against the shield under Wine and
# prints every alert it raised (goal: none but the two controls'). A few minutes.
#   noise.sh [BUILD_FOLDER]   (default: build/windows-bench, built here)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-}
. scripts/bench-build.sh noise_bench
. scripts/wine-env.sh

# A private X display and wineserver for the run, as the tests have.
scripts/wine-session.sh start "$build"
wine_unmanaged_windows
trap 'scripts/wine-session.sh stop "$build"' EXIT
SENTREL_WINE_TIME_LIMIT=900 scripts/wine-run.sh "$bin/noise_bench.exe" </dev/null 2>/dev/null | tr -d '\r'
