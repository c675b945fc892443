#!/usr/bin/env bash
# The path Wine's 32-bit programs take on this machine, as tools/setup.sh found it: "native", or
# "emulated" (qemu-i386, with the reservation remedy preloaded). Source this file; it exports
#   QUELLOR_WINE_PATH     native | emulated
#   QUELLOR_LIMIT_SCALE   how many times longer the platform's own work may take here (1 when native)
#   LD_PRELOAD            the remedy, on the emulated path only
# and defines `scaled SECONDS`, a limit on the platform's own work (a prefix boot, an install) for
# this path. Limits that the product's behaviour decides are never scaled.
_quellor_path_file="${QUELLOR_DEPS:-/var/cache/quellor-deps}/wine-path.env"
if [ -f "$_quellor_path_file" ]; then
    # shellcheck disable=SC1090
    . "$_quellor_path_file"
fi
export QUELLOR_WINE_PATH="${QUELLOR_WINE_PATH:-native}"
if [ "$QUELLOR_WINE_PATH" = emulated ]; then
    export QUELLOR_LIMIT_SCALE="${QUELLOR_LIMIT_SCALE:-4}"
    case ":${LD_PRELOAD:-}:" in
        *":$QUELLOR_WINE_PRELOAD:"*) ;;
        *) export LD_PRELOAD="${LD_PRELOAD:+$LD_PRELOAD:}$QUELLOR_WINE_PRELOAD" ;;
    esac
    export QUELLOR_WINE_PRELOAD
else
    export QUELLOR_LIMIT_SCALE="${QUELLOR_LIMIT_SCALE:-1}"
fi
unset _quellor_path_file

scaled() { echo $(( $1 * QUELLOR_LIMIT_SCALE )); }
