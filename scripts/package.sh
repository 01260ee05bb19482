#!/usr/bin/env bash
# Builds the per-user installer: build/windows/Sentrel4-Setup.exe, or Sentrel4-Setup-testkey.exe
# when the build carries the tree's public test key for updates (data/keys/README.md). The
# program is shipped stripped, its debug symbols kept in build/windows/Sentrel4.exe.debug.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh
start=$(date +%s.%N)
cmake --preset native >/dev/null
cmake --build build/native --target sentrel-db
cmake --preset windows >/dev/null
cmake --build build/windows --target installer
end=$(date +%s.%N)
setup=build/windows/$(cat build/windows/installer-name.txt)
if [[ $setup == *-testkey.exe ]]; then
    kind="a development build: it accepts updates signed with the public test key"
else
    kind="a release build: it accepts updates signed with the key in SENTREL_UPDATE_PUBLIC_KEY"
fi
awk -v s="$start" -v e="$end" -v f="$setup" -v b="$(stat -c %s "$setup")" -v k="$kind" \
    'BEGIN { printf "%s: %d bytes (%.2f MB), built in %.1f s\n%s is %s\n", f, b, b / 1048576, e - s, f, k }'
