#!/usr/bin/env bash
# End to end: the viewer on the demo level under Xvfb, driven by xdotool.
#   viewer_e2e.sh BUILD_DIR
# Starts `wildview DIR/demo-130.swp` with the data drive pointed at the
# level, waits for the level, takes screenshots, holds W and sees the
# location label change, quits with Alt+F4 and checks the debug log.
set -euo pipefail

build=$(cd "$1" && pwd)
for tool in Xvfb xdotool xclip; do
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

# ---- selection mode: pick, drag, report, delete; the fog from the menu ----
xdotool key F1  # the help panel away, so that pictures change only by what we do
xdotool key Escape
sleep 0.5
select_count() { grep -c "^Select: " "$work/viewer.out" || true; }
picked=""
px=0
py=0
# Objects stand along the horizon of the start view; try points there.
for point in "360 392" "330 380" "200 400" "460 390" "560 395" "650 390" "240 380" "420 385" "700 395" "120 390"; do
    read -r ox oy <<<"$point"
    before=$(select_count)
    xdotool mousemove $((wx + ox)) $((wy + oy)) click 1
    sleep 0.4
    if [[ $(select_count) -gt $before ]]; then
        line=$(grep "^Select: " "$work/viewer.out" | tail -n 1)
        if grep -A 3 -F -- "$line" "$work/viewer.out" | grep -q "^Instance: "; then
            picked=$(awk '{print $2}' <<<"$line")
            px=$((wx + ox))
            py=$((wy + oy))
            break
        fi
    fi
done
[[ -n $picked ]] || fail "no click selected an object"
echo "e2e: selected serial $picked at $px,$py"

"$build/wildview-xshot" "$work/drag0.png"
xdotool mousedown 1
for _ in 1 2 3 4 5 6 7 8; do
    xdotool mousemove_relative -- 5 0
    sleep 0.05
done
xdotool mouseup 1
sleep 0.4
"$build/wildview-xshot" "$work/drag1.png"
moved=$("$build/tests/png_region_diff" "$work/drag0.png" "$work/drag1.png" $((px - 80)) $((py - 80)) 160 160 40)
echo "e2e: the drag changed $moved pixels around the object"
[[ $moved -gt 100 ]] || fail "dragging did not move the object"

xdotool key b
dialog=""
for _ in $(seq 1 30); do
    dialog=$(xdotool search --name "^Dialog$" 2>/dev/null | head -n 1 || true)
    [[ -n $dialog ]] && break
    sleep 0.1
done
[[ -n $dialog ]] || fail "B opened no info dialog"
sleep 0.3
xdotool windowfocus "$dialog"
sleep 0.2
xdotool key ctrl+a
sleep 0.3
report=$(xclip -o -selection primary 2>/dev/null || true)
grep -q "Source geometry type:" <<<"$report" || fail "the info dialog does not show the model report: '$report'"
# Its Close button, at the bottom right.
dgeometry=$(xdotool getwindowgeometry "$dialog")
dx=$(sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\1/p' <<<"$dgeometry")
dy=$(sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\2/p' <<<"$dgeometry")
dw=$(sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1/p' <<<"$dgeometry")
dh=$(sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\2/p' <<<"$dgeometry")
xdotool mousemove $((dx + dw - 45)) $((dy + dh - 22)) click 1
sleep 0.4
[[ -z $(xdotool search --name "^Dialog$" 2>/dev/null || true) ]] || fail "the info dialog's Close did not close it"

xdotool windowfocus "$window"
sleep 0.2
xdotool key Delete
sleep 0.3
# The deleted object can no longer be picked where it was dragged to.
for dxs in 0 24 48; do
    xdotool mousemove $((px + dxs)) "$py" click 1
    sleep 0.3
    last=$(grep "^Select: " "$work/viewer.out" | tail -n 1 | awk '{print $2}')
    [[ $last != "$picked" ]] || fail "the deleted object (serial $picked) was picked again"
done

"$build/wildview-xshot" "$work/fog0.png"
xdotool key alt+o
sleep 0.3
xdotool key Down Down Right
sleep 0.3
xdotool key Return
sleep 0.6
"$build/wildview-xshot" "$work/fog1.png"
fogged=$("$build/tests/png_region_diff" "$work/fog0.png" "$work/fog1.png" "$wx" $((wy + 60)) 780 520 40)
echo "e2e: turning the fog off changed $fogged pixels"
[[ $fogged -gt 5000 ]] || fail "the fog toggle did not change the picture"

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
