#!/usr/bin/env bash
# veltrimax where no window can open: its own sentence first, naming the
# display it was pointed at, and status 1, never Qt's abort (status 134) with
# its advice to reinstall. Each row runs the program with only the variables
# it names, besides PATH and a scratch HOME and runtime folder.
#
#   no_window_test.sh VELTRIMAX
set -euo pipefail

program=$1
# shellcheck source=tests/support/xvfb.sh
source "$(dirname "$0")/../support/xvfb.sh"
mkdir -m 700 "$work/runtime" "$work/home"
hint="or use vlt on a machine without one"
no_display="veltrimax: cannot open a window (no display); use vlt on a machine without one"
# No server takes this number, and X's port for it (6000 + 59536) wraps to
# TCP port 0, where nothing can listen.
silent=:59536

# run VARIABLE=VALUE...: the program's output (standard error too) in $output
# and its status in $status.
run() {
    status=0
    output=$(env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" "$@" \
        "$program" 2>&1) || status=$?
}

# expect OUTPUT VARIABLE=VALUE...: fails unless the program writes exactly
# OUTPUT and ends with status 1.
expect() {
    local expected=$1
    shift
    run "$@"
    [ "$status" -eq 1 ] && [ "$output" = "$expected" ] ||
        fail "with ${*:-no display variable}: status $status (not 1) and output:
$output
instead of:
$expected"
}

expect "$no_display"
expect "$no_display" QT_QPA_PLATFORM=xcb
expect "veltrimax: cannot open a window on display $silent; check DISPLAY, $hint" \
    DISPLAY="$silent"
# Qt 6 reaches Wayland only when asked; without a plugin or a compositor
# there it fails the same way.
expect "veltrimax: cannot open a window on Wayland display vlt-none; check WAYLAND_DISPLAY, $hint" \
    WAYLAND_DISPLAY=vlt-none
expect "veltrimax: cannot open a window on Wayland display vlt-none; check WAYLAND_DISPLAY, $hint" \
    QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=vlt-none DISPLAY="$silent"
expect "veltrimax: cannot open a window on platform vlt-none; check QT_QPA_PLATFORM, $hint" \
    QT_QPA_PLATFORM=vlt-none

# Qt's own account is still there for developers, after the program's sentence.
run DISPLAY="$silent" QT_DEBUG_PLUGINS=1
[ "$status" -eq 1 ] || fail "with QT_DEBUG_PLUGINS: status $status, not 1"
[ "$(head -n 1 <<<"$output")" = "veltrimax: cannot open a window on display $silent; check DISPLAY, $hint" ] &&
    grep -q "could not connect to display $silent" <<<"$output" ||
    fail "with QT_DEBUG_PLUGINS, not the sentence followed by Qt's account:
$output"

# A server that refuses the program for want of its cookie. The cookie file
# names no display number, so it fits whichever number Xvfb picks.
: >"$work/cookie"
cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
echo "ffff 0000  0000  0012 $(printf MIT-MAGIC-COOKIE-1 | od -An -tx1 | tr -d ' \n') 0010 $cookie" |
    xauth -q -f "$work/cookie" nmerge -
export XAUTHORITY="$work/cookie"
start_xvfb 640 480 -auth "$work/cookie"
# libxcb writes the server's reason itself, before Qt or the program hear of
# it; whatever it writes, the program's sentence follows alone.
reason=$(XAUTHORITY=/dev/null xdotool getdisplaygeometry 2>&1 | sed '/^$/,$d') || true
[ -n "$reason" ] || fail "the server on $DISPLAY let a client in without its cookie"
expect "$reason

veltrimax: cannot open a window on display $DISPLAY; check DISPLAY, $hint" \
    DISPLAY="$DISPLAY" XAUTHORITY=/dev/null
echo "veltrimax said why it opened no window, and ended with status 1, in every case"
