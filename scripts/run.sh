#!/usr/bin/env bash
# Sets up, builds, writes the demo level into out/demo and inspects it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target wildview-mklevel wildview-inspect
build/wildview-mklevel demo out/demo
build/wildview-inspect blocks out/demo/demo.grf
echo
build/wildview-inspect textures out/demo/demo-130.pid
build/wildview-inspect texture out/demo/demo-130.pid out/demo/demo-130.swp 0 out/demo/texture-0.png
echo
echo "decoded texture 0 to out/demo/texture-0.png"
