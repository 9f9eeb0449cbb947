#!/usr/bin/env bash
# Writes the Windows packages of the cross build from one staged folder: the installer
# (makensis over veltrimax.nsi) and the portable zip. The build's packaging target runs it.
#
#   make_packages.sh VERSION PUBLISHER STRIP VELTRIMAX.exe VLT.exe README.txt ICON.ico \
#                    STAGE OUT_DIR MANUAL_PAGE...
set -euo pipefail

version=$1 publisher=$2 strip=$3 veltrimax=$4 vlt=$5 readme=$6 icon=$7 stage=$8 out=$9
shift 9
pages=("$@")
here=$(dirname "$0")

rm -rf "$stage"
mkdir -p "$stage" "$out"
# The build keeps its debugging information; the packages do not need it (10 MiB against 2).
"$strip" -o "$stage/veltrimax.exe" "$veltrimax"
"$strip" -o "$stage/vlt.exe" "$vlt"

# Text as Notepad reads it everywhere: UTF-8 with a byte-order mark, CRLF line ends.
windows_text() {
    printf '\xef\xbb\xbf'
    sed 's/$/\r/'
}
windows_text <"$readme" >"$stage/README.txt"
for page in "${pages[@]}"; do
    # Plain characters without overstriking or escapes, and no hyphenation; the pages' text
    # for Windows (their sections under \n[windows]).
    groff -man -Tutf8 -P-cbou -rHY=0 -rwindows=1 "$page" | windows_text >"$stage/$(basename "$page" .1).txt"
done

setup=$out/Veltrimax-$version-setup.exe
zip=$out/Veltrimax-$version-portable.zip
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DPUBLISHER="$publisher" \
    -DSTAGE="$stage" -DICON="$icon" -DOUTFILE="$setup" "$here/veltrimax.nsi"
# zip adds to an existing archive; -X leaves out Unix owners and times beyond DOS's.
rm -f "$zip"
(cd "$stage" && zip -q -X "$zip" veltrimax.exe vlt.exe ./*.txt)
