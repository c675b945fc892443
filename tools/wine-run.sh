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
timeout -k 10 "${QUELLOR_WINE_TIMEOUT:-$(scaled 600)}" wine "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
