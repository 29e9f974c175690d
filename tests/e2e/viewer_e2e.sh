#!/usr/bin/env bash
# End to end: the viewer on the demo level under Xvfb, driven by xdotool.
#   viewer_e2e.sh BUILD_DIR
# WV_E2E_VIEWER names another viewer binary (a sanitized build); a
# sanitizer's report then fails the test through the exit code.
# Starts `wildview DIR/demo-130.swp` with the data drive pointed at the
# level, waits for the level, takes screenshots, holds W and sees the
# location label change, quits with Alt+F4 and checks the debug log.
set -euo pipefail

for tool in Xvfb xdotool xclip; do
    command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed (scripts/setup.sh installs it)"; exit 1; }
done

# shellcheck source=e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e2e_begin "$1"

write_demo "$work/cd/data"
cp "$work/cd/data/demo.grf" "$work/levels_original.grf"
mkdir -p "$work/run"
cd "$work"

start_viewer "$work/cd/data/demo-130.swp"
wait_for_level
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
window_geometry "$window"
wx=$win_x
wy=$win_y
# The labels sit at the GL area's top left, under the menu bar.
changed=$("$build/tests/png_region_diff" "$work/before.png" "$work/after.png" "$wx" "$wy" 320 70)
echo "e2e: $changed pixels of the location label's corner changed"
[[ $changed -gt 20 ]] || fail "the location label did not change after holding W"

xdotool key F1  # the help panel away, so that pictures change only by what we do

# ---- flying mode: Alt lets go of the pointer, which opens a menu ----
xdotool mousemove $((wx + 400)) $((wy + 300))
sleep 0.3
xdotool key alt
sleep 0.3
"$build/wildview-xshot" "$work/released.png" || fail "screenshot"
xdotool mousemove $((wx + 110)) $((wy + 12)) click 1  # View
sleep 0.5
xdotool mousemove $((wx + 140)) $((wy + 37)) click 1  # Objects...
objects=$(wait_window "^Objects$" 5)
[[ -n $objects ]] || fail "after Alt, the pointer did not reach View / Objects in flying mode"
"$build/tests/x_close_request" "$objects"
sleep 0.5
"$build/wildview-xshot" "$work/menu-used.png" || fail "screenshot"
# The way to the menu turned nothing: the island (below the drifting
# clouds) is where it was.
turned=$("$build/tests/png_region_diff" "$work/released.png" "$work/menu-used.png" $((wx + 100)) $((wy + 420)) 500 100)
[[ $turned -eq 0 ]] || fail "reaching the menu turned the view ($turned pixels of the island changed)"
xdotool windowfocus "$window"
xdotool mousemove $((wx + 400)) $((wy + 300)) click 1  # the view takes the pointer back
sleep 0.3

# ---- selection mode: pick, drag, report, delete; the fog from the menu ----
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
            # The user's number for it: its record, as its report says.
            record=$(grep -A 3 -F -- "$line" "$work/viewer.out" | grep -m 1 "^Instance: " | awk '{print $2}')
            px=$((wx + ox))
            py=$((wy + oy))
            break
        fi
    fi
done
[[ -n $picked ]] || fail "no click selected an object"
echo "e2e: selected serial $picked (record $record) at $px,$py"

# Drags with the left button from X Y to the right by 40 pixels.
drag_right() {
    xdotool mousemove "$1" "$2" mousedown 1
    for _ in 1 2 3 4 5 6 7 8; do
        xdotool mousemove_relative -- 5 0
        sleep 0.05
    done
    xdotool mouseup 1
    sleep 0.4
}

"$build/wildview-xshot" "$work/drag0.png"
drag_right "$px" "$py"
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
click_dialog_close "$dialog"
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
renderer_item 1
"$build/wildview-xshot" "$work/fog1.png"
fogged=$("$build/tests/png_region_diff" "$work/fog0.png" "$work/fog1.png" "$wx" $((wy + 60)) 780 520 40)
echo "e2e: turning the fog off changed $fogged pixels"
[[ $fogged -gt 5000 ]] || fail "the fog toggle did not change the picture"

# Terrain shadows off: the ground's baked images lose the objects' shadows.
"$build/wildview-xshot" "$work/shadow0.png"
renderer_item 2
"$build/wildview-xshot" "$work/shadow1.png"
unshadowed=$("$build/tests/png_region_diff" "$work/shadow0.png" "$work/shadow1.png" "$wx" $((wy + 60)) 780 520 40)
echo "e2e: turning terrain shadows off changed $unshadowed pixels"
[[ $unshadowed -gt 300 ]] || fail "the terrain shadows toggle did not change the ground"

# ---- editing: undo, the object list, the question before quitting, save as ----
xdotool key ctrl+z  # the delete undone: the object is back, and selected
sleep 0.5
main_title() { xdotool getwindowname "$(xdotool search --onlyvisible --name "^Wildgrove Level Viewer" | head -n 1)"; }
title=$(main_title)
[[ $title == *"#$record"* ]] || fail "Ctrl+Z did not bring back and select the deleted object (record $record): '$title'"
[[ $title == *"[unsaved edits]"* ]] || fail "the title does not say the drag is unsaved: '$title'"

# The object list: a filter, a double-click selects the object and flies to it.
# Prints the id of the list window; the selection's report is in the output.
choose_from_list() {
    local filter=$1 objects
    xdotool key o
    objects=$(wait_window "^Objects$" 5)
    [[ -n $objects ]] || fail "O opened no object list"
    window_geometry "$objects"
    xdotool mousemove $((win_x + 200)) $((win_y + 20)) click 1  # the filter field
    sleep 0.2
    xdotool type --delay 50 "$filter"
    sleep 0.4
    xdotool mousemove $((win_x + 150)) $((win_y + 75)) click --repeat 2 --delay 80 1  # the first row
    sleep 0.6
    echo "$objects"
}
# The last selection's report line that starts with the text.
last_report() {
    local out=$1 line
    line=$(grep -n "^Select: " "$out" | tail -n 1 | cut -d: -f1)
    tail -n +"$line" "$out" | sed -n '1,8p' | grep -F -- "$2" | head -n 1
}

objects=$(choose_from_list lighthouse)
last_report "$work/viewer.out" "Instance: " | grep -q "lighthouse" ||
    fail "double-clicking the filtered list did not select the lighthouse"
"$build/tests/x_close_request" "$objects"
sleep 0.3
[[ -z $(xdotool search --onlyvisible --name "^Objects$" 2>/dev/null || true) ]] || fail "the object list did not close"
xdotool windowfocus "$window"
sleep 0.3
# Flown to, the lighthouse stands in the middle of the view: drag it, undo
# that, drag it again, and note where it was left.
cx=$((wx + 400))
cy=$((wy + 25 + 300))
start=$(last_report "$work/viewer.out" "position:")
drag_right "$cx" "$cy"
xdotool key ctrl+z
sleep 0.4
xdotool mousemove "$cx" "$cy" click 1
sleep 0.4
[[ $(last_report "$work/viewer.out" "position:") == "$start" ]] || fail "Ctrl+Z did not put the dragged lighthouse back"
drag_right "$cx" "$cy"
xdotool mousemove $((cx + 40)) "$cy" click 1
sleep 0.4
left=$(last_report "$work/viewer.out" "position:")
last_report "$work/viewer.out" "Instance: " | grep -q "lighthouse" || fail "the dragged lighthouse is not where it was dragged to"
[[ $left != "$start" ]] || fail "the second drag did not move the lighthouse"
echo "e2e: the lighthouse moved from '$start' to '$left'"

# Alt+F4 with edits asks first; Cancel keeps the viewer.
alt_f4
answer_unsaved_edits Escape
sleep 0.6
kill -0 "$viewer_pid" 2>/dev/null || fail "cancelling the question still ended the viewer"

xdotool windowfocus "$window"
xdotool key alt+f
sleep 0.3
xdotool key Down Return  # Save level as...
chooser=$(wait_window "^Save level as$" 5)
[[ -n $chooser ]] || fail "Save level as opened no dialog"
sleep 0.5
xdotool key Return
for _ in $(seq 1 50); do
    [[ -f $work/cd/data/demo_edited.grf ]] && break
    sleep 0.1
done
[[ -f $work/cd/data/demo_edited.grf ]] || fail "Save level as wrote no demo_edited.grf"
sleep 0.5
grep -q "\[unsaved edits\]" <<<"$(main_title)" && fail "the title still says unsaved edits after saving"
diff_out=$("$build/wildview-inspect" diff "$work/cd/data/demo.grf" "$work/cd/data/demo_edited.grf" || true)
echo "e2e: diff of the saved level: $(head -n 3 <<<"$diff_out" | tr '\n' ' ')"
[[ $(grep -c "^moved " <<<"$diff_out") -eq 2 ]] || fail "the saved level does not show the two objects dragged: $diff_out"

# A name typed over the one offered, as a bare name, a path relative to the
# folder shown, and an absolute path: each saves that file, its extension
# added. The loaded scene file is refused at once, saying why.
keys_for() { sed 's/./& /g; s/\// slash /g; s/\./ period /g; s/_/ underscore /g; s/-/ minus /g' <<<"$1"; }
save_as() {
    xdotool windowfocus "$window"
    xdotool key alt+f
    sleep 0.3
    xdotool key Down Return
    chooser=$(wait_window "^Save level as$" 5)
    [[ -n $chooser ]] || fail "Save level as opened no dialog"
    sleep 0.5
    # shellcheck disable=SC2046
    xdotool key ctrl+a $(keys_for "$1") Return
}
mkdir -p "$work/cd/data/sub"
for typed in "bare:$work/cd/data/bare.grf" "sub/relative:$work/cd/data/sub/relative.grf" \
             "$work/absolute:$work/absolute.grf"; do
    save_as "${typed%%:*}"
    for _ in $(seq 1 50); do [[ -f ${typed#*:} ]] && break; sleep 0.1; done
    [[ -f ${typed#*:} ]] || fail "typing '${typed%%:*}' saved no ${typed#*:}"
done
save_as "demo"
refused=$(wait_window "^Choose another name$" 5)
[[ -n $refused ]] || fail "saving over the loaded scene file was not refused at once"
xdotool windowfocus --sync "$refused" key Return
sleep 0.8
xdotool key Escape  # the dialog back, with the focus: cancelled
sleep 0.5
cmp -s "$work/cd/data/demo.grf" "$work/levels_original.grf" || fail "the loaded scene file changed"

# Alt+F4 ends the program through the quit chord; nothing is left unsaved.
xdotool windowfocus "$window"
sleep 0.2
alt_f4
expect_clean_exit "Alt+F4"

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

# The saved level, opened with copies of the level's texture files under its
# name, has the lighthouse where it was left.
cp "$work/cd/data/demo-130.pid" "$work/cd/data/demo_edited-130.pid"
cp "$work/cd/data/demo-130.swp" "$work/cd/data/demo_edited-130.swp"
cd "$work/run"
viewer_out=$work/reopened.out
start_viewer "$work/cd/data/demo_edited-130.swp"
viewer_log=$work/run/debuglog.txt
wait_for_level
sleep 1
window=$(wait_window "^Wildgrove Level Viewer" 10)
[[ -n $window ]] || fail "no window for the saved level"
grep -q "Unexpected Wildgrove Event\|don't match" "$work/reopened.out" && fail "the saved level raised messages"
xdotool windowfocus "$window"
sleep 0.3
objects=$(choose_from_list lighthouse)
reopened=$(last_report "$work/reopened.out" "position:")
[[ $reopened == "$left" ]] || fail "the saved level has the lighthouse at '$reopened', not '$left'"
"$build/tests/x_close_request" "$objects"
xdotool windowfocus "$window"
sleep 0.2
alt_f4
expect_clean_exit "Alt+F4 on the saved level"
echo "e2e: the saved level has the lighthouse at '$reopened'"

cp "$work/after.png" "$build/e2e-viewer.png" 2>/dev/null || true
echo "e2e: passed (screenshot in $build/e2e-viewer.png)"
