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
exec wine "$@"
