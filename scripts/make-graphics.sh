#!/usr/bin/env bash
# Makes the pictures of the windows' skins from the SVG sources in data/graphics. Every button
# picture is cut out of a render of the whole window, so a button matches the background behind
# it; each source has .normal, .over and .down groups, and a render shows one of them.
#
# alert.svg: alert_main.gif and, for each button (shield, ignore, alert_exit), its normal, hover
#   (_over) and pressed (_down) JPEGs, in the light-yellow tint and in the light-red one ("_red"
#   before the extension).
# main.svg: main_back.jpg, the hover and pressed JPEGs of the five level buttons beside it, and
#   the normal, hover and pressed JPEGs of the other buttons in resources/.
# first-run.svg: FirstSplash.gif, and the pictures of its button in resources/.
# scanner-splash.svg: Splash.jpg.
# icons.svg: the tray menu's strip tray_menu.png and the close dialog's pictures, in resources/.
#
# The pictures in data/graphics go beside the program in graphics\; those in resources/ are built
# into the program. The produced files are kept in the tree; run this after changing a source.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick.
set -euo pipefail

graphics="$(cd "$(dirname "$0")/../data/graphics" && pwd)"
resources="$graphics/resources"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$resources"

states=(normal over down)

# The file-name part of a state: "", "_over" or "_down".
state_suffix() {
    case "$1" in
        normal) echo "" ;;
        over) echo "_over" ;;
        down) echo "_down" ;;
    esac
}

# show_state SOURCE.svg STATE OUTPUT.svg: a copy of the source that shows only STATE's groups.
show_state() {
    local hidden
    case "$2" in
        normal) hidden=".over, .down" ;;
        over) hidden=".normal, .down" ;;
        down) hidden=".normal, .over" ;;
    esac
    sed "s|/\* state \*/ .*|/* state */ $hidden { display: none; }|" "$1" > "$3"
}

jpeg() {  # jpeg INPUT.png GEOMETRY OUTPUT.jpg
    convert "$1" -crop "$2" +repage -strip -sampling-factor 1x1 -quality 95 "$3"
}

# gif_keeping INPUT.png COLOUR OUTPUT.gif: a 256-colour GIF in which COLOUR (a flat panel the
# program paints texts on) stays exactly that colour.
gif_keeping() {
    convert "$1" -strip +dither -colors 255 -unique-colors "$work/palette.png"
    convert "$work/palette.png" -size 1x1 "xc:$2" +append "$work/palette.png"
    convert "$1" -strip +dither -remap "$work/palette.png" "$3"
}

# expect_flat PICTURE GEOMETRY COLOUR: fails unless the area is exactly that one colour.
expect_flat() {
    local found expected="${3#\#}"
    found="$(convert "$1" -crop "$2" +repage -unique-colors -depth 8 -format '%k %[hex:p{0,0}]' info:)"
    if [ "$found" != "1 ${expected^^}" ]; then
        echo "error: $(basename "$1") at $2 is not flat $3 (colours, first: $found)" >&2
        exit 1
    fi
}

# --- The alert window, in two tints ---

# The light-red palette, colour for colour, in place of the light-yellow one.
red_palette=(
    fff8e1:fff1f0 fcebb6:f9cfcc b98418:b54a44 f0b42c:d94a3c c8840e:a62219 9c6608:7c1510 7a4c00:620d08
    fff6da:ffe4e0 fffdf4:fffafa e2c269:e09a96 fbd770:f37e7e d7a83a:c94f4f fffdf5:fffafa f1dca0:f0c0bc
    f7e6b4:f8d3d0 e6cb80:e09f9a fbf0cc:fbe1df 5a3d00:5c1210 3d2900:3f0806
)

# render_alert TINT STATE OUTPUT.png
render_alert() {
    local tint="$1" state="$2" output="$3" svg="$work/alert-$1-$2.svg"
    show_state "$graphics/alert.svg" "$state" "$svg"
    if [ "$tint" = red ]; then
        local pair
        for pair in "${red_palette[@]}"; do
            sed -i "s/#${pair%%:*}/#${pair##*:}/g" "$svg"
        done
    fi
    rsvg-convert --width 438 --height 355 "$svg" -o "$output"
}

for tint in yellow red; do
    suffix=""
    [ "$tint" = red ] && suffix="_red"
    for state in "${states[@]}"; do
        render_alert "$tint" "$state" "$work/$tint-$state.png"
    done
    convert "$work/$tint-normal.png" -strip +dither -colors 256 "$graphics/alert_main$suffix.gif"
    for state in "${states[@]}"; do
        part="$(state_suffix "$state")"
        jpeg "$work/$tint-$state.png" 120x209+310+65 "$graphics/shield$part$suffix.jpg"
        jpeg "$work/$tint-$state.png" 120x49+310+280 "$graphics/ignore$part$suffix.jpg"
        jpeg "$work/$tint-$state.png" 25x22+394+10 "$graphics/alert_exit$part$suffix.jpg"
    done
done

# --- The main window ---

for state in "${states[@]}"; do
    show_state "$graphics/main.svg" "$state" "$work/main-$state.svg"
    rsvg-convert "$work/main-$state.svg" -o "$work/main-$state.png"
done

# The background is shown at client (-1,-3): client point (x,y) is picture point (x+1,y+3).
# main_button STATE DIRECTORY NAME LEFT TOP WIDTH HEIGHT (client pixels)
main_button() {
    jpeg "$work/main-$1.png" "${6}x${7}+$(($4 + 1))+$(($5 + 3))" "$2/$3$(state_suffix "$1").jpg"
}

jpeg "$work/main-normal.png" 633x493+0+0 "$graphics/main_back.jpg"
expect_flat "$graphics/main_back.jpg" 456x54+159+423 "#eef3f9"  # the status panel, inside its edge

# The level buttons: their normal look is the background's; hover and pressed go beside it.
for state in over down; do
    main_button "$state" "$graphics" small_shield 218 146 109 116
    main_button "$state" "$graphics" middle_shield 330 113 101 149
    main_button "$state" "$graphics" large_shield 440 108 108 157
    main_button "$state" "$graphics" custom 391 293 136 116
    main_button "$state" "$graphics" disabled 250 292 136 116
done

# The other buttons, built into the program.
for state in "${states[@]}"; do
    main_button "$state" "$resources" scaner 18 51 113 51
    main_button "$state" "$resources" options_button 18 109 113 52
    main_button "$state" "$resources" update 18 289 113 54
    main_button "$state" "$resources" undo 18 348 113 54
    main_button "$state" "$resources" help 18 405 113 54
    main_button "$state" "$resources" help_mini 533 5 25 22
    main_button "$state" "$resources" mini 560 5 25 22
    main_button "$state" "$resources" exit1 588 5 25 22
done

# --- The first-run window ---

for state in "${states[@]}"; do
    show_state "$graphics/first-run.svg" "$state" "$work/first-run-$state.svg"
    rsvg-convert "$work/first-run-$state.svg" -o "$work/first-run-$state.png"
    jpeg "$work/first-run-$state.png" 200x50+190+470 "$resources/return$(state_suffix "$state").jpg"
done
gif_keeping "$work/first-run-normal.png" "#f5f8fc" "$graphics/FirstSplash.gif"
expect_flat "$graphics/FirstSplash.gif" 520x310+30+140 "#f5f8fc"  # the text panel

# --- The scanner-not-installed window ---

rsvg-convert "$graphics/scanner-splash.svg" -o "$work/scanner-splash.png"
jpeg "$work/scanner-splash.png" 460x260+0+0 "$graphics/Splash.jpg"

# --- Small pictures on a transparent background ---

rsvg-convert "$graphics/icons.svg" -o "$work/icons.png"
png() {  # png GEOMETRY OUTPUT.png: 32-bit RGBA
    convert "$work/icons.png" -crop "$1" +repage -strip "PNG32:$2"
}
png 128x16+0+0 "$resources/tray_menu.png"
png 32x32+0+16 "$resources/closing_minimize.png"
png 32x32+32+16 "$resources/closing_close.png"
png 32x32+64+16 "$resources/closing_ask.png"

# --- Every picture the windows place at fixed sizes must have exactly that size ---

expect_size() {  # expect_size WIDTHxHEIGHT PICTURE...
    local picture found
    for picture in "${@:2}"; do
        found="$(identify -format '%wx%h' "$picture")"
        if [ "$found" != "$1" ]; then
            echo "error: $(basename "$picture") is $found, not $1" >&2
            exit 1
        fi
    done
}
level_states() {  # level_states NAME: its hover and pressed pictures
    echo "$graphics/${1}_over.jpg" "$graphics/${1}_down.jpg"
}
button_states() {  # button_states NAME: its normal, hover and pressed pictures
    echo "$resources/$1.jpg" "$resources/${1}_over.jpg" "$resources/${1}_down.jpg"
}
# shellcheck disable=SC2046  # the helpers list file names without blanks
{
    expect_size 633x493 "$graphics/main_back.jpg"
    expect_size 109x116 $(level_states small_shield)
    expect_size 101x149 $(level_states middle_shield)
    expect_size 108x157 $(level_states large_shield)
    expect_size 136x116 $(level_states custom) $(level_states disabled)
    expect_size 113x51 $(button_states scaner)
    expect_size 113x52 $(button_states options_button)
    expect_size 113x54 $(button_states update) $(button_states undo) $(button_states help)
    expect_size 25x22 $(button_states help_mini) $(button_states mini) $(button_states exit1)
    expect_size 580x550 "$graphics/FirstSplash.gif"
    expect_size 200x50 $(button_states return)
    expect_size 460x260 "$graphics/Splash.jpg"
    expect_size 32x32 "$resources/closing_minimize.png" "$resources/closing_close.png" "$resources/closing_ask.png"
    expect_size 128x16 "$resources/tray_menu.png"
}

# update-wizard.svg: the picture on the left of the update wizard, in resources/.
rsvg-convert -w 145 -h 217 "$graphics/update-wizard.svg" -o "$resources/update_wizard.png"

echo "Pictures made in $graphics"
