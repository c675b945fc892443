#!/usr/bin/env bash
# Runs quellor.exe of two builds on the same broken stand-in machine (64-bit prefix), answering Y,
# and compares what each printed on the console and wrote to its information log. A change that
# should leave the behaviour as it was must show no difference.
#   bash tools/compare-broken-run.sh BUILD_BEFORE BUILD_AFTER [OUT_DIR]
# Dates, times, durations, the names of the backup and journal files and the installer's random
# cache names are masked before the comparison. The prefixes live below $QUELLOR_WINE_ROOT (default /tmp/quellor-compare).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
[ $# -ge 2 ] || { sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
before="$(cd "$1" && pwd)"; after="$(cd "$2" && pwd)"
out="${3:-$(mktemp -d /tmp/quellor-compare-out.XXXXXX)}"
mkdir -p "$out"
export QUELLOR_WINE_ROOT="${QUELLOR_WINE_ROOT:-/tmp/quellor-compare}"

mask() {
    LC_ALL=C sed -E -e 's/[0-9]{4}[-/][0-9]{2}[-/][0-9]{2}/DATE/g' -e 's/[0-9]{2}:[0-9]{2}:[0-9]{2}(\.[0-9]+)?/TIME/g' \
        -e 's/[0-9]{14}/STAMP/g' -e 's/[0-9]{8}_[0-9]{6}/STAMP/g' -e 's/[0-9]+(\.[0-9]+)? ?(秒|ms|s)\b/N\2/g' -e 's/Installer\\[0-9a-f]+\.(msi|msp)/Installer\\CACHED.\1/g' -e 's/\r$//'
}

run_build() {
    local name="$1" build="$2"
    bash "$here/standin/machine.sh" --build-dir "$build" --arch win64 --state broken >/dev/null
    (
        export QUELLOR_WINE_ROOT="$QUELLOR_WINE_ROOT/standin"
        # shellcheck source=tools/wine-harness.sh
        source "$here/tools/wine-harness.sh"
        wine_use_prefix win64
        trap wine_stop_server EXIT
        local work="$WINEPREFIX/drive_c/quellor"
        rm -rf "$work"; mkdir -p "$work"
        cp "$build/app/quellor.exe" "$work/"
        cd "$work"
        set +e
        printf 'y\n\n\n' | timeout -k 10 1200 wine quellor.exe > "$out/$name.console.raw" 2>/dev/null
        echo "exit code $?" >> "$out/$name.console.raw"
        set -e
        cat "$work"/infoLog_*.txt > "$out/$name.log.raw" 2>/dev/null || : > "$out/$name.log.raw"
    )
    mask < "$out/$name.console.raw" > "$out/$name.console"
    mask < "$out/$name.log.raw" > "$out/$name.log"
}

run_build before "$before"
run_build after "$after"
status=0
for part in console log; do
    if diff -u "$out/before.$part" "$out/after.$part" > "$out/$part.diff"; then
        echo "$part: unchanged ($(wc -l < "$out/after.$part") lines)"
    else
        echo "$part: differs, see $out/$part.diff"; status=1
    fi
done
exit $status
