#!/usr/bin/env bash
# Runs every fuzz target of a CARCONV_FUZZ build for a bounded time.
#
#   scripts/run-fuzz.sh BUILD_DIR [SECONDS] [TARGET...]
#
# Seeds come from carconv-fuzz-seeds and from the inputs kept under tests/regression/<target>;
# each target's growing corpus lives in BUILD_DIR/fuzz-corpus/<target>, which no run empties, so
# it carries over from one run to the next. Findings (crash, leak, timeout, out-of-memory inputs)
# and logs go to BUILD_DIR/fuzz-findings. Temporary files go to BUILD_DIR/fuzz-tmp, which must
# hold no working directory afterwards (only the conversion target writes files). Fails when any
# target found something. Limits: 10 s an input, 2 GB of memory, 1 GB in one allocation (far
# beyond what inputs of at most 2 MB can back: run-length textures expand at most 128-fold).
set -euo pipefail

build=${1:?usage: run-fuzz.sh BUILD_DIR [SECONDS] [TARGET...]}
seconds=${2:-30}
shift $(( $# >= 2 ? 2 : 1 ))
build=$(cd "$build" && pwd)
regression=$(cd "$(dirname "$0")/../tests/regression" && pwd)

if [ $# -gt 0 ]; then
    targets=("$@")
else
    # The list CMake wrote: names separated by ';', no line end.
    IFS=';' read -r -a targets < "$build/fuzz-targets.txt" || true
fi

export TMPDIR="$build/fuzz-tmp"
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR" "$build/fuzz-findings"
rm -rf "$build/fuzz-seeds"
"$build/fuzz/carconv-fuzz-seeds" "$build/fuzz-seeds" >/dev/null

failed=()
for target in "${targets[@]}"; do
    # Whole packages are larger than single members, and the conversion is the slowest target.
    max_len=1048576
    [ "$target" = convert ] && max_len=524288
    [ "$target" = viv_archive ] && max_len=2097152
    corpus="$build/fuzz-corpus/$target"
    log="$build/fuzz-findings/$target.log"
    mkdir -p "$corpus" "$build/fuzz-seeds/$target"
    # New inputs go to the first folder only: the seeds and the kept inputs are just read.
    seeds=("$build/fuzz-seeds/$target")
    [ -d "$regression/$target" ] && seeds+=("$regression/$target")
    status=0
    "$build/fuzz/fuzz_$target" "$corpus" "${seeds[@]}" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
        -max_len="$max_len" -artifact_prefix="$build/fuzz-findings/$target-" -print_final_stats=1 \
        >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    if [ "$status" -ne 0 ]; then
        echo "fuzz $target: FAILED (exit $status), see $log"
        grep -m5 -E 'ERROR|SUMMARY|^fuzz:|Test unit written' "$log" || true
        failed+=("$target")
    else
        echo "fuzz $target: ${runs:-?} runs, ${rate:-?}/s, no findings"
    fi
done

leftovers=$(find "$TMPDIR" -name 'carconv-*' -prune | head -5)
if [ -n "$leftovers" ]; then
    echo "fuzz: working directories left behind:"
    echo "$leftovers"
    failed+=("(leftovers)")
fi
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: findings in: ${failed[*]}"
    exit 1
fi
