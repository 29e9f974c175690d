#!/usr/bin/env bash
# End to end: a corrupted scene file under Xvfb. Its load raises about 1 200
# "Unexpected Wildgrove Event" messages: the viewer shows the first few as
# boxes and one box for the rest, stays usable and closes on request.
# Then again, closing the main window while the first box is up: the
# request is honoured once the box is answered.
#   corrupt_level_e2e.sh BUILD_DIR
# WV_E2E_VIEWER names another viewer binary (a sanitized build).
set -euo pipefail

# shellcheck source=e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e2e_begin "$1"
viewer_out=$work/run/viewer.out
viewer_log=$work/run/debuglog.txt
write_demo "$work/levels"
"$build/tests/corrupt_meshes" "$work/levels/demo.grf" 512 7 || fail "could not damage the scene file"

boxes_pattern="^(Unexpected Wildgrove Event|NOTE|ERROR)$"

start_viewer() {
    rm -rf "$work/run"
    mkdir -p "$work/run"
    cd "$work/run"
    "$viewer" "$work/levels/demo-130.swp" >"$work/run/viewer.out" 2>&1 &
    viewer_pid=$!
    cd "$work"
}

# ---- answered box by box ----
start_viewer
shown=()
quiet=0
for _ in $(seq 1 1200); do
    box=$(xdotool search --onlyvisible --name "$boxes_pattern" 2>/dev/null | head -n 1 || true)
    if [[ -n $box ]]; then
        shown+=("$(xdotool getwindowname "$box")")
        xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
        # Until this box has gone, do not count it again.
        for _ in $(seq 1 50); do
            xdotool search --onlyvisible --name "$boxes_pattern" 2>/dev/null | grep -qx "$box" || break
            sleep 0.1
        done
        quiet=0
        continue
    fi
    kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended during the load"
    if grep -q "Level load time" "$work/run/viewer.out"; then
        quiet=$((quiet + 1))
        [[ $quiet -ge 15 ]] && break
    fi
    sleep 0.1
done
grep -q "Level load time" "$work/run/viewer.out" || fail "the level did not load"
echo "e2e: ${#shown[@]} boxes shown: ${shown[*]}"
collected=$(grep -c "^WARNING: Unexpected Wildgrove Event: " "$work/run/debuglog.txt" || true)
echo "e2e: $collected messages went to the log instead"
[[ ${#shown[@]} -eq 6 ]] || fail "expected 5 boxes and one for the rest, saw ${#shown[@]}"
[[ ${shown[5]} == NOTE ]] || fail "the last box is not the note about the rest"
[[ $collected -ge 100 ]] || fail "only $collected messages reached the log"
grep -q "^$collected more messages of this level load were not shown" "$work/run/debuglog.txt" ||
    fail "the log does not count the messages it holds"

window=$(xdotool search --name "Wildgrove Level Viewer" | head -n 1)
[[ -n $window ]] || fail "no viewer window"
changed=$(label_change "$build" "$window" "$work")
echo "e2e: after the boxes, holding W changed $changed pixels of the location label"
[[ $changed -gt 20 ]] || fail "the viewer did not take keys after the boxes"
"$build/tests/x_close_request" "$window"
expect_clean_exit "the close request"

# ---- closed while the first box is up ----
start_viewer
box=$(wait_window "$boxes_pattern" 60)
[[ -n $box ]] || fail "no box came up the second time"
window=$(xdotool search --name "Wildgrove Level Viewer" | head -n 1)
"$build/tests/x_close_request" "$window"
sleep 0.5
xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
expect_clean_exit "a close request made while a box was up" 30
[[ -z $(xdotool search --onlyvisible --name "$boxes_pattern" 2>/dev/null || true) ]] || fail "a box is still up"
later=$(grep -c "^WARNING: Unexpected Wildgrove Event: " "$work/run/debuglog.txt" || true)
echo "e2e: closed during the first box: the other $later messages went to the log"
[[ $later -ge 100 ]] || fail "the messages after the close request did not reach the log"
echo "e2e: passed"
