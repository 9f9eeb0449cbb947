# Sourced by the scripts that drive a real window on a virtual X server of
# their own (Xvfb, no window manager): a scratch folder in $work, removed at
# the end with the server and the program started as $app_pid, and fail,
# which prints the logs of $work before it ends the script.

work=$(mktemp -d)
xvfb_pid=
app_pid=

# stop PID: ends PID, with SIGKILL when SIGTERM has not ended it within 2 s.
# Never fails and never waits longer: a clean-up that stops half-way under
# set -e leaves the server running, and ctest then waits for the output it
# still holds until the test's timeout.
stop() {
    kill "$1" 2>/dev/null || return 0
    local _
    for _ in $(seq 20); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

cleanup() {
    [ -z "$app_pid" ] || stop "$app_pid"
    [ -z "$xvfb_pid" ] || stop "$xvfb_pid"
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    local log
    for log in "$work"/*.log; do
        [ -s "$log" ] && { echo "--- $(basename "$log")"; cat "$log"; } >&2
    done
    exit 1
}

# start_xvfb WIDTH HEIGHT [OPTION...]: starts the server on a free display,
# with Xvfb's OPTIONs, exports DISPLAY and returns once the server answers
# there with that screen.
start_xvfb() {
    # Xvfb picks a free display itself and names it on the descriptor given.
    # -noreset: by default the server resets when its last client leaves and
    # drops a client that connects meanwhile, so the program starting while
    # an xdotool search ends would find no display.
    Xvfb -displayfd 3 -noreset -screen 0 "${1}x${2}x24" -nolisten tcp "${@:3}" \
        3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    local _ screen=
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb ended before it named a display"
        sleep 0.1
    done
    [ -s "$work/display" ] || fail "Xvfb named no display within 10 s"
    export DISPLAY=":$(head -n 1 "$work/display")"
    for _ in $(seq 100); do
        screen=$(xdotool getdisplaygeometry 2>/dev/null) || true
        [ "$screen" = "$1 $2" ] && return
        kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb ended after it named $DISPLAY"
        sleep 0.1
    done
    fail "the server on $DISPLAY did not answer with a ${1}x$2 screen within 10 s${screen:+ (it has $screen)}"
}

# find_window TITLE PID: prints the visible window titled TITLE once it is
# there; fails when PID ends first or after 15 s.
find_window() {
    local window _
    for _ in $(seq 150); do
        window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) || true
        [ -n "$window" ] && { echo "$window"; return; }
        kill -0 "$2" 2>/dev/null || fail "the program ended before showing its window"
        sleep 0.1
    done
    fail "no window titled '$1'"
}

# other_window WINDOW: prints a visible window beside WINDOW (a dialog or a
# message box) once there is one; fails after 10 s.
other_window() {
    local found _
    for _ in $(seq 100); do
        found=$(xdotool search --onlyvisible --name . 2>/dev/null | grep -vx "$1" | head -n 1) || true
        [ -n "$found" ] && { echo "$found"; return; }
        sleep 0.1
    done
    fail "no dialog or message box appeared"
}

# click_control WINDOW LEFT TOP WIDTH HEIGHT: clicks the middle of a control
# placed at those twips (15 to a pixel) of WINDOW's client area.
click_control() {
    xdotool mousemove --window "$1" $((($2 + $4 / 2) / 15)) $((($3 + $5 / 2) / 15)) click 1
}

# wait_exit PID SECONDS: waits for PID to end and fails unless it ends with status 0.
wait_exit() {
    local _ status=0
    for _ in $(seq $(($2 * 10))); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$1" 2>/dev/null && fail "the program still runs after $2 s"
    wait "$1" || status=$?
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
}
