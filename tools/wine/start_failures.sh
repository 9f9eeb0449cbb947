#!/usr/bin/env bash
# Starts a Windows program under Wine COUNT times, as tools/wine/run.sh did
# before it fixed the process's addresses, and counts the starts that end
# with status 1 before the program runs; Wine's reason for each is shown.
#   tools/wine/start_failures.sh PREFIX PROBE.exe COUNT [--addr-no-randomize]
# PROBE is build/windows/tests/win32/wine_start_probe.exe; with
# --addr-no-randomize the starts are run.sh's own and none fails. A few
# starts in 20,000 fail with the addresses randomized (DEVELOPERS.md, "Windows").
set -euo pipefail
prefix="$(realpath -m "${1:?usage: $0 PREFIX PROBE.exe COUNT [--addr-no-randomize]}")"
probe="${2:?}" count="${3:?}"
launch=(wine)
if [ "${4:-}" = --addr-no-randomize ]; then
    launch=(setarch "$(uname -m)" --addr-no-randomize wine)
fi
"$(dirname "$0")/prefix.sh" "$prefix"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
# Only Wine's errors about memory: the one that ends such a start.
export WINEDEBUG=-all,err+virtual
wineserver -p60 </dev/null >/dev/null 2>&1 || true
errors="$(mktemp)"
trap 'rm -f "$errors"' EXIT
failed=0
for ((i = 1; i <= count; i++)); do
    status=0
    "${launch[@]}" "$probe" </dev/null >/dev/null 2>"$errors" || status=$?
    if [ "$status" -ne 0 ]; then
        failed=$((failed + 1))
        echo "start $i: status $status: $(tr '\n' ' ' <"$errors")"
    fi
done
echo "$failed of $count starts failed"
[ "$failed" -eq 0 ]
