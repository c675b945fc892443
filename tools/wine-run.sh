#!/usr/bin/env bash
# Runs one Windows program under Wine with a time limit and no terminal input.
# The Wine environment (WINEPREFIX, HOME, ...) comes from tools/wine-harness.sh.
# Output goes through a file, never straight into the caller's pipe: Wine processes that the program
# starts on the way (the desktop process, console hosts) inherit its output and may outlive it, and a
# test runner reading a pipe would wait for them.
out="$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")"
timeout -k 10 "${QUELLOR_WINE_TIMEOUT:-600}" wine "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
