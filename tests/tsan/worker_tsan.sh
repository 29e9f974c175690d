#!/usr/bin/env bash
# The tests that run the ground's worker thread, built with ThreadSanitizer:
# any report of a race fails the run.
#   worker_tsan.sh BUILD_DIR
# The sanitized tests are built in BUILD_DIR/tsan.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "$1" && pwd)
tsan=$build/tsan
flags="-fsanitize=thread -fno-omit-frame-pointer"

cmake -S "$repo" -B "$tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWV_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build "$tsan" -j"$(nproc)" --target scene_tests >/dev/null

export TSAN_OPTIONS=halt_on_error=1:exitcode=66:second_deadlock_stack=1
"$tsan/tests/scene_tests" --gtest_filter='TerrainTreeTest.*Background*:TerrainTreeTest.*InFlight*' --gtest_repeat=3
