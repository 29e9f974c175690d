# Shared by the end-to-end tests (sourced).
#
# Starts a virtual X server.
#   start_x_server WORK_DIR
# Xvfb picks a free display itself and writes its number once it accepts
# connections (-displayfd); until then nothing is sent to it. Sets DISPLAY
# and x_server_pid. On failure it prints the server's own output and
# returns non-zero.
start_x_server() {
    local work=$1
    local ready=$work/xvfb.display
    : >"$ready"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$ready" >"$work/xvfb.out" 2>&1 &
    x_server_pid=$!
    local number=""
    for _ in $(seq 1 300); do
        number=$(tr -dc '0-9' <"$ready")
        [[ -n $number ]] && break
        if ! kill -0 "$x_server_pid" 2>/dev/null; then
            echo "e2e: Xvfb ended before it was ready; its output:"
            cat "$work/xvfb.out"
            return 1
        fi
        sleep 0.1
    done
    if [[ -z $number ]]; then
        echo "e2e: Xvfb did not say it was ready within 30 s; its output:"
        cat "$work/xvfb.out"
        return 1
    fi
    export DISPLAY=":$number"
    # Ready means ready, but a client tool can still be refused once.
    for _ in $(seq 1 20); do
        xdotool getmouselocation >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "e2e: Xvfb on $DISPLAY accepts no clients; its output:"
    cat "$work/xvfb.out"
    return 1
}

# The id of the first visible window whose name matches the pattern, after
# waiting up to SECONDS; empty when none came.
#   wait_window PATTERN SECONDS
wait_window() {
    local id="" tries=$(( $2 * 10 ))
    for _ in $(seq 1 "$tries"); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [[ -n $id ]] && break
        sleep 0.1
    done
    echo "$id"
}

# Whether process PID ends within SECONDS.
#   ends_within PID SECONDS
ends_within() {
    for _ in $(seq 1 $(( $2 * 10 ))); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}

# Chooses Options / Renderer's n-th item from the keyboard and gives the
# picture time to change (1 Fog, 2 Terrain Shadows, 3 Object Shadows).
#   renderer_item N
renderer_item() {
    xdotool key alt+o
    sleep 0.3
    xdotool key Down Down Right
    for _ in $(seq 2 "$1"); do xdotool key Down; done
    sleep 0.3
    xdotool key Return
    sleep 1.5
}

# The Linux viewer's View / Bookmarks, its first bookmark double-clicked,
# the list closed again (the viewer's window has the focus).
#   choose_first_bookmark BUILD_DIR
choose_first_bookmark() {
    xdotool key alt+v
    sleep 0.3
    xdotool key Down Down Down Down Return  # the fourth item
    local marks
    marks=$(wait_window "^Bookmarks$" 5)
    [[ -n $marks ]] || fail "View / Bookmarks opened no list"
    window_geometry "$marks"
    xdotool mousemove $((win_x + 150)) $((win_y + 75)) click --repeat 2 --delay 80 1
    sleep 0.5
    "$1/tests/x_close_request" "$marks"
}

# Alt+F4 to whichever window has the focus, held as a user holds it.
alt_f4() {
    xdotool keydown alt keydown F4
    sleep 0.6
    xdotool keyup F4 keyup alt
}

# The viewer (viewer_pid) ends within SECONDS with exit code 0; WHAT names
# what ended it, for the failure.
#   expect_clean_exit WHAT [SECONDS]
expect_clean_exit() {
    ends_within "$viewer_pid" "${2:-10}" || fail "$1 did not end the viewer"
    local status=0
    wait "$viewer_pid" || status=$?
    viewer_pid=""
    [[ $status -eq 0 ]] || fail "exit code $status after $1"
}

# Answers the question about unsaved edits with KEYS; fails when it does
# not come within 5 s.
#   answer_unsaved_edits KEYS...
answer_unsaved_edits() {
    local question
    question=$(wait_window "^Unsaved edits$" 5)
    [[ -n $question ]] || fail "no question about the unsaved edits came"
    sleep 0.3
    xdotool windowfocus --sync "$question" 2>/dev/null || true
    xdotool key "$@"
}

# Pixels of the viewer's location label that change while W is held: the
# keyboard reaches the main window and the camera flies.
#   label_change BUILD_DIR WINDOW WORK_DIR
label_change() {
    local build=$1 window=$2 work=$3
    window_geometry "$window"
    "$build/wildview-xshot" "$work/label0.png"
    xdotool keydown w
    sleep 1.5
    xdotool keyup w
    sleep 0.5
    "$build/wildview-xshot" "$work/label1.png"
    "$build/tests/png_region_diff" "$work/label0.png" "$work/label1.png" "$win_x" "$win_y" 320 70
}

# The build folder and the viewer under test (WV_E2E_VIEWER names another
# binary, a sanitized build), the test's work folder, the clean-up on exit
# (the viewer and the X server ended, the folder removed unless KEEP_E2E=1)
# and the X server. Sets build, viewer, work, x_server_pid and viewer_pid,
# and where fail looks for the viewer's output and log (viewer_out,
# viewer_log; a test that runs the viewer elsewhere sets them again).
#   e2e_begin BUILD_DIR
e2e_begin() {
    build=$(cd "$1" && pwd)
    viewer=${WV_E2E_VIEWER:-$build/wildview}
    work=$(mktemp -d /tmp/wildview-e2e-XXXXXX)
    x_server_pid=""
    viewer_pid=""
    viewer_out=$work/viewer.out
    viewer_log=$work/debuglog.txt
    trap e2e_cleanup EXIT
    start_x_server "$work" || fail "Xvfb did not start"
}

# Starts the viewer on LEVEL (a pixel file under work/cd/data) with the data
# drive at work/cd and its settings under work/config, its output into
# viewer_out; sets viewer_pid.
#   start_viewer LEVEL
start_viewer() {
    XDG_CONFIG_HOME="$work/config" WILDGROVE_DATA_DRIVE="$work/cd/" WILDGROVE_INSTALLED_DIRECTORY="$work/cd/data/" \
        "$viewer" "$1" >"$viewer_out" 2>&1 &
    viewer_pid=$!
}

# The demo under work/levels opened from the command line, a bookmark beside
# the third house in the user's settings, the viewer settled with its help
# put away; sets viewer_pid, window and its top left wx, wy.
start_demo_with_a_bookmark() {
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
}

# Writes the demo level into DIR (made if need be).
#   write_demo DIR
write_demo() {
    mkdir -p "$1"
    "$build/wildview-mklevel" demo "$1" >/dev/null
}

e2e_cleanup() {
    [[ -n $viewer_pid ]] && kill "$viewer_pid" 2>/dev/null || true
    [[ -n $x_server_pid ]] && kill "$x_server_pid" 2>/dev/null || true
    if [[ ${KEEP_E2E:-} == 1 ]]; then echo "e2e: kept $work"; else rm -rf "$work"; fi
}

# Ends the test as failed: why, the end of the viewer's log and output, and
# any sanitizer report in the output.
fail() {
    echo "e2e: FAILED: $*"
    echo "--- debuglog.txt (end)"; tail -n 40 "$viewer_log" 2>/dev/null || true
    echo "--- viewer output (end)"; tail -n 60 "$viewer_out" 2>/dev/null || true
    if grep -qE "Sanitizer|runtime error:" "$viewer_out" 2>/dev/null; then
        echo "--- sanitizer reports"; grep -E -A40 "ERROR: [A-Za-z]+Sanitizer|runtime error:" "$viewer_out" | head -n 400
    fi
    exit 1
}

# Waits until the viewer (viewer_pid) has loaded its level, which its load
# summary in viewer_out says; fails when it ends first or takes over 60 s,
# or with WHY as soon as a window whose name matches PATTERN shows.
#   wait_for_level [PATTERN WHY]
wait_for_level() {
    for _ in $(seq 1 600); do
        grep -q "Level load time" "$viewer_out" 2>/dev/null && return 0
        kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended early"
        if [[ $# -eq 2 && -n $(xdotool search --onlyvisible --name "$1" 2>/dev/null || true) ]]; then fail "$2"; fi
        sleep 0.1
    done
    fail "the level did not load within 60 s"
}

# A window's top left on the screen and its size: win_x, win_y, win_w, win_h.
#   window_geometry WINDOW
window_geometry() {
    local geometry
    geometry=$(xdotool getwindowgeometry "$1")
    win_x=$(sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\1/p' <<<"$geometry")
    win_y=$(sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\2/p' <<<"$geometry")
    win_w=$(sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1/p' <<<"$geometry")
    win_h=$(sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\2/p' <<<"$geometry")
}

# Clicks the info dialog's Close button, at its bottom right.
#   click_dialog_close DIALOG
click_dialog_close() {
    window_geometry "$1"
    xdotool mousemove $((win_x + win_w - 45)) $((win_y + win_h - 22)) click 1
}
