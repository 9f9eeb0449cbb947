#!/usr/bin/env bash
# Runs a command on a virtual X server of its own (Xvfb, no window manager: CI
# has no display), with the Wine prefix ready for it.
#   wine_display.sh WINE_RUN PREFIX COMMAND [ARGUMENTS...]
#
# Wine draws every program's windows through the prefix's one desktop process
# (explorer.exe /desktop), on the display of the program that started it. A
# console program started without a display (a test before this one) may have
# left one that Wine closes a moment after its last program; it is waited for,
# and then this display's is started, so that the windows land here.
set -euo pipefail
run=$1
prefix=$(realpath -m "$2")
shift 2

# shellcheck source=tests/support/xvfb.sh
source "$(dirname "$0")/../support/xvfb.sh"
# The size of Wine's screen when no display is at hand, which a prefix that ran
# console tests without one keeps: Wine and X then agree.
start_xvfb 1024 768

# The prefix's desktop processes and the display each draws on.
desktops_elsewhere() {
    local pid environment
    for pid in $(pgrep -f 'explorer\.exe /desktop' || true); do
        environment=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null) || continue
        grep -qx "WINEPREFIX=$prefix" <<<"$environment" || continue
        grep -qx "DISPLAY=$DISPLAY" <<<"$environment" || echo "$pid"
    done
}
for _ in $(seq 100); do
    [ -z "$(desktops_elsewhere)" ] && break
    sleep 0.1
done
[ -z "$(desktops_elsewhere)" ] || { echo "the prefix's desktop draws on another display" >&2; exit 1; }

# Without a window manager a managed window waits 2 s for one each time it is
# hidden (every message box): Wine's windows are left unmanaged.
"$run" "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null

status=0
"$@" || status=$?
exit "$status"
