#!/usr/bin/env bash
# Runs one Windows program under Wine with a time limit and no terminal input.
# The Wine environment (WINEPREFIX, HOME, ...) comes from tools/wine-harness.sh; this machine's Wine
# path (tools/wine-path.sh) is read here too, so that ctest run by hand gets it.
# shellcheck source=tools/wine-path.sh
source "$(dirname "$0")/wine-path.sh"
# Output goes through a file, never straight into the caller's pipe: Wine processes that the program
# starts on the way (the desktop process, console hosts) inherit its output and may outlive it, and a
# test runner reading a pipe would wait for them.
out="$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")"
run_once() {
    timeout -k 10 "${QUELLOR_WINE_TIMEOUT:-$(scaled 600)}" wine "$@" </dev/null >"$out" 2>&1
}
run_once "$@"
rc=$?
# Under emulation qemu-i386 now and then kills a 32-bit Wine process itself, in Wine's own code
# ("Got unexpected trap -1", then "qemu: uncaught target signal 11"): measured in one suite in 4 of 12
# runs, always in a service-manager call. That is no result of the program, so it runs once more here
# and both outputs are shown; the test runner's own rerun stays for every other failure.
if [ "$rc" -ne 0 ] && [ "$QUELLOR_WINE_PATH" = emulated ] && grep -q '^qemu: uncaught target signal' "$out"; then
    cat "$out"
    echo "wine-run: qemu-i386 ended the program (above); it runs once more"
    run_once "$@"
    rc=$?
fi
cat "$out"
rm -f "$out"
exit $rc
