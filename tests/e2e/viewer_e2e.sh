#!/usr/bin/env bash
# End to end: the viewer on the demo level under Xvfb, driven by xdotool.
#   viewer_e2e.sh BUILD_DIR
# Starts `wildview DIR/demo-130.swp` with the data drive pointed at the
# level, waits for the level, takes screenshots, holds W and sees the
# location label change, quits with Alt+F4 and checks the debug log.
set -euo pipefail

build=$(cd "$1" && pwd)
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed (scripts/setup.sh installs it)"; exit 1; }
done

work=$(mktemp -d /tmp/wildview-e2e-XXXXXX)
xvfb_pid=""
viewer_pid=""
cleanup() {
    [[ -n $viewer_pid ]] && kill "$viewer_pid" 2>/dev/null || true
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
    if [[ ${KEEP_E2E:-} == 1 ]]; then echo "e2e: kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

fail() {
    echo "e2e: FAILED: $*"
    echo "--- debuglog.txt"; cat "$work/debuglog.txt" 2>/dev/null || true
    echo "--- viewer output"; tail -n 40 "$work/viewer.out" 2>/dev/null || true
    exit 1
}

# A display nobody uses.
display=""
for n in $(seq 91 140); do
    if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=":$n"; break; fi
done
[[ -n $display ]] || fail "no free X display number"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.out" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 1 50); do
    xdotool getmouselocation >/dev/null 2>&1 && break
    sleep 0.1
done
xdotool getmouselocation >/dev/null 2>&1 || fail "Xvfb did not start"

mkdir -p "$work/cd/data" "$work/run"
"$build/wildview-mklevel" demo "$work/cd/data" >/dev/null
cd "$work"

WILDGROVE_DATA_DRIVE="$work/cd/" WILDGROVE_INSTALLED_DIRECTORY="$work/cd/data/" \
    "$build/wildview" "$work/cd/data/demo-130.swp" >"$work/viewer.out" 2>&1 &
viewer_pid=$!

# The level is in once the counter report has been written and frames follow.
for _ in $(seq 1 600); do
    grep -q "Level load time" "$work/viewer.out" 2>/dev/null && break
    kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended early"
    sleep 0.1
done
grep -q "Level load time" "$work/viewer.out" || fail "the level did not load within 60 s"
sleep 2

window=$(xdotool search --name "Wildgrove Level Viewer" | head -n 1)
[[ -n $window ]] || fail "no window titled Wildgrove Level Viewer"
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
"$build/wildview-xshot" "$work/before.png" || fail "screenshot"

# Hold W: the camera flies forward and the location label changes.
xdotool keydown w
sleep 1.5
xdotool keyup w
sleep 0.5
"$build/wildview-xshot" "$work/after.png" || fail "screenshot"
geometry=$(xdotool getwindowgeometry "$window")
wx=$(sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\1/p' <<<"$geometry")
wy=$(sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\2/p' <<<"$geometry")
# The labels sit at the GL area's top left, under the menu bar.
changed=$("$build/tests/png_region_diff" "$work/before.png" "$work/after.png" "$wx" "$wy" 320 70)
echo "e2e: $changed pixels of the location label's corner changed"
[[ $changed -gt 20 ]] || fail "the location label did not change after holding W"

# Alt+F4 ends the program through the quit chord.
xdotool keydown alt keydown F4
sleep 0.6
xdotool keyup F4 keyup alt
status=0
for _ in $(seq 1 100); do
    kill -0 "$viewer_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$viewer_pid" 2>/dev/null && fail "Alt+F4 did not end the viewer"
wait "$viewer_pid" || status=$?
viewer_pid=""
[[ $status -eq 0 ]] || fail "exit code $status"

log=$work/debuglog.txt
[[ -f $log ]] || fail "no debuglog.txt in the working directory"
expect_in_order() {
    local at=0 text line
    for text in "$@"; do
        line=$(grep -n -F -- "$text" "$log" | awk -F: -v at="$at" '$1 > at {print $1; exit}')
        [[ -n $line ]] || fail "debuglog.txt lacks '$text' after line $at"
        at=$line
    done
}
expect_in_order "    File Selection" "Registry settings:" "Checking for GRF file:" " found." \
    "    CreateGLWindow" "    InitGL" "GL_TextureCompression: " "GL_AutoGenMipmaps: " "GL_hasTexDot3: " \
    "GL_hasMultitex: " "GL_EXT_blend_color: " "    InitModels (load level)" "Loading Level 'demo'" \
    "Loading GRF file: " "Loading PID file: " "Loading SWP file: " "    KillGLWindow" "    KillModels" \
    "    KillTerrain"
grep -q "(manually disabled)" "$log" || fail "the texture compression line lacks its note"
[[ $(tail -c 200 "$log") == *KillTerrain* ]] || fail "the log does not end with the unload"
cp "$work/after.png" "$build/e2e-viewer.png" 2>/dev/null || true
echo "e2e: passed (screenshot in $build/e2e-viewer.png)"
