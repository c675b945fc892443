#!/usr/bin/env bash
# Sets up what is missing, builds Quellor and its tests, and runs every test under Wine:
# all suites in the 64-bit prefix (the 32-bit program under WOW64), then the suites labelled
# "prefix32" again in a 32-bit prefix. The Wine server is stopped at the end, whatever happens.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUELLOR_BUILD:-$here/build}"

bash "$here/tools/setup.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build"

# shellcheck source=tools/wine-harness.sh
source "$here/tools/wine-harness.sh"
trap wine_stop_server EXIT

status=0
for arch in win64 win32; do
    wine_use_prefix "$arch"
    wine_start_server
    echo "== tests in the $arch prefix =="
    args=(--test-dir "$build" --output-on-failure --no-tests=error)
    [ "$arch" = win32 ] && args+=(-L prefix32)
    QUELLOR_PREFIX_ARCH="$arch" ctest "${args[@]}" "$@" || status=1
    wine_stop_server
done
exit $status
