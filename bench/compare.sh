#!/usr/bin/env bash
# Times vlt against the machine's own copy speed and against the tools users
# would pick instead, on one file of random data in a tmpfs folder:
#   bench/compare.sh SIZE_MIB
# Prints one Markdown table: wall median, MB/s of plaintext, ratio to the floor
# and peak resident memory. The floors are plain copies of the same amounts:
# for encryption cat writes the 3N + 4 bytes of a .vlt file (reading the input
# three times, twice from the page cache); for decryption dd and cat read the
# .vlt file and write N bytes. A row for writing the 3N + 4 bytes with nothing
# to read shows what no encryption into a .vlt file can beat. Installs hyperfine
# and the compared tools if missing.
#   VLT=path/to/vlt   the vlt to time (default: build/release/cli/vlt)
#   RUNS=n            timed runs per command (default 7, after one warm-up)
#   BASE_VLT=path/to/vlt  also times another build of vlt (the one before a
#                     change) in the same run, each of its rows beside vlt's
#   VLT_EXE=path/to/vlt.exe  also times the Windows build under Wine (in the
#                     build's own prefix), its ratio taken to the Linux vlt: Wine
#                     hands file I/O to the same kernel, so the ratio is the cost
#                     of the Windows code path and of Wine itself
set -euo pipefail

usage() {
    echo "usage: $0 SIZE_MIB" >&2
    exit 2
}
[ $# -eq 1 ] && [[ "$1" =~ ^[1-9][0-9]*$ ]] || usage
size_mib=$1
runs=${RUNS:-7}
root=$(cd "$(dirname "$0")/.." && pwd)
vlt=$(realpath "${VLT:-$root/build/release/cli/vlt}")
vlt_exe=${VLT_EXE:+$(realpath "$VLT_EXE")}
base_vlt=${BASE_VLT:+$(realpath "$BASE_VLT")}
[ -x "$vlt" ] || {
    echo "no vlt at $vlt: build it first (cmake --build --preset release --target vlt)" >&2
    exit 1
}

# The compared tools, each as the command it provides and its Debian package.
. "$root/bench/install_tools.sh"
install_tools hyperfine=hyperfine openssl=openssl gpg=gnupg age=age ccrypt=ccrypt \
    /usr/bin/time=time python3=python3-minimal

work=$(mktemp -d /dev/shm/vlt-compare-XXXXXX)
export GNUPGHOME="$work/gnupg"
trap 'gpgconf --kill gpg-agent 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
bytes=$((size_mib * 1024 * 1024))
head -c "$bytes" /dev/urandom >in
passphrase="correct horse battery staple"
printf '%s' "$passphrase" >key
age-keygen -o age.key 2>/dev/null
recipient=$(age-keygen -y age.key)
mkdir -m 700 "$GNUPGHOME"
"$vlt" encrypt -q -f -o in.vlt --key-file key in

# name | plaintext bytes | floor name ("" for a floor) | command
commands=(
    "encryption floor|$bytes||{ cat in in in; head -c 4 /dev/zero; } >out.floor"
    "writing 3N + 4 bytes alone|$bytes|encryption floor|{ dd if=/dev/zero bs=128K count=$((size_mib * 24)) status=none; head -c 4 /dev/zero; } >out.floor"
    "vlt encrypt|$bytes|encryption floor|$vlt encrypt -q -f -o out.vlt --key-file key in"
    ${base_vlt:+"base vlt encrypt|$bytes|encryption floor|$base_vlt encrypt -q -f -o out.vlt --key-file key in"}
    "openssl aes-256-ctr|$bytes|encryption floor|openssl enc -aes-256-ctr -pbkdf2 -pass pass:'$passphrase' -in in -out out.openssl"
    "gpg --symmetric|$bytes|encryption floor|gpg --batch --yes --quiet --symmetric --compress-algo none --passphrase '$passphrase' --pinentry-mode loopback -o out.gpg in"
    "age -r|$bytes|encryption floor|age -r $recipient -o out.age in"
    "ccrypt -e|$bytes|encryption floor|ccrypt -e -K '$passphrase' <in >out.cpt"
    "decryption floor|$bytes||{ dd bs=128K count=$((size_mib * 8)) status=none; cat >/dev/null; } <in.vlt >out.floor"
    ${base_vlt:+"base vlt decrypt|$bytes|decryption floor|$base_vlt decrypt -q -f -o out.plain --key-file key in.vlt"}
    "vlt decrypt|$bytes|decryption floor|$vlt decrypt -q -f -o out.plain --key-file key in.vlt"
)

if [ -n "$vlt_exe" ]; then
    wine_vlt="$root/tools/wine/run.sh $root/build/windows/wine-prefix $vlt_exe"
    $wine_vlt encrypt -q -f -o exe.vlt --key-file key in
    cmp -s in.vlt exe.vlt || {
        echo "vlt.exe and vlt made different .vlt files" >&2
        exit 1
    }
    rm exe.vlt
    commands+=(
        "Wine starting vlt.exe --version|$bytes||$wine_vlt --version >/dev/null"
        "vlt.exe encrypt under Wine|$bytes|vlt encrypt|$wine_vlt encrypt -q -f -o out.vlt --key-file key in"
        "vlt.exe decrypt under Wine|$bytes|vlt decrypt|$wine_vlt decrypt -q -f -o out.plain --key-file key in.vlt"
    )
fi

results=$work/results.txt
: >"$results"
for entry in "${commands[@]}"; do
    IFS='|' read -r name plain floor command <<<"$entry"
    echo "timing $name" >&2
    hyperfine --style none --warmup 1 --runs "$runs" --prepare 'rm -f out.*' \
        --export-json timing.json "$command" >/dev/null
    rm -f out.*
    /usr/bin/time -f %M -o rss.txt sh -c "$command"
    median=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' timing.json)
    printf '%s|%s|%s|%s|%s\n' "$name" "$plain" "$floor" "$median" "$(cat rss.txt)" >>"$results"
done

# The last command was a vlt decrypt: its output must be the input again.
cmp -s in out.plain || {
    echo "vlt decrypt did not give the input back" >&2
    exit 1
}

python3 - "$results" "$size_mib" "$runs" <<'EOF'
import sys
rows = [line.rstrip("\n").split("|") for line in open(sys.argv[1])]
medians = {name: float(median) for name, _, _, median, _ in rows}
print(f"{sys.argv[2]} MiB of random data in tmpfs, median of {sys.argv[3]} runs\n")
print("| tool | wall median (s) | MB/s of plaintext | ratio to the floor | peak MiB |")
print("|---|---:|---:|---:|---:|")
for name, plain, floor, median, rss in rows:
    wall = float(median)
    ratio = wall / medians[floor] if floor else 1.0
    print(f"| {name} | {wall:.3f} | {int(plain) / wall / 1e6:.0f} | {ratio:.2f} "
          f"| {int(rss) / 1024:.1f} |")
EOF
