#!/usr/bin/env bash
# End to end: wildview.exe under Wine on the test run's X display, driven by
# xdotool, against the Linux viewer on the same level.
#   wine_viewer_e2e.sh WINDOWS_BUILD LINUX_BUILD
# The demo named on the command line opens without a prompt and shows the
# same scene as the Linux viewer at the player start; W flies; Alt+V opens
# the View menu; B opens the report; Alt+F4 closes the report and the
# viewer, which ends with exit code 0.
set -euo pipefail
win=$1
linux=$2
# shellcheck source=e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    [[ ${KEEP_E2E:-0} == 1 ]] || rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "wine e2e: $*" >&2
    echo "(pictures kept in $work)" >&2
    KEEP_E2E=1
    exit 1
}
# Paths relative to here: Wine sees them as they are.
cd "$work"
"$linux/wildview-mklevel" demo demo >/dev/null
shot() { "$linux/wildview-xshot" "$1" "$2" || fail "screenshot of window $2"; }
# A first run shows the help over the view: F1 puts it away.
settle() {
    sleep 4
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
    xdotool key F1
    sleep 2
}
height() { xdotool getwindowgeometry --shell "$1" | sed -n 's/^HEIGHT=//p'; }

# The Linux viewer's picture at the player start.
XDG_CONFIG_HOME="$work/config" "$linux/wildview" demo/demo-130.swp >linux.out 2>&1 &
pids+=($!)
window=$(wait_window "Wildgrove Level Viewer" 60)
[[ -n $window ]] || fail "the Linux viewer opened no window"
settle "$window"
shot linux.png "$window"
# The GL area lies under each window's menu bar, 800 x 600.
menu_linux=$(( $(height "$window") - 600 ))
kill "${pids[0]}"
wait "${pids[0]}" 2>/dev/null || true
sleep 1

wine "$win/wildview.exe" demo/demo-130.swp </dev/null >windows.out 2>&1 &
viewer=$!
pids+=("$viewer")
window=$(wait_window "Wildgrove Level Viewer" 90)
[[ -n $window ]] || fail "wildview.exe opened no window"
settle "$window"
shot start.png "$window"
menu_windows=$(( $(height "$window") - 600 ))
# The view between the labels at the top and the status line: the same
# scene (clouds drift and the sea moves, so only clear differences count).
differ=$("$linux/tests/png_region_diff" linux.png start.png 0 $((menu_linux + 60)) 800 480 48 0 $((menu_windows + 60)))
echo "the start view: $differ of 384000 pixels differ from the Linux viewer's by 48 or more"
(( differ < 384000 / 50 )) || fail "the start view is not the Linux viewer's ($differ pixels differ)"

xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool keydown w
sleep 1.5
xdotool keyup w
sleep 0.5
shot flown.png "$window"
moved=$("$linux/tests/png_region_diff" start.png flown.png 0 $((menu_windows + 60)) 800 480 48)
(( moved > 20000 )) || fail "W did not fly the camera ($moved pixels changed)"

xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
shot closed.png "$window"
xdotool key alt+v
sleep 1
shot menu.png "$window"
xdotool key Escape Escape
opened=$("$linux/tests/png_region_diff" closed.png menu.png 60 "$menu_windows" 200 100)
(( opened > 500 )) || fail "Alt+V opened no menu ($opened pixels changed)"

xdotool key b
info=$(wait_window "^Dialog$" 10)
[[ -n $info ]] || fail "B opened no report window"
sleep 0.5
# Held as a user holds it: the quit chord, from whichever window has the focus.
alt_f4
ends_within "$viewer" 10 || fail "Alt+F4 did not end wildview.exe"
status=0
wait "$viewer" || status=$?
[[ $status -eq 0 ]] || fail "wildview.exe ended with exit code $status"
echo "wildview.exe: opened, flew, showed its menu, reported and quit"
