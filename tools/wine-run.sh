#!/usr/bin/env bash
# Runs one Windows program under Wine with a time limit and no terminal input.
# The Wine environment (WINEPREFIX, HOME, ...) comes from tools/wine-harness.sh.
exec timeout -k 10 "${QUELLOR_WINE_TIMEOUT:-600}" wine "$@" </dev/null
