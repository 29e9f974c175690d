#!/usr/bin/env bash
# End to end: a new user's first run and the info dialog, under Xvfb.
#   dialogs_e2e.sh BUILD_DIR
# Starts `wildview DIR/demo-130.swp` with no game configured at all: the
# scene file and database beside the named file open without a prompt.
# Opens the report with B and closes it: the keys reach the main window
# again. Opens it again, gives it the focus, and quits with Alt+F4.
# WV_E2E_VIEWER names another viewer binary (a sanitized build).
set -euo pipefail

# shellcheck source=e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e2e_begin "$1"
write_demo "$work/levels"
mkdir -p "$work/home"
cd "$work"
# No game: no registry, no environment variables.
env -u WILDGROVE_DATA_DRIVE -u WILDGROVE_INSTALLED_DIRECTORY HOME="$work/home" WINEPREFIX="$work/home/no-wine" \
    "$viewer" "$work/levels/demo-130.swp" >"$work/viewer.out" 2>&1 &
viewer_pid=$!
wait_for_level "Wildgrove Data Drive Not Found|Load " "a prompt came up for a level whose files lie beside it"
grep -q "Level files beside '$work/levels/demo-130.swp'" "$work/debuglog.txt" || fail "the log does not say where the files came from"
sleep 1

window=$(xdotool search --name "Wildgrove Level Viewer" | head -n 1)
[[ -n $window ]] || fail "no viewer window"
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"

# The report opens and closes; the keys come back to the main window.
xdotool key b
dialog=$(wait_window "^Dialog$" 5)
[[ -n $dialog ]] || fail "B opened no info dialog"
sleep 0.3
# Still in flying mode: the pointer, held in the main window while it had
# the focus, is free to reach the dialog.
click_dialog_close "$dialog"
sleep 0.5
[[ -z $(xdotool search --onlyvisible --name "^Dialog$" 2>/dev/null || true) ]] || fail "Close did not close the info dialog"
changed=$(label_change "$build" "$window" "$work")
echo "e2e: after the dialog closed, holding W changed $changed pixels of the location label"
[[ $changed -gt 20 ]] || fail "keys typed after closing the dialog did not reach the main window"

# Alt+F4 while the report has the focus ends the program.
xdotool key b
dialog=$(wait_window "^Dialog$" 5)
[[ -n $dialog ]] || fail "B opened no info dialog the second time"
xdotool windowfocus --sync "$dialog" 2>/dev/null || xdotool windowfocus "$dialog"
sleep 0.3
[[ $(xdotool getwindowfocus) == "$dialog" ]] || fail "the info dialog does not have the focus"
alt_f4
expect_clean_exit "Alt+F4 with the info dialog focused"
[[ $(tail -c 200 "$work/debuglog.txt") == *KillTerrain* ]] || fail "the log does not end with the unload"
echo "e2e: passed"
