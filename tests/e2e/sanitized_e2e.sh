#!/usr/bin/env bash
# The end-to-end tests with the viewer built with AddressSanitizer (leak
# checking included) and UndefinedBehaviorSanitizer, then the render and
# export tools so built on the demo and skew levels. Any report ends the
# program with a non-zero status, which fails the test that ran it.
#   sanitized_e2e.sh BUILD_DIR
# The sanitized viewer is built in BUILD_DIR/sanitized; the tools come from
# BUILD_DIR. tests/e2e/sanitizer.supp holds the only suppressions: the GL
# driver's and fontconfig's own leaks.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
sanitized=$build/sanitized
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

cmake -S "$repo" -B "$sanitized" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWV_BUILD_TESTS=OFF -DWV_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$sanitized" -j"$(nproc)" --target wildview wildview-render wildview-export >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:exitcode=23
export LSAN_OPTIONS=suppressions=$here/sanitizer.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:exitcode=24
export WV_E2E_VIEWER=$sanitized/wildview

status=0
for test in viewer_e2e dialogs_e2e corrupt_level_e2e shadows_e2e; do
    echo "== $test with the sanitized viewer"
    bash "$here/$test.sh" "$build" || status=1
done

levels=$(mktemp -d /tmp/wildview-sanitized-XXXXXX)
trap 'rm -rf "$levels"' EXIT
"$build/wildview-mklevel" demo "$levels" >/dev/null
"$build/wildview-mklevel" skew "$levels" >/dev/null
run_tool() {
    echo "== $*"
    "$@" >"$levels/tool.out" 2>&1 || { status=1; echo "failed with status $?:"; tail -n 40 "$levels/tool.out"; }
}
for level in demo skew; do
    swp=$levels/$level-130.swp
    run_tool "$sanitized/wildview-render" "$swp" --out "$levels/$level.png" --size 320x240 --frames 3
    run_tool "$sanitized/wildview-render" "$swp" --out "$levels/$level-map.png" --overview --texels-per-unit 0.5
    run_tool "$sanitized/wildview-export" "$swp" "$levels/$level.glb" --terrain
    run_tool "$sanitized/wildview-export" "$swp" "$levels/$level.gltf"
done
exit $status
