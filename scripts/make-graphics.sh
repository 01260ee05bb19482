#!/usr/bin/env bash
# Makes the pictures of the alert window's skin in data/graphics from data/graphics/alert.svg:
# alert_main.gif and, for each button (shield, ignore, alert_exit), its normal, hover (_over) and
# pressed (_down) JPEGs, in the light-yellow tint and in the light-red one ("_red" before the
# extension). Every picture is cut out of a render of the whole window, so a button matches the
# background behind it. The produced files are kept in the tree; run this after changing the
# source. Needs rsvg-convert (librsvg2-bin) and ImageMagick.
set -euo pipefail

graphics="$(cd "$(dirname "$0")/../data/graphics" && pwd)"
source_svg="$graphics/alert.svg"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The light-red palette, colour for colour, in place of the light-yellow one.
red_palette=(
    fff8e1:fff1f0 fcebb6:f9cfcc b98418:b54a44 f0b42c:d94a3c c8840e:a62219 9c6608:7c1510 7a4c00:620d08
    fff6da:ffe4e0 fffdf4:fffafa e2c269:e09a96 fbd770:f37e7e d7a83a:c94f4f fffdf5:fffafa f1dca0:f0c0bc
    f7e6b4:f8d3d0 e6cb80:e09f9a fbf0cc:fbe1df 5a3d00:5c1210 3d2900:3f0806
)

# render TINT STATE OUTPUT.png
render() {
    local tint="$1" state="$2" output="$3" svg="$work/alert-$1-$2.svg"
    local hidden
    case "$state" in
        normal) hidden=".over, .down" ;;
        over) hidden=".normal, .down" ;;
        down) hidden=".normal, .over" ;;
    esac
    sed "s|/\* state \*/ .*|/* state */ $hidden { display: none; }|" "$source_svg" > "$svg"
    if [ "$tint" = red ]; then
        local pair
        for pair in "${red_palette[@]}"; do
            sed -i "s/#${pair%%:*}/#${pair##*:}/g" "$svg"
        done
    fi
    rsvg-convert --width 438 --height 275 "$svg" -o "$output"
}

jpeg() {  # jpeg INPUT.png GEOMETRY OUTPUT.jpg
    convert "$1" -crop "$2" +repage -strip -sampling-factor 1x1 -quality 95 "$3"
}

for tint in yellow red; do
    suffix=""
    [ "$tint" = red ] && suffix="_red"
    for state in normal over down; do
        render "$tint" "$state" "$work/$tint-$state.png"
    done
    convert "$work/$tint-normal.png" -strip +dither -colors 256 "$graphics/alert_main$suffix.gif"
    for state in normal over down; do
        case "$state" in
            normal) part="" ;;
            over) part="_over" ;;
            down) part="_down" ;;
        esac
        jpeg "$work/$tint-$state.png" 120x129+310+65 "$graphics/shield$part$suffix.jpg"
        jpeg "$work/$tint-$state.png" 120x49+310+200 "$graphics/ignore$part$suffix.jpg"
        jpeg "$work/$tint-$state.png" 25x22+394+10 "$graphics/alert_exit$part$suffix.jpg"
    done
done
echo "Pictures made in $graphics"
