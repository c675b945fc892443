#!/usr/bin/env bash
# A prefix boot that fails stops the machine builder at once, with its cause in the first error line
# (not later, as a missing folder). The Wine here is a stand-in whose wineboot exits 1.
set -u
build="$1"
here="$(cd "$(dirname "$0")/../.." && pwd)"
scratch="$(mktemp -d /tmp/quellor-failed-boot.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin"
cat >"$scratch/bin/wine" <<'WINE'
#!/bin/sh
if [ "$1" = wineboot ]; then echo "err:wineboot: the boot cannot go on (test)" >&2; exit 1; fi
exit 0
WINE
printf '#!/bin/sh\nexit 0\n' >"$scratch/bin/wineserver"
chmod +x "$scratch/bin/wine" "$scratch/bin/wineserver"

PATH="$scratch/bin:$PATH" STANDIN_WINE_ROOT="$scratch/root" \
    bash "$here/standin/machine.sh" --build-dir "$build" --arch win64 --state not-installed \
    </dev/null >"$scratch/out" 2>&1
status=$?
cat "$scratch/out"
first_error="$(grep -m1 ERROR "$scratch/out")"
fail() { echo "FAILED: $*"; exit 1; }
[ "$status" != 0 ] || fail "the builder ended with 0"
case "$first_error" in
    *"wine wineboot -i"*"exited with 1"*) ;;
    *) fail "the first error line does not name the boot and its exit code: '$first_error'" ;;
esac
grep -q "err:wineboot: the boot cannot go on (test)" "$scratch/out" || fail "Wine's last lines are not shown"
grep -q "No such file or directory" "$scratch/out" && fail "the run went on past the failed boot"
echo "passed: a failed boot stops the builder with its cause"
