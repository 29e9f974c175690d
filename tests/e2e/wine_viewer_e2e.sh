#!/usr/bin/env bash
# End to end: wildview.exe under Wine on the test run's X display, driven by
# xdotool, against the Linux viewer on the same level.
#   wine_viewer_e2e.sh WINDOWS_BUILD LINUX_BUILD
# With no level named, the game's folders come from its registry entries
# (written with reg.exe, in the 32-bit view as its installer writes them):
# the level chosen in the open dialog loads from them; with the data folder
# missing, the CD prompt comes first. The demo named on the command line
# opens without a prompt and shows the same scene as the Linux viewer at the
# player start; W flies; Alt+V opens the View menu; B opens the report;
# Alt+F4 held ends the viewer, which ends with exit code 0.
set -euo pipefail
win=$1
linux=$2
# shellcheck source=e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"

work=$(mktemp -d)
pids=()
game_key='HKLM\Software\Larkspur Interactive\Wildgrove'
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wine reg delete "$game_key" /f /reg:32 </dev/null >/dev/null 2>&1 || true
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
# Gives WINDOW the keyboard focus; a window that has gone fails the test.
focus() {
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1" 2>/dev/null ||
        fail "window $1 is gone ($(tail -n 3 linux.out windows.out game/viewer.out 2>/dev/null | tr '\n' ' '))"
}
# Waits for the viewer's window to settle (sets window: the toolkit may
# replace the first one it maps); a first run shows the help over the view,
# and F1 puts it away.
settle() {
    sleep 4
    window=$(wait_window "Wildgrove Level Viewer" 10)
    [[ -n $window ]] || fail "the viewer's window went away"
    focus "$window"
    xdotool key F1
    sleep 2
}
height() { xdotool getwindowgeometry --shell "$1" | sed -n 's/^HEIGHT=//p'; }

# The game as its installer leaves it: the data on the "CD", the pixel
# files in the installation folder.
mkdir -p game/cd/data game/installed
cp demo/demo.grf demo/demo-130.pid game/cd/data/
cp demo/demo-130.swp game/installed/
wine reg add "$game_key" /v "Data Drive" /d "$(winepath -w game/cd/)" /f /reg:32 </dev/null >reg.out 2>&1 ||
    fail "reg add: $(cat reg.out)"
wine reg add "$game_key" /v "Installed Directory" /d "$(winepath -w game/installed/)" /f /reg:32 </dev/null >reg.out 2>&1 ||
    fail "reg add: $(cat reg.out)"
start_viewer() {
    (cd game && wine "$win/wildview.exe" "$@" </dev/null >viewer.out 2>&1) &
    viewer=$!
    pids+=("$viewer")
}
start_viewer
chooser=$(wait_window "^Load Wildgrove Level" 60)
[[ -n $chooser ]] || fail "no level chooser came up from the registry's folders"
sleep 1
focus "$chooser"
xdotool type demo-130.swp
xdotool key Return
window=$(wait_window "Wildgrove Level Viewer" 60)
[[ -n $window ]] || fail "the level chosen from the registry's folders did not open"
grep -aF "Data path:" game/debuglog.txt | grep -qF 'game\cd\data\' ||
    fail "the log does not name the registry's data path: $(grep -a 'Data path' game/debuglog.txt)"
sleep 3
focus "$window"
alt_f4
ends_within "$viewer" 20 || fail "Alt+F4 did not end the viewer opened through the registry"

# The data folder gone (the CD not in the drive): the prompt comes.
mv game/cd game/cd-out
start_viewer
prompt=$(wait_window "^Wildgrove Data Drive Not Found$" 60)
[[ -n $prompt ]] || fail "no CD prompt for a missing data folder"
# Cancel: the files are chosen by hand; cancelling that too ends the viewer.
focus "$prompt"
xdotool key Escape
chooser=$(wait_window "^Load Wildgrove Level" 30)
[[ -n $chooser ]] || fail "cancelling the CD prompt brought no chooser"
sleep 1
focus "$chooser"
xdotool key Escape
ends_within "$viewer" 20 || fail "cancelling the chooser did not end the viewer"

# The Linux viewer's picture at the player start.
XDG_CONFIG_HOME="$work/config" "$linux/wildview" demo/demo-130.swp >linux.out 2>&1 &
linux_viewer=$!
pids+=("$linux_viewer")
window=$(wait_window "Wildgrove Level Viewer" 60)
[[ -n $window ]] || fail "the Linux viewer opened no window"
settle
shot linux.png "$window"
# The GL area lies under each window's menu bar, 800 x 600.
menu_linux=$(( $(height "$window") - 600 ))
kill "$linux_viewer"
wait "$linux_viewer" 2>/dev/null || true
sleep 1

wine "$win/wildview.exe" demo/demo-130.swp </dev/null >windows.out 2>&1 &
viewer=$!
pids+=("$viewer")
window=$(wait_window "Wildgrove Level Viewer" 90)
[[ -n $window ]] || fail "wildview.exe opened no window"
settle
shot start.png "$window"
menu_windows=$(( $(height "$window") - 600 ))
# The view between the labels at the top and the status line: the same
# scene (clouds drift and the sea moves, so only clear differences count).
differ=$("$linux/tests/png_region_diff" linux.png start.png 0 $((menu_linux + 60)) 800 480 48 0 $((menu_windows + 60)))
echo "the start view: $differ of 384000 pixels differ from the Linux viewer's by 48 or more"
(( differ < 384000 / 50 )) || fail "the start view is not the Linux viewer's ($differ pixels differ)"

focus "$window"
xdotool keydown w
sleep 1.5
xdotool keyup w
sleep 0.5
shot flown.png "$window"
moved=$("$linux/tests/png_region_diff" start.png flown.png 0 $((menu_windows + 60)) 800 480 48)
(( moved > 20000 )) || fail "W did not fly the camera ($moved pixels changed)"

focus "$window"
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
