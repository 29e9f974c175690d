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

# Pixels of the viewer's location label that change while W is held: the
# keyboard reaches the main window and the camera flies.
#   label_change BUILD_DIR WINDOW WORK_DIR
label_change() {
    local build=$1 window=$2 work=$3 geometry x y
    geometry=$(xdotool getwindowgeometry "$window")
    x=$(sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\1/p' <<<"$geometry")
    y=$(sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\2/p' <<<"$geometry")
    "$build/wildview-xshot" "$work/label0.png"
    xdotool keydown w
    sleep 1.5
    xdotool keyup w
    sleep 0.5
    "$build/wildview-xshot" "$work/label1.png"
    "$build/tests/png_region_diff" "$work/label0.png" "$work/label1.png" "$x" "$y" 320 70
}
