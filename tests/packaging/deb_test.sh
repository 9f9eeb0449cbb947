#!/usr/bin/env bash
# Builds the Debian package with CPack into a scratch folder and inspects it with dpkg-deb,
# without installing it.
#
# usage: deb_test.sh BUILD_DIR VERSION WITH_GUI [PROGRAM...]
#   WITH_GUI  1 when the window and its desktop integration are part of the build
#   PROGRAM   the executables the build installs
set -euo pipefail

build_dir=$1 version=$2 with_gui=$3
shift 3
programs=("$@")

# shellcheck source=tests/packaging/checks.sh
source "$(dirname "$0")/checks.sh"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$out/cpack.log")"

deb=$out/veltrimax_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$out")"

field() {
    dpkg-deb --field "$deb" "$1"
}
[ "$(field Package)" = veltrimax ] || fail "package name is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "package version is '$(field Version)'"
[ "$(field Section)" = utils ] || fail "section is '$(field Section)'"
[ -n "$(field Maintainer)" ] || fail "no maintainer"
[ "$(field Description | wc -l)" -gt 1 ] || fail "the description has no long part"

# dpkg-shlibdeps derives these from the programs: each links the C++ runtime, the window Qt.
depends=$(field Depends)
mapfile -t depended < <(sed 's/ *([^)]*)//g; s/ *|[^,]*//g' <<<"$depends" | tr ',' '\n' | tr -d ' ')
required=()
[ ${#programs[@]} -eq 0 ] || required+=(libc6 libstdc++6)
! has veltrimax "${programs[@]}" || required+=(libqt6widgets6 libqt6gui6 libqt6core6)
for package in "${required[@]}"; do
    has "$package" "${depended[@]}" || fail "Depends '$depends' lacks $package"
done

listing=$(dpkg-deb --contents "$deb")
paths=$(awk '{print $6}' <<<"$listing")
expected=(./usr/share/mime/packages/veltrimax.xml
    ./usr/share/icons/hicolor/scalable/mimetypes/application-x-veltrimax-encrypted.svg)
for program in "${programs[@]}"; do
    expected+=("./usr/bin/$program" "./usr/share/man/man1/$program.1.gz")
done
! has vlt "${programs[@]}" || expected+=(./usr/share/bash-completion/completions/vlt
    ./usr/share/fish/vendor_completions.d/vlt.fish ./usr/share/zsh/vendor-completions/_vlt)
if [ "$with_gui" = 1 ]; then
    expected+=(./usr/share/applications/veltrimax.desktop
        ./usr/share/icons/hicolor/scalable/apps/veltrimax.svg)
    for size in 16 32 48 256; do
        expected+=("./usr/share/icons/hicolor/${size}x$size/apps/veltrimax.png")
    done
    grep -qx './usr/share/metainfo/.*\.metainfo\.xml' <<<"$paths" || fail "no metainfo in the deb"
fi
for path in "${expected[@]}"; do
    grep -qxF "$path" <<<"$paths" || fail "$path is not in the package"
done
! grep -vE '^\./(usr/.*)?$' <<<"$paths" || fail "files outside /usr"
! grep -E '^\./usr/share/man/.*[^z]$' <<<"$paths" | grep -v '/$' || fail "manual pages not gzipped"
! grep -v ' root/root ' <<<"$listing" || fail "files not owned by root"
! grep -E '^-.* \./usr/share/' <<<"$listing" | grep -v '^-rw-r--r-- ' || fail "data files not 0644"
! grep -E '^-.* \./usr/bin/' <<<"$listing" | grep -v '^-rwxr-xr-x ' || fail "programs not 0755"

unpacked=$out/unpacked
dpkg-deb --raw-extract "$deb" "$unpacked"
for script in postinst postrm; do
    [ -x "$unpacked/DEBIAN/$script" ] || fail "no executable $script"
    sh -n "$unpacked/DEBIAN/$script" || fail "$script is not valid sh"
done
for program in "${programs[@]}"; do
    [[ "$(file --brief "$unpacked/usr/bin/$program")" == *", stripped"* ]] ||
        fail "$program is not stripped"
done
echo "deb: ok ($(du -k "$deb" | cut -f1) KiB, Depends: $depends)"
