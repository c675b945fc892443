#!/usr/bin/env bash
# Sets up what is missing (tools/setup.sh), then configures and builds Quellor, its tests and the
# stand-in product into $QUELLOR_BUILD (default: build/ in the clone). Compiler output is cached
# with ccache outside the clone, so a fresh clone builds quickly when the cache is warm.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUELLOR_BUILD:-$here/build}"
deps="${QUELLOR_DEPS:-/var/cache/quellor-deps}"

bash "$here/tools/setup.sh"
# shellcheck source=tools/wine-path.sh
source "$here/tools/wine-path.sh"
export CCACHE_DIR="${CCACHE_DIR:-$deps/ccache}" CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=true
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
      -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
      -DQUELLOR_LIMIT_SCALE="$QUELLOR_LIMIT_SCALE" >/dev/null
cmake --build "$build"
