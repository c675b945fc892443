#!/usr/bin/env bash
# Sets up what is missing, builds Quellor and its tests, and runs every test under Wine:
# all suites in the 64-bit prefix (the 32-bit program under WOW64), then the suites labelled
# "prefix32" again in a 32-bit prefix. The Wine server is stopped at the end, whatever happens.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUELLOR_BUILD:-$here/build}"

QUELLOR_BUILD="$build" bash "$here/tools/build.sh"

# Throwaway prefixes for this run only (unless the caller names a root to reuse).
if [ -z "${QUELLOR_WINE_ROOT:-}" ]; then
    QUELLOR_WINE_ROOT="$(mktemp -d /tmp/quellor-test-wine.XXXXXX)"
    throwaway_root="$QUELLOR_WINE_ROOT"
fi
export QUELLOR_WINE_ROOT
# shellcheck source=tools/wine-harness.sh
source "$here/tools/wine-harness.sh"

# Stops every wineserver this run started (the test prefixes' and the stand-in machines'),
# whatever the outcome, then removes throwaway prefixes.
finish() {
    local prefix
    for prefix in "$QUELLOR_WINE_ROOT"/win64 "$QUELLOR_WINE_ROOT"/win32 \
                  "$QUELLOR_WINE_ROOT"/standin/win64 "$QUELLOR_WINE_ROOT"/standin/win32; do
        # "wineserver -k" fails when that server has already gone; that is fine here.
        if [ -d "$prefix" ]; then
            WINEPREFIX="$prefix" timeout -k 5 60 wineserver -k </dev/null >/dev/null 2>&1 || true
        fi
    done
    if [ -n "${throwaway_root:-}" ]; then rm -rf "$throwaway_root"; fi
    return 0
}
trap finish EXIT

status=0
for arch in win64 win32; do
    wine_use_prefix "$arch"
    wine_start_server
    echo "== tests in the $arch prefix =="
    args=(--test-dir "$build" --output-on-failure --no-tests=error)
    [ "$arch" = win32 ] && args+=(-L prefix32)
    # The suites take the test prefix in turn and the e2e runs each stand-in prefix in turn (their
    # RESOURCE_LOCKs); with two at a time the 64-bit and the 32-bit machines' runs go side by side.
    args+=(--parallel "${QUELLOR_TEST_JOBS:-2}")
    # Under emulation qemu-i386 now and then ends a 32-bit Wine process, whatever it runs ("wine
    # client error:...: *** stack smashing detected ***", "partial wakeup read", "read: Bad file
    # descriptor"): a test that fails there runs once more, and ctest shows both runs. Natively every
    # test runs once.
    [ "$QUELLOR_WINE_PATH" = emulated ] && args+=(--repeat until-pass:2)
    # There, too, the 32-bit prefix's repeats of the e2e runs that do not depend on the prefix's kind
    # would take the whole CI's time (minutes each): they run natively only.
    if [ "$QUELLOR_WINE_PATH" = emulated ] && [ "$arch" = win64 ]; then
        echo "(emulated path: the e2e runs labelled native_path are left out)"
        args+=(-LE native_path)
    fi
    QUELLOR_PREFIX_ARCH="$arch" ctest "${args[@]}" "$@" || status=1
    wine_stop_server
done
exit $status
