# shellcheck shell=bash
# Helpers shared by the packaging tests.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# CTest counts exit code 77 as a skipped test.
skip() {
    echo "SKIP: $*"
    exit 77
}

# has WORD LIST...: whether WORD is one of LIST.
has() {
    local word=$1 item
    shift
    for item in "$@"; do
        [ "$item" = "$word" ] && return 0
    done
    return 1
}

# desktop_key FILE KEY: the value of KEY in the [Desktop Entry] group.
desktop_key() {
    awk -F= -v key="$2" '
        /^\[/ { group = $0 }
        group == "[Desktop Entry]" && $1 == key { sub(/^[^=]*=/, ""); print; exit }
    ' "$1"
}

# xml_text FILE XPATH: the text of the first node matching XPATH.
xml_text() {
    xmllint --xpath "string($2)" "$1"
}

# png_size FILE: "WIDTHxHEIGHT" read from the PNG header, or nothing when FILE is not a PNG.
png_size() {
    local signature
    signature=$(od -An -tx1 -N8 "$1" | tr -d ' \n')
    [ "$signature" = 89504e470d0a1a0a ] || return 0
    local -a dims
    read -r -a dims < <(od -An -tu4 --endian=big -j16 -N8 "$1")
    echo "${dims[0]}x${dims[1]}"
}

# check_icon_set THEME_DIR CONTEXT NAME SIZE...: the theme holds NAME as a scalable SVG and as a
# PNG of each SIZE, and every PNG has the pixel size of the folder it is in.
check_icon_set() {
    local theme=$1 context=$2 name=$3
    shift 3
    local svg=$theme/scalable/$context/$name.svg
    [ -f "$svg" ] || fail "$svg is missing"
    [ "$(file --brief --mime-type "$svg")" = image/svg+xml ] || fail "$svg is not an SVG image"
    local size
    for size in "$@"; do
        [ -f "$theme/${size}x${size}/$context/$name.png" ] || fail "no ${size}x${size} $name icon"
    done
    local png folder
    for png in "$theme"/*x*/"$context/$name.png"; do
        folder=$(basename "$(dirname "$(dirname "$png")")")
        [ "$(png_size "$png")" = "$folder" ] ||
            fail "$png is '$(png_size "$png")' pixels, not $folder"
    done
}
