#!/usr/bin/env bash
# Faults of a real system against the real vlt program, one case per run:
#   vlt_faults.sh CASE PATH-TO-VLT
# Exit 0 passed, 1 failed, 77 skipped (the machine does not allow the case; a
# failure under CI=true).
set -uo pipefail

case_name=$1
VLT=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
chmod 755 "$work"  # reachable for the unprivileged runs
printf 'secret' >key
chmod 644 key

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# A case this machine does not allow is skipped with the reason, except under
# CI=true: ./dev.sh installs and grants what every case needs, so there a case
# that cannot run is a failure, not a quiet pass.
skip() {
    if [ "${CI:-}" = true ]; then
        echo "FAIL: cannot run under CI=true: $*" >&2
        exit 1
    fi
    echo "SKIP: $*"
    exit 77
}

# Runs vlt with a key file; sets status and keeps stderr in "err".
vlt() {
    "$VLT" "$@" >out.txt 2>err.txt
    status=$?
}
expect_status() {
    [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1; stderr: $(cat err.txt)"
}
expect_stderr() {
    grep -qE -- "$1" err.txt || fail "$2: stderr lacks /$1/: $(cat err.txt)"
}
# The sorted names in a folder, hidden ones too, on one line.
names() {
    (cd "$1" && find . -mindepth 1 -maxdepth 1 -printf '%P\n' | LC_ALL=C sort | tr '\n' ' ')
}
expect_names() {
    local now
    now=$(names "$1")
    [ "$now" = "$2" ] || fail "$3: '$1' holds [$now], expected [$2]"
}
same() {
    cmp -s "$1" "$2"
}
# Which of two files a file equals: "old", "new" or "broken".
describe() {
    if same "$1" "$2"; then
        echo old
    elif same "$1" "$3"; then
        echo new
    else
        echo broken
    fi
}
# Microseconds since the epoch.
now_us() {
    echo $(($(date +%s%N) / 1000))
}
# Sleeps a number of microseconds.
sleep_us() {
    sleep "$(printf '%d.%06d' $(($1 / 1000000)) $(($1 % 1000000)))"
}
# Waits up to 60 s for the background vlt $1 to end and sets status. One
# still running then is stuck: where each of its threads waits is printed
# before it is killed, so that a hang seen once can be understood.
wait_bounded() {
    local i task
    for ((i = 0; i < 6000; i++)); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.01
    done
    if kill -0 "$1" 2>/dev/null; then
        for task in /proc/"$1"/task/*; do
            echo "stuck thread ${task##*/}: $(cat "$task/wchan" 2>/dev/null)" >&2
            cat "$task/stack" >&2 2>/dev/null
        done
        kill -KILL "$1"
    fi
    wait "$1"
    status=$?
}
# Waits up to 10 s for a temporary output file to appear in folder $1.
wait_for_partial() {
    local i
    for ((i = 0; i < 1000; i++)); do
        compgen -G "$1/.*.vlt-partial-*" >/dev/null && return 0
        sleep 0.01
    done
    return 1
}

# /dev/full, and a 64 KiB tmpfs in a private mount namespace when allowed.
case_disk_full() {
    head -c 100000 /dev/urandom >big
    vlt encrypt --key-file key -f -o /dev/full big
    expect_status 1 "encrypt to /dev/full"
    expect_stderr '^vlt: /dev/full: .*No space left on device' "encrypt to /dev/full"
    [ -c /dev/full ] || fail "/dev/full is no longer a device"

    "$VLT" encrypt --key-file key -o big.vlt big || fail "cannot encrypt big"
    mkdir small
    if ! unshare -m --propagation private true 2>/dev/null; then
        skip "no private mount namespace here; /dev/full was tested"
    fi
    # shellcheck disable=SC2016  # expanded by the inner shell
    unshare -m --propagation private bash -c '
        mount -t tmpfs -o size=64k tmpfs small || exit 77
        for op in encrypt decrypt; do
            printf "old output" >small/out
            input=big; [ $op = decrypt ] && input=big.vlt
            "$0" $op --key-file key -f -o small/out $input 2>>err.txt
            echo "$op status $? names $(ls -A small | tr "\n" " ")content $(cat small/out)"
        done' "$VLT" >report 2>>err.txt
    [ $? -eq 77 ] && skip "cannot mount a tmpfs here; /dev/full was tested"
    local expected
    expected=$(printf '%s\n' "encrypt status 1 names out content old output" \
        "decrypt status 1 names out content old output")
    [ "$(cat report)" = "$expected" ] || fail "full tmpfs: $(cat report)"
    [ "$(grep -c 'small/out: .*No space left on device' err.txt)" -eq 2 ] ||
        fail "full tmpfs: $(cat err.txt)"
}

# A read that fails: /proc/self/mem at offset 0 gives EIO.
case_read_error() {
    mkdir out
    vlt encrypt --key-file key -o out/mem.vlt /proc/self/mem
    expect_status 1 "reading /proc/self/mem"
    expect_stderr '^vlt: /proc/self/mem: .*Input/output error' "reading /proc/self/mem"
    expect_names out "" "after the read error"
}

# Root passes every permission check: the runs happen as "nobody".
case_permission_denied() {
    local as=()
    if [ "$(id -u)" -eq 0 ]; then
        command -v setpriv >/dev/null || skip "no setpriv to drop root's rights"
        as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    fi
    printf 'private' >secret
    chmod 600 secret
    printf 'public' >public
    chmod 644 public
    mkdir locked open
    chmod 755 locked
    chmod 777 open

    "${as[@]}" "$VLT" encrypt --key-file key -o open/secret.vlt secret >out.txt 2>err.txt
    status=$?
    expect_status 1 "unreadable input"
    expect_stderr '^vlt: secret: .*Permission denied' "unreadable input"
    "${as[@]}" "$VLT" encrypt --key-file key -o locked/public.vlt public >out.txt 2>err.txt
    status=$?
    expect_status 1 "output in a folder without write permission"
    expect_stderr '^vlt: locked/public.vlt: .*Permission denied' "unwritable folder"
    "${as[@]}" "$VLT" encrypt --key-file key -o open/public.vlt public >out.txt 2>err.txt
    status=$?
    expect_status 0 "the same user where it may write"
    expect_names locked "" "locked folder"
    expect_names open "public.vlt " "open folder"

    # Not even root may create a file in /sys.
    vlt encrypt --key-file key -o /sys/vlt-fault-test.vlt public
    expect_status 1 "output in /sys"
    expect_stderr 'Permission denied' "output in /sys"
}

case_bad_paths() {
    printf 'data' >in
    mkdir folder
    mkdir out
    vlt encrypt --key-file key -o missing/in.vlt in
    expect_status 1 "output folder missing"
    expect_stderr '^vlt: missing/in.vlt: .*No such file or directory' "output folder missing"
    vlt encrypt --key-file key -o in/in.vlt in
    expect_status 1 "output folder is a file"
    expect_stderr 'Not a directory' "output folder is a file"
    vlt encrypt --key-file key -f -o folder in
    expect_status 1 "output is a folder"
    expect_stderr '^vlt: folder: .*folder' "output is a folder"
    mkdir in.vlt
    vlt encrypt --key-file key -f in
    expect_status 1 "default output name is a folder"
    rmdir in.vlt
    # A folder as input fails; the other inputs are still done.
    vlt encrypt --key-file key folder in
    expect_status 1 "input is a folder"
    expect_stderr '^vlt: folder: .*is a folder' "input is a folder"
    [ -f in.vlt ] || fail "the input after the folder was not encrypted"
    vlt decrypt --key-file key -o out/x folder
    expect_status 1 "decrypting a folder"
    expect_names . "err.txt folder in in.vlt key out out.txt " "after the path faults"
    expect_names out "" "after the path faults"
}

# SIGINT mid-run: exit 130, no output, no temporary file; an old output is kept.
case_sigint() {
    mkdir out
    truncate -s 48M plain
    "$VLT" encrypt --key-file key -o small.vlt key || fail "cannot encrypt the key file"
    local op input pid
    for op in encrypt decrypt; do
        input=plain
        if [ $op = decrypt ]; then
            # a large encrypted file, made quickly: interrupt before the end anyway
            "$VLT" encrypt --key-file key -o plain.vlt plain || fail "cannot encrypt plain"
            input=plain.vlt
        fi
        for existing in no yes; do
            rm -f out/result
            [ $existing = yes ] && printf 'old output' >out/result
            "$VLT" "$op" --key-file key -f -o out/result "$input" 2>err.txt &
            pid=$!
            wait_for_partial out || fail "$op: no temporary file appeared"
            kill -INT "$pid"
            wait_bounded "$pid"
            expect_status 130 "$op interrupted ($existing old output)"
            expect_stderr 'interrupted' "$op interrupted"
            if [ $existing = yes ]; then
                [ "$(cat out/result)" = "old output" ] || fail "$op: old output changed"
                expect_names out "result " "$op interrupted over an old output"
            else
                expect_names out "" "$op interrupted"
            fi
        done
        rm -f plain.vlt
    done
}

# SIGINT at random moments up to the end of the run, the final flush to disk
# and rename included: either the run stops (130, the old output untouched) or
# it has finished (0, the new output complete). Never a mix, never a leftover.
case_sigint_late() {
    mkdir out
    truncate -s 48M plain
    printf 'old output' >old
    RANDOM=9
    local op input start took i delay pid stopped=0 finished=0
    for op in encrypt decrypt; do
        input=plain
        [ $op = decrypt ] && input=plain.vlt
        "$VLT" "$op" --key-file key -f -o reference "$input" || fail "$op: first run failed"
        cp old out/result
        start=$(now_us)
        "$VLT" "$op" --key-file key -f -o out/result "$input" || fail "$op: second run failed"
        took=$(($(now_us) - start))
        for ((i = 0; i < 6; i++)); do
            cp old out/result
            "$VLT" "$op" --key-file key -f -o out/result "$input" 2>err.txt &
            pid=$!
            delay=$((took / 3 + (RANDOM * 32768 + RANDOM) % took))
            sleep_us "$delay"
            kill -INT "$pid" 2>/dev/null
            wait_bounded "$pid"
            if [ $status -eq 130 ] && same out/result old && grep -q interrupted err.txt; then
                stopped=$((stopped + 1))
            elif [ $status -eq 0 ] && same out/result reference; then
                finished=$((finished + 1))
            else
                fail "$op interrupted after $delay of $took us: exit $status," \
                    "output $(describe out/result old reference), stderr: $(cat err.txt)"
            fi
            expect_names out "result " "$op interrupted late"
        done
        mv reference plain.vlt
    done
    echo "late interrupts: $stopped stopped with the old output kept, $finished finished"
}

# Names with blanks, line breaks, bytes that are not UTF-8 and the longest
# names the file system takes; each encrypted and decrypted under its own name.
case_names() {
    local long251 long252
    long251=$(printf 'n%.0s' $(seq 251))
    long252=${long251}x
    local names=("with spaces" $'line\nbreak' "  leading and trailing  " $'latin-1 \xe9t\xe9'
        $'\xff\xfe' "-dash first" "$long251")
    local name
    mkdir -p names
    for name in "${names[@]}"; do
        printf '%s' "$name" >"names/$name"
        cp "names/$name" copy
        vlt encrypt --key-file key -- "names/$name"
        expect_status 0 "encrypt '$name'"
        rm -f "names/$name"
        vlt decrypt --key-file key -- "names/$name.vlt"
        expect_status 0 "decrypt '$name.vlt'"
        same "names/$name" copy || fail "'$name' did not come back"
        rm -f "names/$name" "names/$name.vlt"
    done
    expect_names names "" "after the names"
    # One byte too many for the encrypted name: refused, nothing left.
    printf 'x' >"names/$long252"
    vlt encrypt --key-file key -- "names/$long252"
    expect_status 1 "a name of 256 bytes"
    expect_stderr "the output's name would be too long" "a name of 256 bytes"
    expect_names names "$long252 " "after the long name"
}

# Links as input and as output: the output link stays a link.
case_links() {
    printf 'through links' >plain
    ln -s plain link-in
    vlt encrypt --key-file key link-in
    expect_status 0 "input link"
    if [ ! -f link-in.vlt ] || [ -L link-in.vlt ]; then
        fail "input link: link-in.vlt is not a file"
    fi
    printf 'old' >target.vlt
    ln -s target.vlt link-out.vlt
    ln -s link-out.vlt chain.vlt
    ln -s missing-target.vlt dangling.vlt
    mkdir folder
    ln -s folder folder-link
    for output in link-out.vlt chain.vlt dangling.vlt; do
        vlt encrypt --key-file key -f -o "$output" plain
        expect_status 0 "output link $output"
        [ -L "$output" ] || fail "$output is no longer a link"
        same "$output" link-in.vlt || fail "$output: wrong content through the link"
    done
    same target.vlt link-in.vlt || fail "the link's target did not get the content"
    [ -f missing-target.vlt ] || fail "the dangling link's target was not created"
    vlt encrypt --key-file key -f -o folder-link plain
    expect_status 1 "output link to a folder"
    [ -L folder-link ] || fail "the link to a folder was replaced"
    expect_names folder "" "the folder behind the link"
}

# Keys: empty and not UTF-8 refused with nothing written; blanks, a huge key
# and characters outside the code page work.
case_keys() {
    head -c 5000 /dev/urandom >plain
    printf '' >empty
    printf '\n' >newline
    printf '   ' >blanks
    printf 'caf\xe9' >latin1
    head -c 100000 /dev/urandom | base64 -w0 | head -c 100000 >huge
    printf '\xe6\x97\xa5\xe6\x9c\xac' >japanese
    printf '??' >marks
    local key
    for key in empty newline latin1; do
        vlt encrypt --key-file "$key" -o "$key.vlt" plain
        expect_status 2 "key file $key"
        expect_stderr "^vlt: $key: " "key file $key"
        [ ! -e "$key.vlt" ] || fail "key file $key: an output was written"
    done
    for key in blanks huge japanese; do
        vlt encrypt --key-file "$key" --codepage 1252 -o "$key.vlt" plain
        expect_status 0 "encrypt with key $key"
        vlt decrypt --key-file "$key" --codepage 1252 -o "$key.out" "$key.vlt"
        expect_status 0 "decrypt with key $key"
        same "$key.out" plain || fail "key $key: no round trip"
    done
    "$VLT" encrypt --key-file marks --codepage 1252 -o marks.vlt plain
    same japanese.vlt marks.vlt || fail "characters outside 1252 are not '?' as on Windows"
    "$VLT" encrypt --key-file japanese --codepage 932 -o japanese-932.vlt plain
    ! same japanese.vlt japanese-932.vlt || fail "code page 932 did not change the key"
    vlt decrypt --key-file blanks --codepage 1252 -o wrong.out huge.vlt
    expect_status 1 "decrypt with the wrong key"
    [ ! -e wrong.out ] || fail "a wrong key wrote an output"
}

# A file that appears at the output's name during the run is not replaced
# without -f: the run waits on a named pipe while the file is made.
case_appears() {
    mkfifo feed
    local force pid
    for force in "" -f; do
        rm -f r.vlt
        "$VLT" encrypt --key-file key $force -o r.vlt feed 2>err.txt &
        pid=$!
        wait_for_partial . || fail "no temporary file appeared"
        (set -C && echo theirs >r.vlt) || fail "could not make r.vlt"
        printf 'data' >feed
        wait_bounded "$pid"
        if [ -z "$force" ]; then
            expect_status 1 "a file that appeared meanwhile"
            expect_stderr '^vlt: r.vlt: already exists; use --force to replace it' "appeared"
            [ "$(cat r.vlt)" = theirs ] || fail "the file that appeared was replaced"
        else
            expect_status 0 "a file that appeared meanwhile, with -f"
            [ "$(wc -c <r.vlt)" -eq 16 ] || fail "-f did not replace the file that appeared"
        fi
        expect_names . "err.txt feed key r.vlt " "after a file appeared ($force)"
    done
}

# System calls made to fail with strace. A row: the output, the calls to fail
# and their error, the paths they must concern (none: every call), and vlt's
# exit status and message. A run that fails leaves the old output.
case_injected() {
    # LeakSanitizer cannot run under ptrace: strace would make a sanitized vlt fail.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    command -v strace >/dev/null || skip "no strace"
    strace -o /dev/null true 2>/dev/null || skip "strace cannot trace here"
    head -c 300000 /dev/urandom >big
    "$VLT" encrypt --key-file key -o big.ref big || fail "cannot encrypt big"
    mkdir out
    local output calls error paths expected message filter path row
    while IFS='|' read -r output calls error paths expected message; do
        printf 'OLD' >a.vlt
        filter=()
        for path in $paths; do
            filter+=(-P "$path")
        done
        strace -f -o /dev/null "${filter[@]}" -e trace="$calls" -e inject="$calls:error=$error" \
            "$VLT" encrypt --key-file key -o "$output" big >out.txt 2>err.txt
        status=$?
        row="$calls=$error on ${paths:-every call}"
        expect_status "$expected" "$row"
        [ -z "$message" ] || expect_stderr "$message" "$row"
        if [ "$output" = a.vlt ]; then
            [ "$(cat a.vlt)" = OLD ] || fail "$row: a.vlt was replaced"
        else
            same "$output" big.ref || fail "$row: $output is not the encryption"
        fi
    done <<ROWS
a.vlt|%stat,%lstat,%fstat|EIO|a.vlt $PWD/a.vlt|1|^vlt: a.vlt: cannot tell whether it exists: Input/output error
out/x.vlt|fsync|EIO|out|1|^vlt: out/x.vlt: is in place, but its folder 'out' could not be flushed to disk: Input/output error
out/y.vlt|eventfd2|EMFILE||0|
out/z.vlt|clone3,clone|EAGAIN||0|
ROWS
    expect_names out "x.vlt y.vlt z.vlt " "after the injected faults"
}

# Faults in putting outputs in place, made with strace. A row: the calls
# made to fail (each "call:error=E:when=N", several at once, and "path=NAME"
# to fail only the calls on the paths so named), whether -f is
# given, the inputs (each encrypted into out/), vlt's exit status, a message
# it must give, and the outputs then in out/ (complete, each as encrypted
# alone). A temporary file may be left only where the message names it.
case_placing() {
    # LeakSanitizer cannot run under ptrace: strace would make a sanitized vlt fail.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    command -v strace >/dev/null || skip "no strace"
    strace -o /dev/null true 2>/dev/null || skip "strace cannot trace here"
    local i injections force inputs expected message outputs filter path row output
    for i in 1 2 3; do
        head -c $((i * 5000)) /dev/urandom >"in$i"
        "$VLT" encrypt --key-file key -o "in$i.ref" "in$i" || fail "cannot encrypt in$i"
    done
    while IFS='|' read -r injections force inputs expected message outputs; do
        rm -rf out && mkdir out
        filter=()
        for path in $injections; do
            case $path in
                path=*) filter+=(-P "${path#path=}") ;;
                *) filter+=(-e "inject=$path") ;;
            esac
        done
        for path in $inputs; do
            cp "$path" out/
        done
        (cd out && strace -f -o /dev/null "${filter[@]}" "$VLT" encrypt $force -q \
            --key-file ../key $inputs >../out.txt 2>../err.txt)
        status=$?
        row="$injections $force"
        expect_status "$expected" "$row"
        [ -z "$message" ] || expect_stderr "$message" "$row"
        # shellcheck disable=SC2086  # the lists are split on purpose
        expect_names out "$(printf '%s\n' $inputs $outputs \
            $(cd out && find . -name '.*vlt-partial-*' -printf '%P\n') | LC_ALL=C sort |
            tr '\n' ' ')" "$row"
        for output in $outputs; do
            same "out/$output" "${output%.vlt}.ref" || fail "$row: $output is not the encryption"
        done
        for path in out/.*vlt-partial-*; do
            [ -e "$path" ] || continue
            grep -qF "'${path#out/}'" err.txt || grep -qF "/${path#out/}'" err.txt ||
                fail "$row: $path left and not named: $(cat err.txt)"
        done
    done <<ROWS
renameat2:error=EINVAL:when=1+ unlink:error=EIO:when=1||in1|1|^vlt: in1\.vlt: is in place, but could not remove the temporary file '.*\.in1\.vlt\.vlt-partial-.{6}': Input/output error|in1.vlt
renameat2:error=EINVAL:when=1+ unlink:error=EPERM:when=2||in1 in2 in3|1|^vlt: in2\.vlt: is in place, but could not remove the temporary file .*Operation not permitted|in1.vlt in2.vlt in3.vlt
renameat2:error=ENOSYS:when=1+ link:error=EPERM:when=1+||in1 in2|1|^vlt: in1\.vlt: cannot put the output in place: .*neither a rename that refuses an existing file nor hard links|
renameat2:error=ENOSYS:when=1+ link:error=EPERM:when=1+|-f|in1 in2|0||in1.vlt in2.vlt
fsync:error=EINTR:when=1..99+2 syncfs:error=EINTR:when=1..99+2 renameat2:error=EINTR:when=1..99+2 unlink:error=EINTR:when=1..99+2||in1 in2 in3|0||in1.vlt in2.vlt in3.vlt
renameat2:error=EINVAL:when=1+ link:error=EINTR:when=1..99+2 fsync:error=EINTR:when=1..99+2||in1|0||in1.vlt
path=in1 path=in1.vlt path=in2 path=in2.vlt openat:error=EINTR:when=1..99+2 newfstatat:error=EINTR:when=1..99+2||in1 in2|0||in1.vlt in2.vlt
ROWS
}

# Memory running out, at address-space limits swept over a range so that
# some runs fail while the command line is read, some in the runs and some
# while the batch is put in place (and the lowest before vlt can start: the
# loader's 127): never an abort. Each run ends 0, 1 or 2
# with a message; the outputs there are complete, and a temporary file is
# left only where a message names it.
case_memory() {
    command -v prlimit >/dev/null || skip "no prlimit"
    prlimit --as=$((64 << 20)) -- "$VLT" --help >/dev/null 2>&1 ||
        skip "this build cannot run under an address-space limit (a sanitized one)"
    mkdir many
    local i limit outcomes=" "
    for i in $(seq -w 1 200); do
        printf 'small file %s' "$i" >"many/S$i"
    done
    "$VLT" encrypt -q --key-file key many/S001 || fail "cannot encrypt S001"
    mv many/S001.vlt S001.ref
    for ((limit = 5 << 20; limit <= 9 << 20; limit += 128 << 10)); do
        rm -f many/*.vlt many/.*vlt-partial-*
        (cd many && prlimit --as=$limit -- "$VLT" encrypt -q --key-file ../key S*) \
            >out.txt 2>err.txt
        status=$?
        outcomes+="$status "
        case $status in
            0) ;;
            1) expect_stderr '^vlt: .*not enough memory' "limit $limit" ;;
            2) expect_stderr '^vlt: not enough memory (to start|to read the command line)$' \
                "limit $limit" ;;
            127) expect_stderr 'error while loading shared libraries|^out of memory$' "limit $limit" ;;
            *) fail "limit $limit: exit status $status; stderr: $(tail -3 err.txt)" ;;
        esac
        [ ! -e many/S001.vlt ] || same many/S001.vlt S001.ref || fail "limit $limit: S001.vlt broken"
        for path in many/.*vlt-partial-*; do
            [ -e "$path" ] || continue
            grep -qF "${path#many/}" err.txt || fail "limit $limit: $path left and not named"
        done
    done
    echo "exit statuses from 5 to 9 MiB: $outcomes"
}

# On a FUSE file system (bindfs) syncfs does not reach the data: every output
# of a batch gets its own fsync before it is put in place.
case_fuse() {
    # LeakSanitizer cannot run under ptrace: strace would make a sanitized vlt fail.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    command -v bindfs >/dev/null || skip "no bindfs"
    command -v strace >/dev/null || skip "no strace"
    mkdir back mnt
    bindfs back mnt 2>/dev/null || skip "cannot mount a FUSE file system here"
    local i
    for i in 1 2 3 4 5; do
        printf 'file %s' "$i" >"mnt/b$i"
        printf 'file %s' "$i" >"b$i"
    done
    strace -f -o trace.txt -e trace=fsync,syncfs "$VLT" encrypt --key-file key mnt/b? 2>err.txt
    status=$?
    "$VLT" encrypt --key-file key b? || fail "cannot encrypt the references"
    expect_status 0 "a batch on FUSE"
    for i in 1 2 3 4 5; do
        same "mnt/b$i.vlt" "b$i.vlt" || fail "mnt/b$i.vlt is not the encryption"
    done
    [ "$(grep -c 'fsync(' trace.txt)" -ge 6 ] ||
        fail "a batch on FUSE was not flushed file by file: $(grep -E 'sync' trace.txt)"
    fusermount -u mnt 2>/dev/null || umount mnt
}

# The process may open 64 files: a batch of many more inputs still succeeds.
case_descriptors() {
    mkdir many
    local i
    for ((i = 0; i < 2000; i++)); do
        printf '%s' "$i" >"many/$i"
    done
    (ulimit -n 64 && "$VLT" encrypt --key-file key many/*) >out.txt 2>err.txt
    status=$?
    expect_status 0 "2000 inputs with 64 descriptors"
    [ "$(find many -name '*.vlt' | wc -l)" -eq 2000 ] || fail "not every input got its output"
}

# A temporary file that cannot be removed is named, and the status says so:
# the folder is made read-only while the run waits for its input.
case_leftover() {
    [ "$(id -u)" -eq 0 ] || skip "needs root to change the folder under the run"
    command -v setpriv >/dev/null || skip "no setpriv to drop root's rights"
    mkdir out
    chown nobody out
    mkfifo feed
    chmod 666 feed
    setpriv --reuid=nobody --regid=nogroup --clear-groups \
        "$VLT" encrypt --key-file key -o out/x.vlt feed 2>err.txt &
    local pid=$!
    wait_for_partial out || fail "no temporary file appeared"
    chmod 555 out
    kill -INT "$pid"
    wait_bounded "$pid"
    chmod 755 out
    expect_status 130 "interrupted in a folder made read-only"
    expect_stderr "^vlt: could not remove the temporary file 'out/\.x\.vlt\.vlt-partial-.{6}': Permission denied" \
        "the temporary file left"
}

# An output name that leads to a pipe is written directly, as -o - is.
case_pipes_by_name() {
    printf 'through a pipe' >plain
    "$VLT" encrypt --key-file key -o plain.ref plain || fail "cannot encrypt plain"
    local output
    for output in /dev/stdout /proc/self/fd/1 /dev/fd/1; do
        "$VLT" encrypt --key-file key -o "$output" plain 2>err.txt | cat >piped.vlt
        status=${PIPESTATUS[0]}
        expect_status 0 "-o $output into a pipe"
        same piped.vlt plain.ref || fail "-o $output: not the encryption"
    done
    "$VLT" encrypt --key-file key -o >(cat >substituted.vlt) plain 2>err.txt
    status=$?
    wait $!
    expect_status 0 "-o >(cat)"
    same substituted.vlt plain.ref || fail "-o >(cat): not the encryption"
}

# A file that lists 0 bytes but holds more (/proc) is read in blocks like a
# pipe, not a byte at a time (some 2,500 writes for /proc/cpuinfo; a few in blocks,
# a few dozen more from a sanitized build).
case_unknown_size() {
    # LeakSanitizer cannot run under ptrace: strace would make a sanitized vlt fail.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    command -v strace >/dev/null || skip "no strace"
    strace -f -o trace.txt -e trace=write "$VLT" encrypt --key-file key -o cpu.vlt /proc/cpuinfo
    status=$?
    expect_status 0 "encrypting /proc/cpuinfo"
    local writes size
    writes=$(grep -c 'write(' trace.txt)
    size=$(wc -c <cpu.vlt)
    [ "$size" -gt 4 ] && [ $((size % 3)) -eq 1 ] || fail "/proc/cpuinfo: an output of $size bytes"
    [ "$writes" -le 100 ] || fail "/proc/cpuinfo: $writes writes for $size bytes"
}

"case_$case_name"
[ "$failures" -eq 0 ] || exit 1
echo "passed: $case_name"
