#!/usr/bin/env bash
# End to end: the shadows of the demo level under Xvfb.
#   shadows_e2e.sh BUILD_DIR
# A bookmark in the user's configuration (the viewer reads it as it would
# one of its own) puts the camera beside the third house, whose yard has a
# standing stone. From the menu: Object Shadows on darkens the house's wall
# and nothing on the ground; Terrain Shadows off lightens the ground under
# the house and leaves the wall; back on, the ground is as it was. Dragging
# the house takes its shadow along. Alt+F4, with the drag unsaved, asks; No
# quits.
# WV_E2E_VIEWER names another viewer binary (a sanitized build).
set -euo pipefail

# shellcheck source=e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e2e_begin "$1"
start_demo_with_a_bookmark
xdotool key Escape  # selection mode: the pointer is free
sleep 0.3

choose_first_bookmark "$build"
xdotool windowfocus "$window"
xdotool mousemove $((wx + 790)) $((wy + 300))
sleep 1.5

shot() { "$build/wildview-xshot" "$work/$1.png" || fail "screenshot"; }
# Pixels that differ by more than 30 in the house's wall (right of the
# middle) and in the ground under the house's shadow (left of it). The wall's
# rectangle ends a few pixels short of the gap between the wall and the
# stone, where the sky's clouds drift on their own from one shot to the next.
wall() { "$build/tests/png_region_diff" "$work/$1.png" "$work/$2.png" $((wx + 440)) $((wy + 155)) 68 135 30; }
ground() { "$build/tests/png_region_diff" "$work/$1.png" "$work/$2.png" $((wx + 140)) $((wy + 260)) 85 35 30; }

shot plain
renderer_item 3
shot objects
echo "e2e: object shadows on: wall $(wall plain objects), ground $(ground plain objects)"
[[ $(wall plain objects) -gt 300 ]] || fail "Object Shadows put no shadow on the house's wall"
[[ $(ground plain objects) -eq 0 ]] || fail "Object Shadows changed the ground"

renderer_item 2
shot unbaked
echo "e2e: terrain shadows off: wall $(wall objects unbaked), ground $(ground objects unbaked)"
[[ $(ground objects unbaked) -gt 300 ]] || fail "Terrain Shadows off left the house's shadow on the ground"
[[ $(wall objects unbaked) -eq 0 ]] || fail "Terrain Shadows changed the wall"
renderer_item 2
shot rebaked
[[ $(ground objects rebaked) -eq 0 ]] || fail "Terrain Shadows on again did not bake the ground as it was"

# Drag the house by its wall: the ground where its shadow lay is lit.
before=$(grep -c "^Select: " "$work/viewer.out" || true)
xdotool mousemove $((wx + 350)) $((wy + 230)) mousedown 1
for _ in $(seq 1 12); do
    xdotool mousemove_relative -- 5 0
    sleep 0.05
done
xdotool mouseup 1
sleep 2
[[ $(grep -c "^Select: " "$work/viewer.out" || true) -gt $before ]] || fail "the click selected nothing"
grep "^Instance: " "$work/viewer.out" | tail -n 1 | grep -q "house_003" || fail "the click did not select the house"
shot dragged
echo "e2e: dragging the house changed $(ground rebaked dragged) pixels of the ground under its shadow"
[[ $(ground rebaked dragged) -gt 300 ]] || fail "the house's shadow did not move with it"

# Alt+F4 asks about the drag; No quits without saving.
alt_f4
answer_unsaved_edits Tab space  # No
expect_clean_exit "No"
[[ -z $(ls "$work/levels" | grep -v '^demo') ]] || fail "quitting without saving wrote a file"
echo "e2e: passed"
