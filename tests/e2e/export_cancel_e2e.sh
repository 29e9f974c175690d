#!/usr/bin/env bash
# End to end: the exports of a 20 000-object level from the viewer's File
# menu show their progress and stop on Cancel (Escape in the progress window)
# without leaving a file; the map exported whole afterwards has the default
# size. Under Xvfb, driven by xdotool.
#   export_cancel_e2e.sh BUILD_DIR
set -euo pipefail

for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed (scripts/setup.sh installs it)"; exit 1; }
done

# shellcheck source=e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e2e_begin "$1"

data=$work/cd/data
mkdir -p "$data"
"$build/wildview-mklevel" bench "$data" --instances 20000 >/dev/null
cd "$work"
start_viewer "$data/bench-130.swp"
wait_for_level
sleep 1
window=$(wait_window "^Wildgrove Level Viewer" 10)
[[ -n $window ]] || fail "no viewer window"
before=$(ls -A "$data")

# Starts the export at the File menu's Nth item, taking the name offered.
#   start_export N CAPTION
start_export() {
    xdotool windowfocus "$window"
    sleep 0.3
    xdotool key alt+f
    sleep 0.3
    # shellcheck disable=SC2046
    xdotool key $(printf 'Down %.0s' $(seq 1 "$1")) Return
    local chooser
    chooser=$(wait_window "^$2\$" 5)
    [[ -n $chooser ]] || fail "$2 opened no dialog"
    sleep 0.5
    xdotool key Return
}

# Escape in the progress window; it goes, and nothing is left behind.
#   cancel_export WHAT
cancel_export() {
    local progress
    progress=$(wait_window "^Working$" 10)
    [[ -n $progress ]] || fail "$1 showed no progress window"
    sleep 0.5
    xdotool windowfocus --sync "$progress" 2>/dev/null || true
    # The press cancels and the window can be gone before the release is
    # sent (xdotool then fails); whether it went is checked below. A press
    # that came before the window had the focus is lost: pressed again.
    for _ in 1 2 3 4 5; do
        xdotool key --window "$progress" Escape 2>/dev/null || true
        for _ in $(seq 1 20); do
            [[ -z $(xdotool search --onlyvisible --name "^Working$" 2>/dev/null || true) ]] && break
            sleep 0.05
        done
        [[ -z $(xdotool search --onlyvisible --name "^Working$" 2>/dev/null || true) ]] && break
    done
    [[ -z $(xdotool search --onlyvisible --name "^Working$" 2>/dev/null || true) ]] ||
        fail "the progress window of $1 stayed after Escape"
    sleep 0.5
    kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended when $1 was cancelled"
    [[ $(ls -A "$data") == "$before" ]] || fail "$1 cancelled left files: $(ls -A "$data" | tr '\n' ' ')"
    [[ -z $(xdotool search --onlyvisible --name "^Export" 2>/dev/null || true) ]] ||
        fail "$1 cancelled still showed a box"
    echo "e2e: $1 cancelled, nothing written"
}

start_export 3 "Export overview map"
cancel_export "the map's export"
grep -q "The map export was cancelled: nothing was written." "$viewer_log" || fail "the log says nothing of the map's cancel"

start_export 2 "Export glTF"
cancel_export "the glTF export"
grep -q "The glTF export was cancelled: nothing was written." "$viewer_log" || fail "the log says nothing of the glTF's cancel"

# Not cancelled, the map is written whole at its default size.
start_export 3 "Export overview map"
box=$(wait_window "^Export overview map$" 120)
[[ -n $box ]] || fail "the map's export did not finish"
[[ -f $data/bench-map.png ]] || fail "the map's export wrote no bench-map.png"
size=$(od -An -tu1 -j16 -N8 "$data/bench-map.png" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}')
[[ $size == 4096x4096 ]] || fail "the map is $size, not 4096x4096"
echo "e2e: the whole map is $size, $(stat -c %s "$data/bench-map.png") bytes"
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key Return
sleep 0.5

xdotool windowfocus "$window"
sleep 0.3
alt_f4
expect_clean_exit "Alt+F4" 20
echo "e2e: passed"
