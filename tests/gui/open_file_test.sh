#!/usr/bin/env bash
# Starts the real veltrimax with a file on its command line, as a file manager
# does on a double-click, on a virtual X server: types the key into its box,
# clicks the button of the side the file filled, answers the completion message
# and checks the output at the proposed name byte for byte, and that the
# program then ended.
#
#   open_file_test.sh VELTRIMAX
set -euo pipefail

program=$1
title="Veltrimax Encrypt and decrypt file"
# shellcheck source=tests/support/xvfb.sh
source "$(dirname "$0")/../support/xvfb.sh"
start_xvfb 1280 1024
export QT_QPA_PLATFORM=xcb VLT_CODEPAGE=1252 XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$HOME"

# "Hello, world!" under the key "secret" has one known encryption.
printf 'Hello, world!' >"$work/original"
hex=02060703030801030702010301090902090301080602010202020006000502020008010607060303090100
# shellcheck disable=SC2059
printf "$(sed 's/../\\x&/g' <<<"$hex")" >"$work/expected.vlt"

# open FILE BUTTON_LEFT BUTTON_TOP: starts the program on FILE, types the key
# and clicks the button at those twips; returns once the program has ended.
open() {
    "$program" "$1" >"$work/program.log" 2>&1 &
    app_pid=$!
    local window message
    window=$(find_window "$title" "$app_pid")
    click_control "$window" 2070 240 7800 285  # Text3, the primary key
    xdotool type --delay 0 secret
    click_control "$window" "$2" "$3" 3030 375
    message=$(other_window "$window")
    xdotool windowfocus --sync "$message" key Return
    wait_exit "$app_pid" 10
    app_pid=
}

cd "$work"
cp original hello.txt
open hello.txt 7680 1680  # a relative name, as a shell passes it; "Encrypt file"
cmp hello.txt.vlt expected.vlt || fail "veltrimax hello.txt wrote another hello.txt.vlt"

rm hello.txt
cp expected.vlt hello.txt.VLT
open "$work/hello.txt.VLT" 7680 4200  # "Decrypt file"
cmp hello.txt original || fail "veltrimax hello.txt.VLT wrote another hello.txt"
echo "veltrimax FILE encrypted to FILE.vlt and veltrimax FILE.VLT decrypted to FILE, byte for byte"
