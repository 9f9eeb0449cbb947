#!/usr/bin/env bash
# veltrimax.exe under Wine used as a person would, from outside: X clicks at the
# places of the layout table (app/form/form1_layout.h, twips / 15 from the
# window's client origin), typed text, a click on the button and Enter on the
# completion box. It encrypts a file and decrypts the result in two starts; the
# .vlt file must be byte for byte what the Linux vlt writes, the decrypted file
# the original. Runs on a display of its own (wine_display.sh): Xvfb without a
# window manager, where Wine's windows are plain X windows.
#
#   clicks_test.sh WINE_RUN PREFIX VELTRIMAX.EXE VLT [SCREENSHOT.png]
#
# With a fifth argument the window is photographed there as it starts (needs
# ImageMagick's import; the test itself does not).
set -euo pipefail

run=$1
prefix=$2
program=$3
vlt=$4
screenshot=${5:-}
layout="$(dirname "$0")/../../app/form/form1_layout.h"
title="Veltrimax Encrypt and decrypt file"

[ -x "$vlt" ] || { echo "no Linux vlt at $vlt: build the release preset first" >&2; exit 1; }

# A scratch folder in $work and fail; the display is wine_display.sh's.
# shellcheck source=tests/support/xvfb.sh
source "$(dirname "$0")/../support/xvfb.sh"

# Polls a command for up to 30 s; prints its output once it gives some.
wait_for() {
    local out
    for _ in $(seq 300); do
        out=$("$@" 2>/dev/null) && [ -n "$out" ] && { echo "$out"; return 0; }
        sleep 0.1
    done
    return 1
}

# A control's centre in the client area: left top width height in twips.
centre() {
    local place
    place=$(sed -n "s/^ *{\"$1\", ControlKind::[A-Za-z]*, [^,]*, \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\).*/\1 \2 \3 \4/p" "$layout")
    [ -n "$place" ] || fail "no control $1 in $layout"
    set -- $place
    echo "$((($1 + $3 / 2) / 15)) $((($2 + $4 / 2) / 15))"
}

windows_path() {
    echo "Z:${1//\//\\}"
}

# Starts the program, clicks into each box and types its text, clicks the button
# and presses Enter on the message box, which must be the completion's.
use_window() {
    local button=$1 window border x0 y0 x y box
    shift
    "$run" "$prefix" "$program" >"$work/program.log" 2>&1 &
    app_pid=$!
    window=$(find_window "$title" "$app_pid")
    # Unmanaged, the X window is the whole window with the frame Wine draws: a border as
    # wide at the sides as below, the caption above. The client area is 725 x 386.
    eval "$(xdotool getwindowgeometry --shell "$window")"
    border=$(((WIDTH - 725) / 2))
    x0=$((X + border)) y0=$((Y + HEIGHT - 386 - border))
    [ "$border" -ge 0 ] && [ "$y0" -gt "$Y" ] || fail "a window of ${WIDTH}x${HEIGHT} has no 725x386 client area"
    if [ -n "$screenshot" ]; then
        sleep 1  # let the first paint settle
        import -window "$window" "$screenshot"
        screenshot=
    fi
    while [ $# -gt 0 ]; do
        read -r x y < <(centre "$1")
        xdotool mousemove $((x0 + x)) $((y0 + y)) click 1
        xdotool type --delay 15 "$2"
        shift 2
    done
    read -r x y < <(centre "$button")
    xdotool mousemove $((x0 + x)) $((y0 + y)) click 1
    box=$(wait_for xdotool search --onlyvisible --name '^Veltrimax$') || fail "no message box"
    eval "$(xdotool getwindowgeometry --shell "$box")"
    # The box's text is not an X property: the program's end after Enter shows it was the
    # completion, whose only button ends the program; any other box keeps it running.
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) key Return
    wait_exit "$app_pid" 10
    app_pid=
}

key="Tajna 42 kljuc"
head -c 20000 /dev/urandom >"$work/plain.bin"
printf '%s' "$key" >"$work/key"
VLT_CODEPAGE=1252 "$vlt" encrypt -q --key-file "$work/key" "$work/plain.bin" -o "$work/expected.vlt"

use_window Command1 \
    Text3 "$key" Text1 "$(windows_path "$work/plain.bin")" Text2 "$(windows_path "$work/clicked.vlt")"
cmp "$work/expected.vlt" "$work/clicked.vlt" || fail "the window's .vlt file differs from vlt's"

use_window Command2 \
    Text3 "$key" Text6 "$(windows_path "$work/expected.vlt")" Text5 "$(windows_path "$work/back.bin")"
cmp "$work/plain.bin" "$work/back.bin" || fail "the decrypted file differs from the original"
echo "veltrimax.exe encrypted as vlt does and decrypted back, by clicks and typing"
