#!/usr/bin/env bash
# How long closing the window takes during a large encryption, on a real X
# server (Xvfb) as a person does it: the boxes are filled by clicks and typing
# at the layout's places, "Encrypt file" is clicked, and once the run has
# written for a second the window is closed as its close box does. Prints the
# time until the window is unmapped and until the program has ended, and
# checks that no output and no temporary file is left.
#   bench/close_latency.sh [GiB, default 1.5] [runs, default 3]
#   VELTRIMAX=path   default build/release/app/veltrimax
#   DISK=folder      where the input and output go (default /var/tmp)
set -euo pipefail

size=${1:-1.5}
runs=${2:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${VELTRIMAX:-$root/build/release/app/veltrimax}")
closer=$root/build/release/tests/gui/close_window
title="Veltrimax Encrypt and decrypt file"
for tool in "$program" "$closer"; do
    [ -x "$tool" ] || {
        echo "no $tool: build it first (cmake --build --preset release)" >&2
        exit 1
    }
done

work=$(mktemp -d "${DISK:-/var/tmp}/close-latency.XXXXXX")
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
export DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb VLT_CODEPAGE=1252
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$HOME"

# A sparse input reads at once: what is timed is the stop, not the reading.
truncate -s "$(python3 -c "print(int($size * 2**30))")" "$work/big"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Clicks the middle of a control placed at LEFT TOP WIDTH HEIGHT twips.
click() {
    xdotool mousemove --window "$window" $((($1 + $3 / 2) / 15)) $((($2 + $4 / 2) / 15)) click 1
}

echo "| run | window gone after close (ms) | program ended after close (ms) | written by then (MiB) | rm of a file that size (ms) |"
echo "|---:|---:|---:|---:|---:|"
for ((run = 1; run <= runs; run++)); do
    "$program" 2>"$work/program.log" &
    pid=$!
    window=
    for _ in $(seq 150); do
        window=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n 1) || true
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
    click 2070 240 7800 285 && xdotool type --delay 0 "k"
    click 2040 720 7785 285 && xdotool type --delay 0 "$work/big"
    click 2070 1200 7800 285 && xdotool type --delay 0 "$work/big.vlt"
    click 7680 1680 3030 375
    for _ in $(seq 500); do
        compgen -G "$work/.big.vlt.vlt-partial-*" >/dev/null && break
        sleep 0.01
    done
    compgen -G "$work/.big.vlt.vlt-partial-*" >/dev/null || { echo "the run did not start" >&2; exit 1; }
    sleep 1
    written=$(stat -c %s "$(compgen -G "$work/.big.vlt.vlt-partial-*")")
    start=$(now_ms)
    "$closer" "$window"
    while xdotool search --onlyvisible --name "^${title}\$" >/dev/null 2>&1; do
        sleep 0.005
    done
    gone=$(now_ms)
    wait "$pid"
    ended=$(now_ms)
    if compgen -G "$work/.big*" >/dev/null || [ -e "$work/big.vlt" ]; then
        echo "run $run left files behind: $(ls -A "$work")" >&2
        exit 1
    fi
    # What the program's end waits for: removing what the run had written, here a file of
    # the same size written the same way.
    head -c "$written" /dev/zero >"$work/same-size"
    removing=$(now_ms)
    rm "$work/same-size"
    removed=$(now_ms)
    echo "| $run | $((gone - start)) | $((ended - start)) | $((written >> 20)) | $((removed - removing)) |"
done
