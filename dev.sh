#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   ./dev.sh run    install what is missing, build, start the window
#   ./dev.sh test   install what is missing, build, run the whole test suite
set -euo pipefail
cd "$(dirname "$0")"

# Debian packages the build and the tests need.
PACKAGES=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
    qt6-base-dev libgl-dev
    xvfb xauth x11-utils xdotool libxcb1-dev
    desktop-file-utils appstream shared-mime-info xdg-utils libglib2.0-bin libxml2-utils
    clang libclang-rt-14-dev
    dpkg-dev file time
)

install_missing() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    # Wait for another package manager run instead of failing on its lock.
    local apt=("${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 -q)
    "${apt[@]}" update
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
}

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

case "${1:-}" in
    run)
        install_missing
        build release
        exec build/release/app/veltrimax
        ;;
    test)
        install_missing
        build release
        ctest --preset release
        ;;
    *)
        echo "usage: $0 run|test" >&2
        exit 2
        ;;
esac
