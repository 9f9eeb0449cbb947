#!/usr/bin/env bash
# Makes the Wine prefix the Windows build's tests run in, once: wineboot takes
# 30 to 60 s on a fresh prefix and the tests start side by side, so the first
# one makes it under a lock and the others wait for it.
#   tools/wine/prefix.sh PREFIX
set -euo pipefail
prefix="$(realpath -m "${1:?usage: $0 PREFIX}")"
ready="$prefix/.vlt-ready"
[ -e "$ready" ] && exit 0

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -e "$ready" ] && exit 0

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko: console programs need neither, and their installers would ask.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
echo "Creating the Wine prefix $prefix (once; about a minute)" >&2
wineboot -i >/dev/null 2>&1
wineserver -w
touch "$ready"
