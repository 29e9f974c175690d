#!/usr/bin/env bash
# Cross-builds the Windows programs with MinGW-w64 into build-windows/ (or
# BUILD): the viewer wildview.exe and the tools wildview-inspect.exe,
# -export.exe, -render.exe and -mklevel.exe. They need only the system's own
# DLLs; under Wine: wine build-windows/wildview.exe LEVEL.swp
#   scripts/build-windows.sh [BUILD [CMAKE OPTION...]]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --windows
build=${1:-build-windows}
shift || true
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DWV_BUILD_TESTS=OFF -DWV_BUILD_BENCH=OFF "$@"
cmake --build "$build" -j"$(nproc)"
