#!/usr/bin/env bash
# End to end: placing by numbers and measuring, on the demo under Xvfb.
#   modder_tools_e2e.sh BUILD_DIR
# From a bookmark beside the third house, in selection mode: a click picks
# the house; Edit / Placement (Ctrl+P) shows its numbers, a typed x and yaw
# move and turn it (the title marks the edit), Copy puts the six numbers on
# the system's clipboard; Ctrl+Z puts it back. Shift+Ctrl clicks on the wall
# and on the ground measure between them: the log gives the figures and a
# line is drawn until Escape. Alt+F4 with the edit redone asks; No quits.
set -euo pipefail

# shellcheck source=e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e2e_begin "$1"
write_demo "$work/levels"
mkdir -p "$work/config/wildview"
printf 'wildview bookmarks 1\n-96 -56 8 100 12 by the third house\n' >"$work/config/wildview/bookmarks-demo.txt"
cd "$work"
XDG_CONFIG_HOME="$work/config" "$viewer" "$work/levels/demo-130.swp" >"$work/viewer.out" 2>&1 &
viewer_pid=$!
wait_for_level
sleep 1
window=$(wait_window "^Wildgrove Level Viewer" 10)
[[ -n $window ]] || fail "no viewer window"
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
window_geometry "$window"
wx=$win_x
wy=$win_y
xdotool key F1  # the help away
sleep 0.2
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
xdotool mousemove $((wx + 450)) $((wy + 200)) click 1  # the wall
sleep 0.5
xdotool mousemove $((wx + 150)) $((wy + 420)) click 1  # the ground in front
sleep 0.5
xdotool keyup ctrl keyup shift
sleep 1
measured=$(grep "^Measured from" "$work/debuglog.txt" | tail -n 1 || true)
echo "e2e: $measured"
[[ $(grep -c "^Measured from" "$work/debuglog.txt" || true) -eq $((before + 1)) ]] || fail "two measuring clicks logged no measure"
[[ $measured =~ Distance\ ([0-9.]+) ]] || fail "no distance in '$measured'"
distance=${BASH_REMATCH[1]}
awk -v d="$distance" 'BEGIN { exit !(d > 1 && d < 60) }' || fail "a measure across the yard gave $distance"
grep "^Instance: " "$work/viewer.out" | tail -n 1 | grep -q "house_003" || fail "measuring changed the selection"
shot measured
line=$("$build/tests/png_region_diff" "$work/unmeasured.png" "$work/measured.png" $((wx + 150)) $((wy + 200)) 300 220 60)
echo "e2e: the measure changed $line pixels between its ends"
[[ $line -gt 150 ]] || fail "no line was drawn between the measured points"
xdotool key Escape
sleep 1
shot cleared
gone=$("$build/tests/png_region_diff" "$work/unmeasured.png" "$work/cleared.png" $((wx + 150)) $((wy + 200)) 300 220 60)
echo "e2e: after Escape $gone pixels differ"
[[ $gone -lt 20 ]] || fail "Escape left the measure drawn ($gone pixels)"

# ---- quitting with the placement redone: asked, No ----
xdotool key ctrl+y
sleep 0.5
alt_f4
answer_unsaved_edits Tab space  # No
expect_clean_exit "No"
[[ -z $(ls "$work/levels" | grep -v '^demo') ]] || fail "quitting without saving wrote a file"
echo "e2e: passed"
