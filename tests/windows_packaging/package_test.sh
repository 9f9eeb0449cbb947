#!/usr/bin/env bash
# The Windows packages put in place as a user would, under Wine, in a scratch copy of the
# build's prefix:
#   current_user  the installer, silent, for the current user, then an update with the PATH
#                 option
#   all_users     the installer, silent and elevated (as Wine runs everything): for all users
#   second_folder the installer for the current user, then again into another folder, given
#                 quoted (/D="..."), as from a command prompt
#   portable      the zip, unpacked into a folder of its own
# Each case checks what was put in place (files, Start menu shortcut, registry values, the
# programs' version and icons), runs the placed vlt.exe on a known answer and veltrimax.exe
# through Explorer's commands to its filled window (on an Xvfb of its own), takes the install
# out again with the command Apps & features runs and finds the prefix as it was: no file,
# key or value left over, and another program's claim on .vlt where it was.
#
# usage: package_test.sh CASE BUILD_DIR VERSION EXPLORER_VIEW.exe FILLED_WINDOW.exe
set -euo pipefail

case=$1 build=$2 version=$3 explorer_view=$4 filled_window=$5
publisher="Veltrimax maintainers"
setup=$build/packages/Veltrimax-$version-setup.exe
zip=$build/packages/Veltrimax-$version-portable.zip

# A scratch folder in $work, fail, and the Xvfb of the test's own, which go at the end, with
# the scratch prefix's Wine server.
# shellcheck source=tests/support/xvfb.sh
source "$(dirname "$0")/../support/xvfb.sh"
trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true; cleanup' EXIT
start_xvfb 1280 1024

if [ ! -f "$setup" ] || [ ! -f "$zip" ]; then
    fail "no packages in $build/packages: build the windows preset"
fi

# names FOLDER: the names in FOLDER, sorted, on one line.
names() {
    local LC_ALL=C path list=()
    for path in "$1"/*; do
        [ -e "$path" ] && list+=("${path##*/}")
    done
    echo "${list[*]}"
}

# A copy of the build's prefix (wineboot of a new one takes a minute); Wine's menu builder
# stays off, or it would write the shortcut's menu entry into the real home.
"$(dirname "$0")/../../tools/wine/prefix.sh" "$build/wine-prefix"
cp -a "$build/wine-prefix" "$work/prefix"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all HOME=$work/home
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
mkdir "$HOME"

# What Wine has on disk: every file under C: but the temporary folders, and the registry less
# what changes by itself (the keys' times; a driver date and the display monitor's dates, of
# type ffff1003, written at each start; the devices, display adapters and monitors, which
# Wine registers again when a prefix first meets another display) and less two things NSIS leaves by design: the
# uninstaller's copy of itself in the temporary folder, whose removal it leaves to the next
# start of Windows (PendingFileRenameOperations), and the empty standard key for per-user
# uninstall entries that Windows has anyway.
snapshot() {
    wineserver -w # the registry is written when the server ends
    (cd "$WINEPREFIX/drive_c" && find . -path './users/*/Temp' -prune -o -print | LC_ALL=C sort)
    local hive
    for hive in system user userdef; do
        sed -E 's/^(\[.*\]) [0-9]+$/\1/; /^$/d; /^#time=/d; /^"DriverDateData"=/d; /^@=hex\(ffff1003\):/d
            /^"PendingFileRenameOperations"=/d
            /^\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\]$/d' \
            "$WINEPREFIX/$hive.reg" |
            awk '/^\[/ { devices = /^\[(System\\\\CurrentControlSet\\\\(Control\\\\(Class|Video)|Enum)|Hardware)/ }
                 !devices' | sed "s/^/$hive: /"
    done
}

# reg[KEY|NAME] is the data of each value under the keys read by load_reg KEY..., NAME
# "(Default)" for a key's default value.
declare -A reg
load_reg() {
    local key line current='' name rest
    for key in "$@"; do
        while IFS= read -r line; do
            line=${line%$'\r'}
            case $line in
                HKEY_*) current=$line ;;
                "    "*"    REG_"*)
                    name=${line#    } name=${name%%    REG_*}
                    rest=${line#*    REG_} rest=${rest#*    }
                    reg["$current|$name"]=$rest
                    ;;
            esac
        done < <(wine reg query "$key" /s 2>/dev/null)
    done
}

# expect_reg <<TABLE: each line "KEY|NAME|DATA", DATA "-" for a value that must not exist.
expect_reg() {
    local key name data actual
    while IFS='|' read -r key name data; do
        [ -n "$key" ] || continue
        actual=${reg["$key|$name"]--}
        [ "$actual" = "$data" ] || fail "$key has $name '$actual', expected '$data'"
    done
}

# A file whose encryption under a key is known: vlt on Linux wrote it. Its .vlt bytes are
# the digits 0 to 9, written here as characters.
files=$work/files
mkdir "$files"
printf 'Veltrimax\r\n\000\377' >"$files/known.bin"
printf 'primary key' >"$files/key.txt"
known_digits=2783413412890523343153910382061323168857120
windows_files=$(winepath -w "$files")

# check_vlt FOLDER: vlt.exe in FOLDER encrypts to the known answer and decrypts it back.
check_vlt() {
    wine "$1\\vlt.exe" encrypt -q --key-file "$windows_files\\key.txt" "$windows_files\\known.bin" ||
        fail "vlt.exe encrypt failed"
    [ "$(tr '\000-\011' '0-9' <"$files/known.bin.vlt")" = "$known_digits" ] ||
        fail "vlt.exe encrypted to $(od -An -tu1 "$files/known.bin.vlt"), not the known answer"
    wine "$1\\vlt.exe" decrypt -q --key-file "$windows_files\\key.txt" \
        -o "$windows_files\\decrypted.bin" "$windows_files\\known.bin.vlt" ||
        fail "vlt.exe decrypt failed"
    cmp -s "$files/known.bin" "$files/decrypted.bin" || fail "vlt.exe decrypted to other bytes"
}

# check_window COMMAND FILE EXPECTED: COMMAND, a registered '"PROGRAM" ... "%1"', run on FILE as
# Explorer runs it, shows the window with its file boxes as EXPECTED and ends when closed.
check_window() {
    local program=${1#\"} arguments=${1#\"*\" } shown
    shown=$(wine "$filled_window" "${program%%\"*}" "${arguments//%1/$2}" | tr -d '\r') ||
        fail "$1 on $2 did not show the window or end: $shown"
    [ "$shown" = "$3" ] || fail "$1 on $2 shows '$shown', expected '$3'"
}

# The window opened on the known answer's .vlt fills its decrypt side.
check_decrypt_side() {
    check_window "$1" "$windows_files\\known.bin.vlt" "Text1=
Text2=
Text6=$windows_files\\known.bin.vlt
Text5=$windows_files\\known.bin"
}

# check_properties FOLDER: the version and icons Explorer shows of both programs.
check_properties() {
    local program expected actual
    for program in veltrimax vlt; do
        expected="ProductName: Veltrimax
ProductVersion: $version
FileVersion: $version
CompanyName: $publisher
OriginalFilename: $program.exe
FileVersion numbers: $version.0"
        actual=$(wine "$explorer_view" "$1\\$program.exe" | tr -d '\r') ||
            fail "$program.exe has no version resource"
        [ "$(grep -v -e '^FileDescription: ' -e '^LegalCopyright: ' -e '^icons: ' <<<"$actual")" = \
            "$expected" ] || fail "$program.exe shows '$actual', expected '$expected'"
        grep -q "^FileDescription: ..*" <<<"$actual" || fail "$program.exe has no description"
        grep -q "^LegalCopyright: .*$publisher" <<<"$actual" || fail "$program.exe has no copyright"
        grep -qx "icons: [1-9]" <<<"$actual" || fail "$program.exe has no icon: $actual"
    done
}

# check_installed ROOT FOLDER START_MENU PATH_OPTION: the installer's files, shortcut and
# registry values under ROOT (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE), as Windows paths.
check_installed() {
    local root=$1 folder=$2 start_menu=$3 path_option=$4
    local unix_folder
    unix_folder=$(winepath -u "$folder")
    [ "$(names "$unix_folder")" = \
        "README.txt uninstall.exe veltrimax.exe veltrimax.txt vlt.exe vlt.txt" ] ||
        fail "$folder holds: $(names "$unix_folder")"
    local shortcut
    shortcut=$(winepath -u "$start_menu\\Veltrimax.lnk")
    [ -f "$shortcut" ] || fail "no Start menu shortcut $start_menu\\Veltrimax.lnk"
    grep -qaF "$folder\\veltrimax.exe" "$shortcut" || fail "the shortcut does not start veltrimax.exe"

    local classes=$root\\Software\\Classes
    local uninstall=$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veltrimax
    load_reg "$classes\\Veltrimax.File" "$classes\\.vlt" "$classes\\*\\shell\\VeltrimaxEncrypt" \
        "$uninstall" 'HKCU\Environment'
    local open="\"$folder\\veltrimax.exe\" \"%1\""
    expect_reg <<EOF
$classes\\Veltrimax.File|(Default)|Veltrimax encrypted file
$classes\\Veltrimax.File\\DefaultIcon|(Default)|$folder\\veltrimax.exe,-2
$classes\\Veltrimax.File\\shell\\open\\command|(Default)|$open
$classes\\Veltrimax.File\\shell\\VeltrimaxDecrypt|(Default)|Decrypt with Veltrimax
$classes\\Veltrimax.File\\shell\\VeltrimaxDecrypt\\command|(Default)|"$folder\\veltrimax.exe" --decrypt "%1"
$classes\\.vlt\\OpenWithProgids|Veltrimax.File|
$classes\\*\\shell\\VeltrimaxEncrypt|(Default)|Encrypt with Veltrimax
$classes\\*\\shell\\VeltrimaxEncrypt\\command|(Default)|"$folder\\veltrimax.exe" --encrypt "%1"
$uninstall|DisplayName|Veltrimax
$uninstall|DisplayVersion|$version
$uninstall|Publisher|$publisher
$uninstall|DisplayIcon|$folder\\veltrimax.exe,0
$uninstall|InstallLocation|$folder
$uninstall|UninstallString|"$folder\\uninstall.exe"
$uninstall|QuietUninstallString|"$folder\\uninstall.exe" /S
$uninstall|NoModify|0x1
$uninstall|NoRepair|0x1
EOF
    local size=${reg["$uninstall|EstimatedSize"]:-0} kib
    kib=$(du -sk "$unix_folder" | cut -f1)
    if [ $((size)) -le $((kib / 2)) ] || [ $((size)) -gt $((kib + 64)) ]; then
        fail "EstimatedSize is $((size)) KiB for a folder of $kib KiB"
    fi
    wine "$explorer_view" --icon "${reg["$classes\\Veltrimax.File\\DefaultIcon|(Default)"]}" ||
        fail ".vlt files' icon is missing"
    wine "$explorer_view" --icon "${reg["$uninstall|DisplayIcon"]}" || fail "DisplayIcon is missing"

    check_decrypt_side "${reg["$classes\\Veltrimax.File\\shell\\open\\command|(Default)"]}"
    # Encrypt with Veltrimax fills the encrypt side for a .vlt file too.
    check_window "${reg["$classes\\*\\shell\\VeltrimaxEncrypt\\command|(Default)"]}" \
        "$windows_files\\known.bin.vlt" "Text1=$windows_files\\known.bin.vlt
Text2=$windows_files\\known.bin.vlt.vlt
Text6=
Text5="

    local path=${reg['HKEY_CURRENT_USER\Environment|Path']-}
    if [ "$path_option" = on ]; then
        [ "$path" = "$folder" ] || fail "the user's Path is '$path', expected '$folder'"
        [ "$(wine cmd /c vlt --version | tr -d '\r')" = "vlt $version" ] ||
            fail "a new command prompt does not find vlt"
    else
        [ -z "$path" ] || fail "the PATH option is off, but the user's Path is '$path'"
    fi
}

# uninstall ROOT: runs the uninstall entry's quiet command and waits for the copy of itself
# that it starts.
uninstall() {
    local command=${reg["$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veltrimax|QuietUninstallString"]}
    local program=${command#\"} arguments=${command##*\" }
    wine "${program%%\"*}" "$arguments" || fail "$command failed"
    wineserver -w
}

profile=C:\\users\\$(id -un)
case $case in
    current_user)
        # Another program offers to open .vlt files; the install adds itself beside it.
        wine reg add 'HKCU\Software\Classes\.vlt\OpenWithProgids' /v Other.File /d "" /f >/dev/null
        root=HKEY_CURRENT_USER folder=$profile\\AppData\\Local\\Programs\\Veltrimax
        start_menu="$profile\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
        path_option=on
        vlt_key="$root\\Software\\Classes\\.vlt|(Default)|Veltrimax.File
$root\\Software\\Classes\\.vlt\\OpenWithProgids|Other.File|"
        before=$(snapshot)
        wine "$setup" /S /CurrentUser || fail "the installer failed"
        # An update, elevated as Wine runs everything, stays in this user's install, and adds
        # the PATH option.
        wine "$setup" /S /AddToPath || fail "the update failed"
        ;;
    all_users)
        # Another program owns .vlt for all users: the install must leave it the default.
        wine reg add 'HKLM\Software\Classes\.vlt' /ve /d Other.File /f >/dev/null
        root=HKEY_LOCAL_MACHINE folder='C:\Program Files\Veltrimax'
        start_menu='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
        path_option=off
        vlt_key="$root\\Software\\Classes\\.vlt|(Default)|Other.File"
        before=$(snapshot)
        wine "$setup" /S || fail "the installer failed"
        ;;
    second_folder)
        # Another program owns .vlt for all users: an install for one user leaves it theirs
        # (a user's own default would override it). Installed again into another folder,
        # whose folders above it do not exist yet, the first copy goes, the Path with it.
        wine reg add 'HKLM\Software\Classes\.vlt' /ve /d Other.File /f >/dev/null
        # Every Windows profile has a Classes key; Wine's new one has none.
        wine reg add 'HKCU\Software\Classes' /f >/dev/null
        root=HKEY_CURRENT_USER folder='C:\Some Tools\Veltrimax'
        start_menu="$profile\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
        path_option=on
        vlt_key="$root\\Software\\Classes\\.vlt|(Default)|-"
        before=$(snapshot)
        wine "$setup" /S /CurrentUser /AddToPath || fail "the installer failed"
        # A batch file gives the installer its command line as typed, quotes and all.
        printf '"%s" /S /CurrentUser /AddToPath /D="%s"\r\n' "$(winepath -w "$setup")" "$folder" \
            >"$work/again.bat"
        wine cmd /c "$(winepath -w "$work/again.bat")" || fail "the install into $folder failed"
        wineserver -w
        first=$(winepath -u "$profile\\AppData\\Local\\Programs\\Veltrimax")
        [ ! -e "$first" ] || fail "the first copy is left: $(find "$first" | xargs)"
        ;;
    portable)
        folder=$(winepath -w "$work")\\portable
        before=$(snapshot)
        (mkdir "$work/portable" && cd "$work/portable" && unzip -q "$zip") ||
            fail "cannot unpack $zip"
        [ "$(names "$work/portable")" = "README.txt veltrimax.exe veltrimax.txt vlt.exe vlt.txt" ] ||
            fail "the zip holds: $(unzip -Z1 "$zip" | xargs)"
        ;;
    *) fail "unknown case" ;;
esac

grep -q "Veltrimax $version" "$(winepath -u "$folder\\README.txt")" || fail "README.txt names no version"
for page in vlt veltrimax; do
    text=$(winepath -u "$folder\\$page.txt")
    grep -q "^NAME" "$text" || fail "$page.txt is no manual page"
    grep -q "Veltrimax for Windows" "$text" || fail "$page.txt is not the Windows page"
    ! grep -E "syncfs|umask|/dev/|LC_ALL|SIGHUP|\.vlt-key" "$text" || fail "$page.txt speaks of Linux"
done
check_properties "$folder"
check_vlt "$folder"

if [ "$case" = portable ]; then
    check_decrypt_side "\"$folder\\veltrimax.exe\" \"%1\""
    rm -r "$work/portable"
else
    check_installed "$root" "$folder" "$start_menu" "$path_option"
    expect_reg <<<"$vlt_key"
    uninstall "$root"
fi
after=$(snapshot)
[ "$after" = "$before" ] || fail "the prefix differs from before: $(diff <(echo "$before") <(echo "$after"))"
[ "$(names "$files")" = "decrypted.bin key.txt known.bin known.bin.vlt" ] ||
    fail "the runs wrote more than their outputs: $(names "$files")"
echo "$case: ok"
