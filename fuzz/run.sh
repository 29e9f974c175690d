#!/usr/bin/env bash
# Builds the fuzz targets, writes their seed corpora and runs each target.
#   fuzz/run.sh SECONDS [TARGET...]     (default: every target)
# The build goes to $WV_FUZZ_BUILD (default <repo>/build-fuzz); findings go
# to fuzz/artifacts/<target>/. Exits non-zero when any target fails.
set -euo pipefail

all_targets=(fuzz_block_file fuzz_texture_database fuzz_scene fuzz_ground fuzz_export)

if [[ $# -lt 1 || ! $1 =~ ^[0-9]+$ || $1 -eq 0 ]]; then
    echo "usage: $0 SECONDS [TARGET...]   targets: ${all_targets[*]}" >&2
    exit 2
fi
duration=$1
shift
if [[ $# -gt 0 ]]; then targets=("$@"); else targets=("${all_targets[@]}"); fi

fuzz_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$fuzz_dir")
build=${WV_FUZZ_BUILD:-$repo/build-fuzz}

max_len_of() {
    case $1 in
        fuzz_block_file) echo 65536 ;;
        fuzz_texture_database) echo 262144 ;;
        fuzz_scene | fuzz_ground | fuzz_export) echo 1048576 ;;
        *) echo "unknown target: $1 (targets: ${all_targets[*]})" >&2; return 1 ;;
    esac
}
for t in "${targets[@]}"; do max_len_of "$t" >/dev/null; done

cmake -S "$fuzz_dir" -B "$build" -DCMAKE_CXX_COMPILER="${CXX:-clang++}" >/dev/null
cmake --build "$build" -j"$(nproc)"
"$build/make_seeds" "$fuzz_dir/corpus"
# Compressed copies of a few containers: the scene file may come LZ-packed.
for seed in empty named_blocks many_blocks; do
    packed=$fuzz_dir/corpus/fuzz_block_file/$seed.lz
    cp "$fuzz_dir/corpus/fuzz_block_file/$seed.grf" "$packed"
    mscompress "$packed" && mv "${packed}_" "$packed"
done

mkdir -p "$build/logs"
failed=()
for t in "${targets[@]}"; do
    corpus=$fuzz_dir/corpus/$t
    artifacts=$fuzz_dir/artifacts/$t
    log=$build/logs/$t.log
    mkdir -p "$corpus" "$artifacts"
    echo "== $t: ${duration}s, corpus $corpus"
    # stdout of the code under test is closed (-close_fd_mask=1): the
    # loader's diagnostics would drown the fuzzer's own report on stderr.
    rc=0
    "$build/$t" -max_total_time="$duration" -rss_limit_mb=2048 -max_len="$(max_len_of "$t")" \
        -print_final_stats=1 -close_fd_mask=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1 || rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    echo "$t: executed units: ${execs:-unknown}, exit status $rc (log: $log)"
    if [[ $rc -ne 0 ]]; then
        failed+=("$t")
        grep -E '^(==[0-9]+==ERROR|SUMMARY:|fuzz_[a-z_]+:|artifact_prefix|Test unit written)' "$log" >&2 || true
    fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
    echo "findings in: ${failed[*]} (artifacts under $fuzz_dir/artifacts/)" >&2
    exit 1
fi
echo "no findings"
