#!/usr/bin/env bash
# Cross-builds the Windows programs and the core's tests with MinGW-w64 and
# runs the tests under Wine through ctest. One Wine prefix in the build
# folder and one persistent wineserver serve the run; the server is ended
# at the end, also when a test fails.
#   scripts/test-windows.sh [BUILD]   (default: build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --windows
build=${1:-build-windows}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DWV_BUILD_TESTS=ON -DWV_BUILD_BENCH=OFF

export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
# Started apart from this script's pipes, which Wine's services would
# otherwise hold open.
setsid wineserver -p </dev/null >/dev/null 2>&1 &
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1 || true  # makes the prefix once

cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)" </dev/null
