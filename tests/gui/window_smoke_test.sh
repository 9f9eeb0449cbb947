#!/usr/bin/env bash
# Starts the real veltrimax on a virtual X server (Xvfb, no window manager),
# finds its window, checks its title, size, size hints, place and icon, opens
# and cancels the Open dialog, closes the window as a close box would, and
# expects the program to end with status 0 having stored nothing in its home.
#
#   window_smoke_test.sh VELTRIMAX CLOSE_WINDOW [SCREENSHOT.png]
#
# With a third argument the window is also photographed there (needs
# ImageMagick's import; the test itself does not).
set -euo pipefail

program=$1
closer=$2
screenshot=${3:-}
title="Veltrimax Encrypt and decrypt file"
screen_width=1280
screen_height=1024

# shellcheck source=tests/support/xvfb.sh
source "$(dirname "$0")/../support/xvfb.sh"
start_xvfb "$screen_width" "$screen_height"
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home"
mkdir "$HOME"

"$program" >"$work/program.log" 2>&1 &
app_pid=$!

window=$(find_window "$title" "$app_pid")

[ "$(xdotool getwindowname "$window")" = "$title" ] || fail "title is '$(xdotool getwindowname "$window")'"

info=$(xwininfo -id "$window")
field() { sed -n "s/^ *$1: *//p" <<<"$info"; }
width=$(field Width)
height=$(field Height)
[ "$width" = 725 ] && [ "$height" = 386 ] || fail "client area is ${width}x${height}, not 725x386"
# Without a window manager there is no frame: the client area itself is centred.
left=$(field "Absolute upper-left X")
top=$(field "Absolute upper-left Y")
expected_left=$(((screen_width - 725) / 2))
expected_top=$(((screen_height - 386) / 2))
[ $((left - expected_left)) -ge -1 ] && [ $((left - expected_left)) -le 1 ] &&
    [ $((top - expected_top)) -ge -1 ] && [ $((top - expected_top)) -le 1 ] ||
    fail "window at $left,$top, centred would be $expected_left,$expected_top"

hints=$(xprop -id "$window" WM_NORMAL_HINTS)
grep -q "minimum size: 725 by 386" <<<"$hints" && grep -q "maximum size: 725 by 386" <<<"$hints" ||
    fail "the window manager may resize it: $hints"
xprop -id "$window" _NET_WM_WINDOW_TYPE | grep -q _NET_WM_WINDOW_TYPE_UTILITY ||
    fail "not a utility window, so it would get a taskbar entry"
icons=$(xprop -id "$window" _NET_WM_ICON)
grep -q "Icon (16 x 16)" <<<"$icons" && grep -q "Icon (32 x 32)" <<<"$icons" ||
    fail "the window lacks its 16 and 32 pixel icons"

if [ -n "$screenshot" ]; then
    sleep 1  # let the first paint settle
    import -window "$window" "$screenshot"
fi

# The focus starts on "Encrypt file"; two tabs reach the "..." beside the file for encrypt.
xdotool windowfocus --sync "$window" key Tab Tab space
dialog=$(other_window "$window")
xdotool windowfocus --sync "$dialog" key Escape
for _ in $(seq 100); do
    xdotool search --onlyvisible --name . 2>/dev/null | grep -qvx "$window" || break
    sleep 0.1
done
xdotool search --onlyvisible --name . 2>/dev/null | grep -qvx "$window" &&
    fail "Escape did not close the Open dialog"

"$closer" "$window" || fail "could not ask the window to close"
wait_exit "$app_pid" 5
app_pid=
stored=$(find "$HOME" -mindepth 1)
[ -z "$stored" ] || fail "veltrimax stored $stored"
echo "veltrimax showed a 725x386 window titled '$title', opened its Open dialog and ended when closed, storing nothing"
