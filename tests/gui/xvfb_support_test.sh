#!/usr/bin/env bash
# What tests/support/xvfb.sh promises the scripts that source it:
#   clients   a client that connects while the last one leaves is served, as
#             the program is while find_window's searches come and go;
#   clean_up  a script that fails after its program ended ends at once, with
#             its server gone even when that server ignores SIGTERM.
#
#   xvfb_support_test.sh
set -euo pipefail

support=$(realpath "$(dirname "$0")/../support/xvfb.sh")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# clients: 300 searches, each connecting and leaving, while connections are
# opened as often as they can be; one refused is the fault.
clients() {
    # shellcheck source=tests/support/xvfb.sh
    source "$support"
    start_xvfb 640 480
    (for _ in $(seq 300); do xdotool search --name nothing >/dev/null 2>&1 || true; done) &
    local searches=$! tries=0 refused=0
    while kill -0 "$searches" 2>/dev/null; do
        tries=$((tries + 1))
        xdotool getdisplaygeometry >/dev/null 2>&1 || refused=$((refused + 1))
    done
    wait "$searches"
    [ "$refused" -eq 0 ] || fail "$refused of $tries connections refused while searches came and went"
    echo "clients: $tries connections served while 300 searches came and went"
}

# clean_up: a program that has ended, a server that ignores SIGTERM (a stand-in:
# a real one killed would leave its socket behind), then a failure. The script
# must end within seconds, with fail's status, and take the server along.
clean_up() {
    cat >"$out/failing.sh" <<SCRIPT
set -euo pipefail
source "$support"
(trap '' TERM; exec sleep 60) &
xvfb_pid=\$!
echo "\$xvfb_pid" >"$out/server"
true &
app_pid=\$!
wait "\$app_pid"
fail "as planned"
SCRIPT
    local status=0 server
    # Its output to a file: a server left behind would hold a pipe open.
    timeout 30 bash "$out/failing.sh" >"$out/failing.log" 2>&1 || status=$?
    server=$(cat "$out/server")
    if kill -0 "$server" 2>/dev/null; then
        kill -KILL "$server"
        echo "FAIL: the server outlived the failing script (status $status)" >&2
        return 1
    fi
    if [ "$status" -ne 1 ] || ! grep -qx "FAIL: as planned" "$out/failing.log"; then
        echo "FAIL: the failing script ended with status $status:" >&2
        cat "$out/failing.log" >&2
        return 1
    fi
    echo "clean_up: the failing script ended with status 1 and took its server along"
}

# Each case in a shell of its own: xvfb.sh sets its trap, $work and fail there.
failed=0
for case in clients clean_up; do
    ("$case") || failed=1
done
exit "$failed"
