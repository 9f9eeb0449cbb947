#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   ./dev.sh run    install what is missing, build, start the window
#   ./dev.sh test   install what is missing, check the formatting, build and run the
#                   tests: all of them in the release build (the browser page's among
#                   them), ours again under the sanitizers (asan: AddressSanitizer and
#                   UndefinedBehaviorSanitizer; tsan: the threaded pieces under
#                   ThreadSanitizer), each fuzzer for VLT_FUZZ_SECONDS (default 45),
#                   then the Windows build (mingw-w64) and its tests under Wine; prints
#                   the time of each stage at the end. Each ctest run writes
#                   build/<preset>/junit.xml
#   ./dev.sh windows-package  cross-build the Windows programs and write their installer and
#                   portable zip to build/windows/packages/
#   ./dev.sh web    install what is missing, build the browser page into build/web/site/
#                   and serve it on http://127.0.0.1:8080/ (PORT=N for another port)
#   ./dev.sh format        clang-format the tracked C++ sources in place
#   ./dev.sh format-check  list the sources clang-format would change; fails if any
set -euo pipefail
cd "$(dirname "$0")"

# Debian packages the build and the tests need.
PACKAGES=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
    qt6-base-dev libgl-dev
    xvfb xauth x11-utils xdotool libxcb1-dev
    desktop-file-utils appstream shared-mime-info xdg-utils libglib2.0-bin libxml2-utils
    clang libclang-rt-14-dev clang-format ccache
    dpkg-dev file time fish zsh
    strace bindfs fuse3
    g++-mingw-w64-x86-64-posix wine64 wine fonts-wine googletest nsis zip unzip groff-base
    emscripten nodejs chromium firefox-esr
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

# Every build goes through ccache (its cache is ~/.cache/ccache unless CCACHE_DIR
# names another), so a second run compiles only what changed; also in a build
# folder first configured without it. The compiler's paths are taken relative
# to the source tree, and the build folder is left out of the hash, so that
# clones in other folders share the cache.
configure_flags=()
use_compiler_cache() {
    configure_flags=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
}

build() {
    cmake --preset "$1" "${configure_flags[@]}" >/dev/null
    cmake --build --preset "$1"
}

# npm for the page's test drivers, from Debian where node came without one (NodeSource's
# node brings its own, which Debian's package would conflict with).
install_npm() {
    command -v npm >/dev/null && return
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 -q \
        install -y --no-install-recommends npm
}

# The browser page: the emscripten build writes the site to build/web/site/, and npm ci
# installs the drivers of its tests (web/package-lock.json) into build/web/npm/ when the
# lock file changed. The page's tests (ctest -L web, in the release build) need both.
build_web() {
    install_missing
    install_npm
    # Debian's emscripten runs node scripts that need Debian's node modules (acorn),
    # which a node from elsewhere does not look for.
    export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"
    emcmake cmake -S . -B build/web -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build/web
    local drivers=build/web/npm
    if [ ! -d "$drivers/node_modules" ] || ! cmp -s web/package-lock.json "$drivers/package-lock.json"; then
        mkdir -p "$drivers"
        cp web/package.json web/package-lock.json "$drivers/"
        (cd "$drivers" && npm ci --ignore-scripts --no-audit --no-fund)
    fi
}

# What the Windows build's tests run on the Linux side: the scenario runner,
# and vlt to compare the window's files with. Its configure step stops
# without them.
build_host_tools() {
    cmake --preset release "${configure_flags[@]}" >/dev/null
    cmake --build build/release --target vlt vlt_scenario_runner
}

# stage NAME COMMAND...: runs a step of the run and keeps its time, which
# print_stage_times shows at the end, also after a failed step.
stage_times=()
stage_name=
stage_start=0
stage() {
    stage_name=$1
    stage_start=$SECONDS
    shift
    echo "=== $stage_name (from $(date +%T))"
    "$@"
    stage_times+=("$(printf '%5d s  %s' $((SECONDS - stage_start)) "$stage_name")")
    stage_name=
}

print_stage_times() {
    echo "Time per stage:"
    printf '%s\n' "${stage_times[@]}"
    if [ -n "$stage_name" ]; then
        printf '%5d s  %s (failed)\n' $((SECONDS - stage_start)) "$stage_name"
    fi
    printf '%5d s  in all\n' "$SECONDS"
}

# run_ctest PRESET: the preset's tests. Under CI=true a test that did not run
# (skipped or disabled) fails the stage too: this command installs and grants
# what every test needs, so a test left out there would pass unseen.
run_ctest() {
    local log
    log=$(mktemp)
    ctest --preset "$1" | tee "$log" || { rm -f "$log"; return 1; }
    if [ "${CI:-}" = true ] && grep -q 'The following tests did not run' "$log"; then
        rm -f "$log"
        echo "tests did not run under CI=true (listed above)" >&2
        return 1
    fi
    rm -f "$log"
}

# The tracked C++ sources but the generated code page tables, which keep their
# generator's layout.
cxx_sources() {
    git ls-files -z -- '*.cpp' '*.h' ':!:platform/codepage_tables.cpp'
}

check_format() {
    local file unformatted=()
    while IFS= read -r -d '' file; do
        clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
    done < <(cxx_sources)
    [ ${#unformatted[@]} -eq 0 ] && return
    printf '%s\n' "${unformatted[@]}"
    echo "${#unformatted[@]} files not formatted; ./dev.sh format formats them" >&2
    return 1
}

# Each fuzzer runs for VLT_FUZZ_SECONDS from its committed seeds (kept
# untouched: new finds go to a scratch corpus), two at a time, one a core. A
# crash fails the run and leaves the input that caused it in
# build/fuzz/artifacts/.
fuzz_one() {
    local fuzzer=$1 seconds=$2 name work
    name="${fuzzer##*/fuzz_}"
    work="$(mktemp -d)"
    echo "Fuzzing $name for ${seconds} s"
    if ! "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$name-" \
        "$work" "fuzz/corpus/$name" >"build/fuzz/$name.log" 2>&1; then
        cat "build/fuzz/$name.log"
        rm -rf "$work"
        echo "fuzzer $name failed; its input is in build/fuzz/artifacts/" >&2
        return 1
    fi
    echo "$name: $(grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units)' \
        "build/fuzz/$name.log" | tr '\n' ' ')"
    rm -rf "$work"
}

run_fuzzers() {
    local seconds="${VLT_FUZZ_SECONDS:-45}" fuzzer running=0 failed=0
    mkdir -p build/fuzz/artifacts
    for fuzzer in build/fuzz/fuzz/fuzz_*; do
        if [ "$running" -ge 2 ]; then
            wait -n || failed=1
            running=$((running - 1))
        fi
        fuzz_one "$fuzzer" "$seconds" &
        running=$((running + 1))
    done
    while [ "$running" -gt 0 ]; do
        wait -n || failed=1
        running=$((running - 1))
    done
    return "$failed"
}

case "${1:-}" in
    run)
        install_missing
        use_compiler_cache
        build release
        exec build/release/app/veltrimax
        ;;
    test)
        trap print_stage_times EXIT
        stage "install packages" install_missing
        use_compiler_cache
        stage "format" check_format
        stage "build release" build release
        stage "ctest release" run_ctest release
        # The browser page's tests (label web), once, in the release build: the
        # emscripten build of the page, then its cases in Chromium and Firefox ESR.
        stage "build web" build_web
        stage "ctest web" run_ctest web
        # Our code again under AddressSanitizer and UndefinedBehaviorSanitizer:
        # the tests that run it, not the packaging and X server ones.
        stage "build asan" build asan
        stage "ctest asan" run_ctest asan
        # The engine's threads under ThreadSanitizer: only the tests that run them.
        stage "build tsan" build tsan
        stage "ctest tsan" run_ctest tsan
        stage "build fuzz" build fuzz
        stage "fuzz" run_fuzzers
        # The Windows build and its tests under Wine, in a prefix of the build's
        # own, made first: listing the unit tests after linking runs them already.
        stage "wine prefix" tools/wine/prefix.sh build/windows/wine-prefix
        stage "build windows" build windows
        stage "ctest windows" run_ctest windows
        ;;
    windows-package)
        install_missing
        use_compiler_cache
        build_host_tools
        cmake --preset windows "${configure_flags[@]}" >/dev/null
        cmake --build --preset windows --target windows_packages
        ls -l build/windows/packages/Veltrimax-*
        ;;
    web)
        build_web
        exec node web/serve.mjs build/web/site "${PORT:-8080}"
        ;;
    format)
        install_missing
        cxx_sources | xargs -0 clang-format -i
        ;;
    format-check)
        install_missing
        check_format
        ;;
    *)
        echo "usage: $0 run|test|web|windows-package|format|format-check" >&2
        exit 2
        ;;
esac
