#!/usr/bin/env bash
# Sets up, builds, writes the demo level into out/demo/data and starts the
# viewer on it (the debug log goes to out/demo/debuglog.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target wildview wildview-mklevel
build/wildview-mklevel demo out/demo/data
cd out/demo
# The game's data drive is out/demo/: the viewer finds data/demo.grf and
# data/demo-130.pid there. Without a display it says so and stops.
WILDGROVE_DATA_DRIVE="$PWD/" WILDGROVE_INSTALLED_DIRECTORY="$PWD/data/" exec ../../build/wildview data/demo-130.swp
