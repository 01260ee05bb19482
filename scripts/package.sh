#!/usr/bin/env bash
# Builds the per-user installer build/windows/Sentrel4-Setup.exe (the program stripped, its
# debug symbols kept in build/windows/Sentrel4.exe.debug).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh
start=$(date +%s.%N)
cmake --preset native >/dev/null
cmake --build build/native --target sentrel-db
cmake --preset windows >/dev/null
cmake --build build/windows --target installer
end=$(date +%s.%N)
setup=build/windows/Sentrel4-Setup.exe
awk -v s="$start" -v e="$end" -v f="$setup" -v b="$(stat -c %s "$setup")" \
    'BEGIN { printf "%s: %d bytes (%.2f MB), built in %.1f s\n", f, b, b / 1048576, e - s }'
