#!/usr/bin/env bash
# Time from the viewer's start to its first frame with the scene, as the
# viewer's debug output says it, for the demo and a bench level, runs
# interleaved on a display of their own (Xvfb).
#   bench/first_frame.sh [BUILD] [--runs N] [--instances N]
set -euo pipefail
build=${1:-build}
[[ $# -gt 0 ]] && shift
runs=5 instances=20000
while [[ $# -gt 0 ]]; do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --instances) instances=$2; shift 2 ;;
        *) echo "usage: $0 [BUILD] [--runs N] [--instances N]" >&2; exit 2 ;;
    esac
done
viewer=$(cd "$build" && pwd)/wildview
mklevel=$(cd "$build" && pwd)/wildview-mklevel
work=$(mktemp -d)
display=:$((200 + RANDOM % 500))
cleanup() {
    [[ -n ${xvfb:-} ]] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/demo" "$work/bench"
"$mklevel" demo "$work/demo" >/dev/null
"$mklevel" bench "$work/bench" --instances "$instances" >/dev/null
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done

# Seconds to the first frame, from one start of the viewer on the level.
# Each start comes on a settled machine (the last viewer's exit and its
# windows gone from the X server), and the line is waited for without
# polling, which would share the two cores with the start it measures.
first_frame() {
    local log=$work/log
    sleep 1
    : >"$log"
    HOME=$work DISPLAY=$display "$viewer" "$1" >/dev/null 2>"$log" &
    local pid=$!
    timeout 15 tail -f -n +1 "$log" | grep -q -m1 "First frame with the scene" || true
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    sed -n 's/.*First frame with the scene: \([0-9.]*\) seconds.*/\1/p' "$log" | head -1
}

declare -A times
levels=(demo bench)
for ((run = 0; run < runs; run++)); do
    for level in "${levels[@]}"; do
        t=$(first_frame "$work/$level/$level-130.swp")
        [[ -n $t ]] || { echo "no first frame on $level" >&2; exit 1; }
        times[$level]+="$t "
    done
done
echo "first frame with the scene, seconds after the start ($runs runs, interleaved; $(nproc) cores):"
for level in "${levels[@]}"; do
    label=$level
    [[ $level == bench ]] && label="bench ($instances objects)"
    tr ' ' '\n' <<<"${times[$level]}" | sed '/^$/d' | sort -n |
        awk -v l="$label" '{v[NR]=$1} END {printf "  %-22s min %.2f  median %.2f  max %.2f\n", l, v[1], v[int((NR+1)/2)], v[NR]}'
done
