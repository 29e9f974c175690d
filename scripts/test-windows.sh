#!/usr/bin/env bash
# Cross-builds the Windows programs and the core's tests with MinGW-w64 and
# runs the tests under Wine through ctest. One Wine prefix in the build
# folder and one persistent wineserver serve the run (the build lists the
# tests through it too); the server is ended at the end, also when a test
# fails.
#   scripts/test-windows.sh [BUILD]   (default: build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
scripts/setup.sh --windows
mkdir -p "$WINEPREFIX"
# Started apart from this script's pipes, which Wine's services would
# otherwise hold open.
setsid wineserver -p </dev/null >/dev/null 2>&1 &
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1 || true  # makes the prefix once

scripts/build-windows.sh "$build" -DWV_BUILD_TESTS=ON
cd "$build"
ctest --output-on-failure -j"$(nproc)" </dev/null
