#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, in the build's own
# prefix (never ~/.wine), which it makes first if missing. CMake's
# CMAKE_CROSSCOMPILING_EMULATOR, so the tests run through it:
#   tools/wine/run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
# The console programs need no display: DISPLAY is passed on as it is.
set -euo pipefail
prefix="$(realpath -m "${1:?usage: $0 PREFIX PROGRAM [ARGUMENTS...]}")"
shift
"$(dirname "$0")/prefix.sh" "$prefix"
export WINEPREFIX="$prefix" WINEARCH=win64
export WINEDEBUG="${VLT_WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
# A server that outlives each program by a minute: a start with the server and
# Wine's services already up takes 0.3 s instead of 3 (and it fails, harmlessly,
# when one is running). It and the services it starts get no standard streams
# of ours: a test runner waits until every holder of a test's output has
# closed it, which they would do only a minute later.
if ! wineserver -k0 2>/dev/null; then
    wineserver -p60 </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
fi
# With the addresses of the process randomized, now and then (a few starts in
# 20,000) Linux puts the new process's heap on the address where Wine maps
# the data it shares with every Windows process (0x7ffe0000; Debian's Wine 8
# has no preloader to keep that place free), and Wine ends the process with
# status 1 before the program runs, its reason hidden by WINEDEBUG=-all
# ("failed to map the shared user data: c0000018"). Without randomization the
# heap never lands there (DEVELOPERS.md, "Windows").
exec setarch "$(uname -m)" --addr-no-randomize wine "$@"
