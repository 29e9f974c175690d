#!/usr/bin/env bash
# Cross-builds the Windows programs and the core's and the tools' tests
# with MinGW-w64 and runs the tests under Wine through ctest. One Wine prefix
# in the build folder, one persistent wineserver and one Xvfb (the GL
# context's hidden window needs a display) serve the run (the build lists
# the tests through them too); both are ended at the end, also when a test
# fails.
#   scripts/test-windows.sh [BUILD]   (default: build-windows; the Linux
#   build in build/, when there, is compared with it)
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
xvfb_pid=
trap 'wineserver -k >/dev/null 2>&1 || true; [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true' EXIT
# Xvfb picks a free display and says which through the pipe.
pipe=$(mktemp -u)
mkfifo "$pipe"
setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$pipe" </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
read -r display <"$pipe"
rm -f "$pipe"
export DISPLAY=":$display"
wine cmd /c exit </dev/null >/dev/null 2>&1 || true  # makes the prefix once

# The Linux tools, where built, to compare the Windows ones' output with.
linux_build=
[[ -x build/wildview-export ]] && linux_build=$PWD/build
scripts/build-windows.sh "$build" -DWV_BUILD_TESTS=ON -DWV_LINUX_BUILD="$linux_build"
cd "$build"
ctest --output-on-failure -j"$(nproc)" </dev/null
