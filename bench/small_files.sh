#!/usr/bin/env bash
# Times one vlt process over many small files against ccrypt over the same
# files and against the durable file work alone, on the machine's disk and in
# /dev/shm:
#   bench/small_files.sh
# Two sets of random files: 2,000 of 4 KiB and 200 of 64 KiB. Rows:
#   floor, no flush       read, write 3N + 4 bytes to a temporary file, rename
#                         (bench/durable_floor.cpp, mode none)
#   floor, fsync per file the same with an fsync and a folder fsync per file
#   floor, fsync per batch the same, every fsync of the batch issued at once
#   floor, syncfs per batch the same, one syncfs for the batch
#   vlt encrypt / decrypt / check  over all the files in one process
#   ccrypt -e / -d        over the same files in one process (in place, unflushed)
# Prints one Markdown table of wall medians with the ratio to ccrypt -e
# (ccrypt -d for decryption). Outputs of earlier runs are moved aside, never
# deleted, until the end: ext4 without a journal scans past recently deleted
# inodes when it creates files, which would bill one command for another's
# clean-up. The commands are timed in rounds, each once per round, so that
# the load of a shared machine falls on all of them alike. Installs ccrypt if
# missing.
#   VLT=path/to/vlt          the vlt to time (default: build/release/cli/vlt)
#   ALSO="label=path ..."    also time these vlt builds, in rows marked "(label)",
#                            in the same rounds (e.g. ALSO="main=../main/build/release/cli/vlt")
#   FLOOR=path               default: build/release/bench/vlt_durable_floor
#   DISK=folder              a folder on the disk (default: /var/tmp)
#   RUNS=n                   timed runs per command (default 5)
set -euo pipefail

[ $# -eq 0 ] || {
    echo "usage: $0  (see the comment at its top for the settings)" >&2
    exit 2
}
runs=${RUNS:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
vlt=$(realpath "${VLT:-$root/build/release/cli/vlt}")
floor=$(realpath "${FLOOR:-$root/build/release/bench/vlt_durable_floor}")
# Each other build as "label=path", the path made absolute.
others=()
for other in ${ALSO:-}; do
    others+=("${other%%=*}=$(realpath "${other#*=}")")
done
for tool in "$vlt" "$floor" "${others[@]#*=}"; do
    [ -x "$tool" ] || {
        echo "no $tool: build it first (cmake --build --preset release --target vlt vlt_durable_floor)" >&2
        exit 1
    }
done

. "$root/bench/install_tools.sh"
install_tools ccrypt=ccrypt python3=python3-minimal

folders=()
trap 'rm -rf "${folders[@]}"' EXIT
results=$(mktemp)
folders+=("$results")

# Outputs are the only files with a dot in their names.
# Moves the files `find` selects aside, into a fresh folder under trash/.
aside() {
    echo "d=\$(mktemp -d trash/XXXXXX) && find $1 -type f $2 -exec mv -t \"\$d\" {} +"
}

# Each command's setting-up, then the command, timed; entries are "name|prepare|command".
entries=()
add() {
    entries+=("$1|$2|$3")
}

# Times the entries in rounds, each command once per round, so that the load
# of a shared machine falls on all of them alike.
time_rounds() {
    local round entry name prepare command start  # microseconds
    for ((round = 0; round < runs; round++)); do
        for entry in "${entries[@]}"; do
            IFS='|' read -r name prepare command <<<"$entry"
            [ "$round" -gt 0 ] || echo "timing $1 $2: $name" >&2
            bash -c "$prepare" >/dev/null 2>&1
            start=${EPOCHREALTIME/./}
            bash -c "$command" >/dev/null 2>&1 || {
                echo "failed: $command" >&2
                exit 1
            }
            printf '%s|%s|%s|%s\n' "$1" "$2" "$name" "$((${EPOCHREALTIME/./} - start))" \
                >>"$results"
        done
    done
    entries=()
}

# bench LOCATION FOLDER COUNT BYTES
bench() {
    local location=$1 count=$3 bytes=$4
    local set="$count × $((bytes / 1024)) KiB"
    local work
    work=$(mktemp -d "$2/vlt-small-XXXXXX")
    folders+=("$work")
    cd "$work"
    mkdir plain cipher ccrypt trash
    python3 - "$count" "$bytes" <<'EOF'
import os, sys
count, size = int(sys.argv[1]), int(sys.argv[2])
for i in range(count):
    data = os.urandom(size)
    for folder in ("plain", "ccrypt"):
        with open(f"{folder}/f{i:05}", "wb") as f:
            f.write(data)
EOF
    printf 'correct horse battery staple' >key
    "$vlt" encrypt -q --key-file key plain/f*
    mv plain/*.vlt cipher/

    add "floor, no flush" "$(aside plain "-name '*.*'")" \
        "$floor none plain/f*"
    add "floor, fsync per file" "$(aside plain "-name '*.*'")" \
        "$floor file plain/f*"
    add "floor, fsync per batch" "$(aside plain "-name '*.*'")" \
        "$floor threads plain/f*"
    add "floor, syncfs per batch" "$(aside plain "-name '*.*'")" \
        "$floor syncfs plain/f*"
    local build
    for build in "=$vlt" "${others[@]}"; do
        local tool=${build#*=} suffix=""
        [ -z "${build%%=*}" ] || suffix=" (${build%%=*})"
        add "vlt encrypt$suffix" "$(aside plain "-name '*.*'")" \
            "$tool encrypt -q --key-file key plain/f*"
        add "vlt decrypt$suffix" "$(aside cipher "! -name '*.vlt'")" \
            "$tool decrypt -q --key-file key cipher/*.vlt"
        add "vlt check$suffix" "true" "$tool check -q cipher/*.vlt"
    done
    # ccrypt works in place: each command first brings the files back to its input.
    add "ccrypt -e" \
        "if ls ccrypt/*.cpt >/dev/null 2>&1; then ccrypt -d -K k ccrypt/*.cpt; fi" \
        "ccrypt -e -K k ccrypt/f*"
    add "ccrypt -d" \
        "if ! ls ccrypt/*.cpt >/dev/null 2>&1; then ccrypt -e -K k ccrypt/f*; fi" \
        "ccrypt -d -K k ccrypt/*.cpt"
    time_rounds "$location" "$set"
    for f in plain/f00000 plain/f$(printf %05d $((count - 1))); do
        cmp -s "$f" "cipher/${f#plain/}" || {
            echo "vlt decrypt did not give $f back" >&2
            exit 1
        }
    done
    cd - >/dev/null
    rm -rf "$work"
}

for location in "disk:${DISK:-/var/tmp}" "tmpfs:/dev/shm"; do
    bench "${location%%:*}" "${location#*:}" 2000 4096
    bench "${location%%:*}" "${location#*:}" 200 65536
done

python3 - "$results" "$runs" <<'EOF'
import statistics
import sys
rows = [line.rstrip("\n").split("|") for line in open(sys.argv[1])]
columns = list(dict.fromkeys((location, fileset) for location, fileset, _, _ in rows))
names = list(dict.fromkeys(name for _, _, name, _ in rows))
times = {}
for l, s, n, us in rows:
    times.setdefault((l, s, n), []).append(int(us) / 1e6)
median = {key: statistics.median(values) for key, values in times.items()}
print(f"Wall median of {sys.argv[2]} runs in seconds, ratio to ccrypt in brackets\n")
print("| command | " + " | ".join(f"{s}, {l}" for l, s in columns) + " |")
print("|---|" + "---:|" * len(columns))
for name in names:
    peer = "ccrypt -d" if "decrypt" in name else "ccrypt -e"
    cells = []
    for l, s in columns:
        wall = median[(l, s, name)]
        ratio = "" if name.startswith("ccrypt") else f" ({wall / median[(l, s, peer)]:.2f})"
        cells.append(f"{wall:.3f}{ratio}")
    print(f"| {name} | " + " | ".join(cells) + " |")
EOF
