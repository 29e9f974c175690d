#!/usr/bin/env bash
# End to end: placing by numbers and measuring, on the demo under Xvfb.
#   modder_tools_e2e.sh BUILD_DIR
# From a bookmark beside the third house, in selection mode: a click picks
# the house; Edit / Placement (Ctrl+P) shows its numbers, a typed x and yaw
# move and turn it (the title marks the edit), Copy puts the six numbers on
# the system's clipboard; Ctrl+Z puts it back. Shift+Ctrl clicks on the wall
# and on the standing stone beside it measure between them: the log gives
# the figures and a line is drawn until Escape. View / Textures, filtered to the bricks:
# choosing them shows the picture, counts their users and marks the house
# in the view until the picture closes; Save as PNG writes an indexed
# picture. Alt+F4 with the edit redone asks; No quits.
set -euo pipefail

# shellcheck source=e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e2e_begin "$1"
start_demo_with_a_bookmark
xdotool key Escape  # selection mode
sleep 0.3
choose_first_bookmark "$build"
xdotool windowfocus "$window"
sleep 1

shot() { "$build/wildview-xshot" "$work/$1.png" || fail "screenshot"; }
title() { xdotool getwindowname "$window"; }

# ---- placement ----
xdotool mousemove $((wx + 350)) $((wy + 230)) click 1
sleep 1
grep "^Instance: " "$work/viewer.out" | tail -n 1 | grep -q "house_003" || fail "the click did not select the house"
xdotool key ctrl+p
form=$(wait_window "^Placement of house_003" 5)
[[ -n $form ]] || fail "Ctrl+P opened no placement window"
sleep 0.3
xdotool windowfocus --sync "$form" 2>/dev/null || true
# The x field has the keys, its text selected: typing replaces it. Tab
# three times reaches the yaw.
xdotool type --delay 30 -- "-80.5"
xdotool key Tab Tab Tab
xdotool type --delay 30 "45"
xdotool key Return
sleep 1
[[ -z $(xdotool search --onlyvisible --name "^Placement of" 2>/dev/null || true) ]] || fail "OK left the placement window open"
placed=$(grep "^Placed house_003" "$work/debuglog.txt" | tail -n 1 || true)
echo "e2e: $placed"
[[ $placed == *" at -80.5 -58 "*" 45 0 0" ]] || fail "the typed placement was not taken: '$placed'"
[[ $(title) == *"[unsaved edits]"* ]] || fail "the title does not mark the edit: $(title)"

# Copy: the six numbers on the system's clipboard, read by another program.
xdotool key ctrl+p
form=$(wait_window "^Placement of house_003" 5)
[[ -n $form ]] || fail "Ctrl+P opened no placement window the second time"
sleep 0.3
window_geometry "$form"
xdotool mousemove $((win_x + 40)) $((win_y + win_h - 22)) click 1  # Copy, bottom left
sleep 0.5
clip=$(timeout 5 xclip -o -selection clipboard 2>/dev/null || true)
echo "e2e: the clipboard holds '$clip'"
[[ $clip == "-80.5 -58 "*" 45 0 0" ]] || fail "Copy put '$clip' on the clipboard"
xdotool windowfocus --sync "$form" 2>/dev/null || true
xdotool key Escape
sleep 0.5
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key ctrl+z
sleep 1
[[ $(title) != *"[unsaved edits]"* ]] || fail "Ctrl+Z did not undo the placement: $(title)"

# ---- measuring ----
shot unmeasured
before=$(grep -c "^Measured from" "$work/debuglog.txt" || true)
xdotool keydown shift keydown ctrl
xdotool mousemove $((wx + 450)) $((wy + 200)) click 1  # the house's wall
sleep 0.5
xdotool mousemove $((wx + 560)) $((wy + 200)) click 1  # the standing stone beside it
sleep 0.5
xdotool keyup ctrl keyup shift
sleep 1
measured=$(grep "^Measured from" "$work/debuglog.txt" | tail -n 1 || true)
echo "e2e: $measured"
[[ $(grep -c "^Measured from" "$work/debuglog.txt" || true) -eq $((before + 1)) ]] || fail "two measuring clicks logged no measure"
[[ $measured =~ Distance\ ([0-9.]+) ]] || fail "no distance in '$measured'"
distance=${BASH_REMATCH[1]}
# A few units from the wall to the stone; the ground behind it would be far.
awk -v d="$distance" 'BEGIN { exit !(d > 1 && d < 15) }' || fail "a measure from the wall to the stone gave $distance"
grep "^Instance: " "$work/viewer.out" | tail -n 1 | grep -q "house_003" || fail "measuring changed the selection"
shot measured
line=$("$build/tests/png_region_diff" "$work/unmeasured.png" "$work/measured.png" $((wx + 430)) $((wy + 180)) 150 40 60)
echo "e2e: the measure changed $line pixels between its ends"
[[ $line -gt 60 ]] || fail "no line was drawn between the measured points"
xdotool key Escape
sleep 1
shot cleared
gone=$("$build/tests/png_region_diff" "$work/unmeasured.png" "$work/cleared.png" $((wx + 430)) $((wy + 180)) 150 40 60)
echo "e2e: after Escape $gone pixels differ"
[[ $gone -lt 20 ]] || fail "Escape left the measure drawn ($gone pixels)"

# ---- the texture browser ----
# View / Textures, the second item; "bricks" in the filter leaves the two
# stored sizes, the one in use (entry 30) first.
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
shot unmarked
xdotool key alt+v
sleep 0.3
xdotool key Down Down Return
browser=$(wait_window "^Textures$" 5)
[[ -n $browser ]] || fail "View / Textures opened no list"
xdotool windowmove "$browser" 600 660  # below the view, which the marks are looked for in
sleep 0.5
window_geometry "$browser"
bx=$win_x
by=$win_y
# Without a window manager a click gives no window the keyboard: asked for.
xdotool windowfocus --sync "$browser" 2>/dev/null || true
xdotool mousemove $((bx + 300)) $((by + 20)) click 1  # the filter
sleep 0.3
xdotool type --delay 50 bricks
sleep 0.5
xdotool mousemove $((bx + 150)) $((by + 80)) click --repeat 2 --delay 80 1  # the first row
picture=$(wait_window "^Texture 30: demo.bricks \\(128 x 128\\)$" 5)
[[ -n $picture ]] || fail "choosing the bricks showed no picture ($(xdotool search --onlyvisible --name '^Texture' getwindowname 2>/dev/null))"
grep -q "^Texture 30 (demo.bricks): 1 models, 3 objects use it" "$work/debuglog.txt" || fail "the bricks' users were not counted"
# The house's objects marked in the view: its wall's pixels change.
sleep 1
xdotool windowfocus "$window"
sleep 1
shot marked
marked=$("$build/tests/png_region_diff" "$work/unmarked.png" "$work/marked.png" $((wx + 150)) $((wy + 60)) 450 300 60)
echo "e2e: the marks around the house changed $marked pixels"
[[ $marked -gt 300 ]] || fail "the house was not marked in the view"
# Save as PNG, the name offered: an indexed picture beside the level.
window_geometry "$picture"
xdotool mousemove $((win_x + win_w - 68)) $((win_y + win_h - 20)) click 1
chooser=$(wait_window "^Save texture as PNG$" 5)
[[ -n $chooser ]] || fail "Save as PNG opened no dialog"
sleep 0.5
xdotool key Return
for _ in $(seq 1 50); do [[ -s $work/levels/bricks.png ]] && break; sleep 0.1; done
[[ -s $work/levels/bricks.png ]] || fail "Save as PNG wrote no bricks.png"
[[ $(od -An -t u1 -j 25 -N 1 "$work/levels/bricks.png" | tr -d ' ') == 3 ]] || fail "bricks.png is not an indexed picture"
echo "e2e: Save as PNG wrote bricks.png, $(stat -c %s "$work/levels/bricks.png") bytes, indexed"
# The picture closed, the marks go.
"$build/tests/x_close_request" "$picture"
"$build/tests/x_close_request" "$browser"
sleep 1
xdotool windowfocus "$window"
sleep 1
shot unmarked_again
left=$("$build/tests/png_region_diff" "$work/unmarked.png" "$work/unmarked_again.png" $((wx + 150)) $((wy + 60)) 450 300 60)
[[ $left -lt 20 ]] || fail "the marks stayed after the picture closed ($left pixels)"
rm -f "$work/levels/bricks.png"

# ---- quitting with the placement redone: asked, No ----
xdotool key ctrl+y
sleep 0.5
alt_f4
answer_unsaved_edits Tab space  # No
expect_clean_exit "No"
[[ -z $(ls "$work/levels" | grep -v '^demo') ]] || fail "quitting without saving wrote a file"
echo "e2e: passed"
