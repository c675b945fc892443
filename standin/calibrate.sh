#!/usr/bin/env bash
# Re-measures the oracle and the snapshot filters:
#   1. empty prefix vs intact install      -> every trace of the product (docs/standin.md)
#   2. intact vs after an ordinary `msiexec /x` -> must show no change outside the product
#   standin/calibrate.sh --build-dir DIR [--arch win64|win32] [--out FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build=""; arch=win64; out=/tmp/standin-snapshots
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir) build="$2"; shift 2 ;;
        --arch) arch="$2"; shift 2 ;;
        --out) out="$2"; shift 2 ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done
[ -n "$build" ] || { echo "usage: $0 --build-dir DIR [--arch win64|win32] [--out FOLDER]" >&2; exit 2; }
mkdir -p "$out"
machine() { "$here/standin/machine.sh" --build-dir "$build" --arch "$arch" "$@" | tail -1; }
snapshot() { python3 "$here/standin/snapshot.py" "$@"; }

export QUELLOR_WINE_ROOT="${STANDIN_WINE_ROOT:-${QUELLOR_WINE_ROOT:-/tmp/quellor-wine-${USER:-root}}/standin}"
prefix="$QUELLOR_WINE_ROOT/$arch"
code='{A8A29C11-24A3-2E3D-2CDA-E9F333B92BB5}'

machine --state not-installed --stop
snapshot dump "$prefix" -o "$out/empty.txt"
machine --state intact --stop
snapshot dump "$prefix" -o "$out/intact.txt"
machine --state intact
(
    set +e
    # shellcheck source=tools/wine-harness.sh
    source "$here/tools/wine-harness.sh"
    wine_use_prefix "$arch"
    timeout -k 5 120 wine "$build/standin/bin/StandinExec.exe" wait -- msiexec /x "$code" /qn </dev/null >"$out/uninstall.out" 2>/dev/null
    wine_stop_server
)
snapshot dump "$prefix" -o "$out/after-uninstall.txt"

snapshot diff "$out/empty.txt" "$out/intact.txt" >"$out/oracle.diff"
snapshot diff "$out/intact.txt" "$out/after-uninstall.txt" >"$out/uninstall.diff"
echo "msiexec /x: $(tr -d '\r' <"$out/uninstall.out")"
echo "== intact vs empty: $(grep -c . "$out/oracle.diff") changes; outside the product:"
snapshot diff "$out/empty.txt" "$out/intact.txt" --outside-product
echo "== ordinary uninstall: $(grep -c . "$out/uninstall.diff") changes; outside the product:"
snapshot diff "$out/intact.txt" "$out/after-uninstall.txt" --outside-product
echo "== product traces the ordinary uninstall leaves:"
snapshot diff "$out/empty.txt" "$out/after-uninstall.txt" --product-only
