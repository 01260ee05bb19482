#!/usr/bin/env bash
# Refreshes the help's pictures from the screenshots the end-to-end tests take of the real
# program (build/windows/screenshots/, made by `make test` or ctest in build/windows).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
shots=build/windows/screenshots
images=data/help/Source/images
for name in alert-yellow alert-red main-High tray-menu first-run; do
    if [ ! -f "$shots/$name.bmp" ]; then
        echo "error: $shots/$name.bmp is missing; run the end-to-end tests first" >&2
        exit 1
    fi
    # PNG without time stamps, so an unchanged picture gives an unchanged file.
    convert "$shots/$name.bmp" -strip -define png:exclude-chunks=date,time "$images/$name.png.tmp.png"
    mv -f "$images/$name.png.tmp.png" "$images/$name.png"
done
echo "updated: $(ls "$images")"
