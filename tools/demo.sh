#!/usr/bin/env bash
# The main job on a ready-made demo machine: sets up what is missing, builds Quellor, prepares a
# Wine prefix where the stand-in Mirevo is installed but broken (its ordinary uninstall fails),
# and starts quellor.exe there so you can answer its questions yourself.
#   bash tools/demo.sh [version]        (default version: the program's own default, 1.0.14.0)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUELLOR_BUILD:-$here/build}"
export QUELLOR_WINE_ROOT="${QUELLOR_WINE_ROOT:-/tmp/quellor-demo}"

QUELLOR_BUILD="$build" bash "$here/tools/build.sh" >/dev/null

bash "$here/standin/machine.sh" --build-dir "$build" --arch win64 --state broken

# The builder keeps its machines below <root>/standin, with the product running there.
export QUELLOR_WINE_ROOT="$QUELLOR_WINE_ROOT/standin"
# shellcheck source=tools/wine-harness.sh
source "$here/tools/wine-harness.sh"
wine_use_prefix win64
trap wine_stop_server EXIT

# The operator's working folder: quellor.exe and its log live there, as on a real PC.
work="$WINEPREFIX/drive_c/quellor"
mkdir -p "$work"
cp "$build/app/quellor.exe" "$work/"
echo "== quellor.exe in C:\\quellor (log files are written there: $work) =="
cd "$work"
set +e
timeout -k 10 3600 wine quellor.exe "$@"
code=$?
set -e
echo "== quellor.exe ended with exit code $code (255 is -1) =="
