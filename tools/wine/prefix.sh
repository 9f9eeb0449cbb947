#!/usr/bin/env bash
# Makes the Wine prefix the Windows build's tests run in, once: wineboot takes
# 30 to 60 s on a fresh prefix and the tests start side by side, so the first
# one makes it under a lock and the others wait for it.
#   tools/wine/prefix.sh PREFIX
set -euo pipefail
prefix="$(realpath -m "${1:?usage: $0 PREFIX}")"
ready="$prefix/.vlt-ready"

# Wine's own fonts (fonts-wine: Tahoma, MS Sans Serif, Marlett for the caption's
# buttons), which Debian's Wine 8 does not find by itself: linked into the
# prefix's Fonts folder, where it looks. Without them windows get substitutes.
link_fonts() {
    local folder="$prefix/drive_c/windows/Fonts"
    if [ -d /usr/share/wine/fonts ] && [ -d "$folder" ] && [ ! -e "$folder/marlett.ttf" ]; then
        # Tests starting side by side may link them at the same moment.
        ln -sf /usr/share/wine/fonts/* "$folder/" 2>/dev/null || true
    fi
}
if [ -e "$ready" ]; then
    link_fonts
    exit 0
fi

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -e "$ready" ] && exit 0

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko: console programs need neither, and their installers would ask.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
echo "Creating the Wine prefix $prefix (once; about a minute)" >&2
# The addresses fixed as in run.sh, where the reason is.
setarch "$(uname -m)" --addr-no-randomize wineboot -i >/dev/null 2>&1
wineserver -w
link_fonts
touch "$ready"
