#!/usr/bin/env bash
# Installs the build tree into a scratch DESTDIR and checks one aspect of what a Linux desktop
# finds there.
#
# usage: install_test.sh CHECK BUILD_DIR VERSION WITH_GUI [PROGRAM...]
#   CHECK     programs | mime_type | desktop_entry | app_icons | metainfo | bash_completion |
#             fish_completion | zsh_completion
#   WITH_GUI  1 when the window and its desktop integration are part of the build
#   PROGRAM   the executables the build installs
# Exits 77 (skipped) for a check of the window's desktop integration when the build has no window.
set -euo pipefail

check=$1 build_dir=$2 version=$3 with_gui=$4
shift 4
programs=("$@")

# shellcheck source=tests/packaging/checks.sh
source "$(dirname "$0")/checks.sh"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build_dir" --prefix /usr >"$stage/install.log" ||
    fail "cmake --install failed: $(cat "$stage/install.log")"
share=$stage/usr/share

needs_gui() {
    [ "$with_gui" = 1 ] || skip "built without the window"
}

check_programs() {
    local program
    for program in "${programs[@]}"; do
        [ -x "$stage/usr/bin/$program" ] || fail "bin/$program is not installed"
    done
    for program in "${programs[@]}"; do
        compgen -G "$share/man/man1/$program.1*" >/dev/null || fail "no man page for $program"
    done
    if [ "$with_gui" != 1 ]; then
        [ ! -e "$share/applications/veltrimax.desktop" ] ||
            fail "a menu entry is installed for a window that was not built"
    fi
}

check_mime_type() {
    [ -f "$share/mime/packages/veltrimax.xml" ] || fail "the MIME package is not installed"
    XDG_DATA_DIRS="$share:/usr/share" update-mime-database "$share/mime"
    local home
    home=$(mktemp -d -p "$stage")
    # Real .vlt content: digits stored as bytes 0..9, then the closing zero byte.
    printf '\x01\x02\x03\x09\x08\x07\x00' >"$home/report.txt.vlt"
    cp "$home/report.txt.vlt" "$home/ARCHIVE.VLT"
    printf 'plain text\n' >"$home/notes.txt"
    printf 'plain text\n' >"$home/notes.vlt.txt"
    local -A expected=(
        [report.txt.vlt]=application/x-veltrimax-encrypted
        [ARCHIVE.VLT]=application/x-veltrimax-encrypted
        [notes.txt]=text/plain
        [notes.vlt.txt]=text/plain
    )
    local name actual
    for name in "${!expected[@]}"; do
        # xdg-mime asks GIO on GNOME, which reads the shared-mime-info databases of XDG_DATA_DIRS.
        actual=$(XDG_CURRENT_DESKTOP=GNOME GIO_USE_VFS=local XDG_DATA_HOME="$home" \
            XDG_DATA_DIRS="$share:/usr/share" xdg-mime query filetype "$home/$name")
        [ "$actual" = "${expected[$name]}" ] ||
            fail "$name is recognised as '$actual', expected ${expected[$name]}"
    done
    local icon
    icon=$(sed -n 's/.*<icon name="\([^"]*\)".*/\1/p' "$share/mime/packages/veltrimax.xml")
    [ -n "$icon" ] || fail "the MIME type names no icon"
    check_icon_set "$share/icons/hicolor" mimetypes "$icon" 32 48
}

check_desktop_entry() {
    needs_gui
    local entry=$share/applications/veltrimax.desktop
    [ -f "$entry" ] || fail "veltrimax.desktop is not installed"
    local report
    report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
    ! grep -E 'error:|warning:' <<<"$report" || fail "desktop-file-validate complains"
    local exec
    exec=$(desktop_key "$entry" Exec)
    # One file at most: a file manager's double-click passes one, several would get a note.
    [ "$exec" = "veltrimax %f" ] || fail "Exec is '$exec', expected 'veltrimax %f'"
    if has veltrimax "${programs[@]}"; then
        [ -x "$stage/usr/bin/${exec%% *}" ] || fail "Exec names '$exec', which is not installed"
    fi
    [ "$(desktop_key "$entry" MimeType)" = "application/x-veltrimax-encrypted;" ] ||
        fail "the entry claims '$(desktop_key "$entry" MimeType)', expected .vlt files alone"
    # What a file manager finds for a .vlt file: this entry, from the desktop database.
    update-desktop-database "$share/applications"
    local chosen
    chosen=$(XDG_CURRENT_DESKTOP=GNOME XDG_DATA_HOME="$(mktemp -d -p "$stage")" \
        XDG_DATA_DIRS="$share" xdg-mime query default application/x-veltrimax-encrypted)
    [ "$chosen" = veltrimax.desktop ] || fail "a .vlt file opens with '$chosen'"
    local categories
    categories=$(desktop_key "$entry" Categories)
    [[ ";$categories" == *";Utility;"* && ";$categories" == *";Security;"* ]] ||
        fail "Categories '$categories' lack Utility or Security"
    [ "$(desktop_key "$entry" Icon)" = veltrimax ] || fail "the entry shows another icon"
}

check_app_icons() {
    needs_gui
    check_icon_set "$share/icons/hicolor" apps veltrimax 16 32 48 256
}

check_metainfo() {
    needs_gui
    local files=("$share"/metainfo/*.metainfo.xml)
    [ -f "${files[0]}" ] || fail "no AppStream metainfo is installed"
    [ ${#files[@]} -eq 1 ] || fail "more than one metainfo file: ${files[*]}"
    local metainfo=${files[0]}
    local report
    report=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1) ||
        fail "appstreamcli validate: $report"
    local id
    id=$(xml_text "$metainfo" '/component/id')
    [ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "metainfo is not named after $id"
    local launchable
    launchable=$(xml_text "$metainfo" '/component/launchable[@type="desktop-id"]')
    [ -f "$share/applications/$launchable" ] || fail "launchable '$launchable' is not installed"
    local newest
    newest=$(xml_text "$metainfo" '/component/releases/release[1]/@version')
    [ "$newest" = "$version" ] || fail "newest release is '$newest', the project is $version"
}

# A folder with files to complete, inside the stage.
completion_folder() {
    local folder
    folder=$(mktemp -d -p "$stage")
    mkdir "$folder/sub"
    touch "$folder/a.vlt" "$folder/B.VLT" "$folder/a.txt"
    echo "$folder"
}

# check_completes OFFER CASE...: in a completion folder, OFFER TYPED prints the completions
# of the line TYPED, one a line; each CASE is "typed|the completions offered, sorted".
check_completes() {
    local offer=$1 folder case typed expected offered
    shift
    folder=$(completion_folder)
    for case in "$@"; do
        typed=${case%|*} expected=${case#*|}
        offered=$(cd "$folder" && "$offer" "$typed" | LC_ALL=C sort | xargs)
        [ "$offered" = "$expected" ] || fail "'$typed' completes to '$offered', expected '$expected'"
    done
}

# As bash does on Tab: COMP_WORDS and COMP_CWORD set, then the function that the installed
# script registered for vlt.
bash_offers() {
    bash --norc --noprofile -c '
        source "$1"
        read -ra COMP_WORDS <<<"$2"
        [[ $2 == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        "$(complete -p vlt | sed "s/.*-F \([^ ]*\) .*/\1/")"
        printf "%s\n" "${COMPREPLY[@]}"' _ "$share/bash-completion/completions/vlt" "$1"
}

# fish with no configuration of its own, finding vlt and its completion where installed.
stage_fish() {
    local home
    home=$(mktemp -d -p "$stage")
    PATH="$stage/usr/bin:$PATH" HOME=$home XDG_CONFIG_HOME=$home XDG_DATA_HOME=$home \
        XDG_DATA_DIRS=$share fish "$@"
}

fish_offers() {
    # shellcheck disable=SC2016 # fish expands $argv
    stage_fish -c 'complete -C $argv[1]' "$1" | cut -f1
}

check_bash_completion() {
    has vlt "${programs[@]}" || skip "built without vlt"
    [ -f "$share/bash-completion/completions/vlt" ] ||
        fail "no bash completion in share/bash-completion/completions/vlt"
    check_completes bash_offers \
        "vlt de|decrypt" \
        "vlt |--help --version -h check decrypt encrypt" \
        "vlt decrypt --no|--no-key-check" \
        "vlt check --|--ask-key --codepage --help --key-file --quiet" \
        "vlt decrypt |B.VLT a.vlt sub" \
        "vlt check -q a|a.vlt" \
        "vlt encrypt a|a.txt a.vlt" \
        "vlt decrypt --key-file a|a.txt a.vlt" \
        "vlt encrypt --codepage |"
}

check_fish_completion() {
    has vlt "${programs[@]}" || skip "built without vlt"
    local script=$share/fish/vendor_completions.d/vlt.fish
    [ -f "$script" ] || fail "no fish completion in share/fish/vendor_completions.d/vlt.fish"
    command -v fish >/dev/null || skip "fish is not installed"
    fish --no-execute "$script" || fail "vlt.fish is not valid fish"
    check_completes fish_offers \
        "vlt de|decrypt" \
        "vlt |check decrypt encrypt" \
        "vlt -|--help --version -h" \
        "vlt check --|--ask-key --codepage --help --key-file --quiet" \
        "vlt decrypt |B.VLT a.vlt sub/" \
        "vlt check -q a|a.vlt" \
        "vlt encrypt a|a.txt a.vlt" \
        "vlt decrypt -o a|a.txt a.vlt" \
        "vlt encrypt --codepage |"
    local described
    described=$(stage_fish -c 'complete -C "vlt decrypt --no-"')
    [[ $described == --no-key-check$'\t'?* ]] || fail "--no-key-check has no description"
}

check_zsh_completion() {
    has vlt "${programs[@]}" || skip "built without vlt"
    local script=$share/zsh/vendor-completions/_vlt
    [ -f "$script" ] || fail "no zsh completion in share/zsh/vendor-completions/_vlt"
    [ "$(head -n1 "$script")" = "#compdef vlt" ] || fail "_vlt does not start with #compdef vlt"
    command -v zsh >/dev/null || skip "zsh is not installed"
    zsh -n "$script" || fail "_vlt is not valid zsh"
}

case "$check" in
    programs | mime_type | desktop_entry | app_icons | metainfo | bash_completion | fish_completion | \
        zsh_completion) "check_$check" ;;
    *) fail "unknown check '$check'" ;;
esac
echo "$check: ok"
