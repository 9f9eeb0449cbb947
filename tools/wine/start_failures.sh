#!/usr/bin/env bash
# Starts a Windows program under Wine COUNT times, as tools/wine/run.sh did
# before it fixed the process's addresses, and counts the starts that end
# with status 1 before the program runs; Wine's reason for each is shown.
#   tools/wine/start_failures.sh PREFIX PROBE.exe COUNT [MODE]
# PROBE is build/windows/tests/win32/wine_start_probe.exe. A few starts in
# 20,000 fail with the addresses randomized (DEVELOPERS.md, "Windows"). MODE:
#   --addr-no-randomize    the starts are run.sh's own: none fails
#   --heap-on-shared-data  the addresses fixed, and the heap grown over
#                          0x7ffe0000 before Wine starts: every start fails,
#                          as the unlucky ones do
set -euo pipefail
usage="usage: $0 PREFIX PROBE.exe COUNT [--addr-no-randomize|--heap-on-shared-data]"
prefix="$(realpath -m "${1:?$usage}")"
probe="${2:?$usage}" count="${3:?$usage}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fixed=(setarch "$(uname -m)" --addr-no-randomize)
case "${4:-}" in
    "") launch=(wine) ;;
    --addr-no-randomize) launch=("${fixed[@]}" wine) ;;
    --heap-on-shared-data)
        # Where Linux would have put the heap in an unlucky start.
        cat >"$work/heap.c" <<'C'
#include <stdint.h>
#include <unistd.h>
__attribute__((constructor)) static void CoverSharedData(void) {
    const uintptr_t end = 0x7ffe1000, now = (uintptr_t)sbrk(0);
    if (now < end) sbrk((intptr_t)(end - now));
}
C
        cc -shared -fPIC -o "$work/heap.so" "$work/heap.c"
        launch=(env LD_PRELOAD="$work/heap.so" "${fixed[@]}" wine)
        ;;
    *) echo "$usage" >&2; exit 2 ;;
esac
"$(dirname "$0")/prefix.sh" "$prefix"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
# Only Wine's errors about memory: the one that ends such a start.
export WINEDEBUG=-all,err+virtual
wineserver -p60 </dev/null >/dev/null 2>&1 || true
failed=0
for ((i = 1; i <= count; i++)); do
    status=0
    "${launch[@]}" "$probe" </dev/null >/dev/null 2>"$work/errors" || status=$?
    if [ "$status" -ne 0 ]; then
        failed=$((failed + 1))
        echo "start $i: status $status: $(tr '\n' ' ' <"$work/errors")"
    fi
done
echo "$failed of $count starts failed"
[ "$failed" -eq 0 ]
