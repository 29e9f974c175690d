#!/usr/bin/env bash
# The glTF export of a bench level with its ground (--terrain) and without
# it, runs interleaved: wall seconds and the process's peak memory.
#   bench/export.sh [BUILD] [--runs N] [--instances N]
set -euo pipefail
build=${1:-build}
[[ $# -gt 0 ]] && shift
runs=3 instances=20000
while [[ $# -gt 0 ]]; do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --instances) instances=$2; shift 2 ;;
        *) echo "usage: $0 [BUILD] [--runs N] [--instances N]" >&2; exit 2 ;;
    esac
done
export_tool=$(cd "$build" && pwd)/wildview-export
mklevel=$(cd "$build" && pwd)/wildview-mklevel
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$mklevel" bench "$work/level" --instances "$instances" >/dev/null
mkdir "$work/out"

declare -A seconds memory
kinds=(terrain objects)
for ((run = 0; run < runs; run++)); do
    for kind in "${kinds[@]}"; do
        args=("$work/level/bench-130.swp" "$work/out/$kind.glb")
        [[ $kind == terrain ]] && args+=(--terrain)
        # GNU time: elapsed seconds and the largest resident set in KiB.
        read -r s kb < <(/usr/bin/time -f "%e %M" "$export_tool" "${args[@]}" 2>&1 >/dev/null | tail -1)
        seconds[$kind]+="$s "
        memory[$kind]+="$((kb / 1024)) "
        rm -f "$work/out/$kind.glb"
    done
done
spread() {
    tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -n |
        awk -v l="$2" -v u="$3" '{v[NR]=$1} END {printf "  %-30s min %7.2f  median %7.2f  max %7.2f %s\n", l, v[1], v[int((NR+1)/2)], v[NR], u}'
}
echo "wildview-export of a $instances-object level ($runs runs, interleaved; $(nproc) cores):"
spread "${seconds[terrain]}" "with --terrain: time" s
spread "${memory[terrain]}" "with --terrain: peak memory" MiB
spread "${seconds[objects]}" "objects only: time" s
spread "${memory[objects]}" "objects only: peak memory" MiB
