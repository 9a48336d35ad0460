#!/bin/sh
# Builds the libFuzzer targets with clang and runs each one for a bounded time, one after the
# other, on a seed corpus made at run time. Findings are written to BUILD/artifacts/ and make
# the script fail.
#
#   tools/fuzz.sh [SECONDS_PER_TARGET]        (default 60)
#   FUZZ_BUILD=dir  build folder              (default build-fuzz)
#   FUZZ_TARGETS="fuzz_detector"              (default: every target)
set -eu

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-"$root/build-fuzz"}
targets=${FUZZ_TARGETS:-"fuzz_parse_decimal fuzz_detector fuzz_png_encoder"}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSHAPEMARK_FUZZ=ON -DSHAPEMARK_TESTS=OFF -DSHAPEMARK_BENCHMARKS=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" --target $targets

/usr/bin/python3 "$root/fuzz/make_seeds.py" "$build/seeds"
mkdir -p "$build/artifacts"
status=0
for target in $targets; do
    seeds="$build/seeds/${target#fuzz_}"
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    log="$build/$target.log"
    echo "== $target: $seconds s"
    # The corpus folder comes first: what the run finds is kept there for the next run.
    if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$corpus" "$seeds" >"$log" 2>&1; then
        status=1
        tail -n 40 "$log"
    fi
    # The figures: executions, and libFuzzer's coverage (cov: edges, ft: features).
    grep -E '^#[0-9]+ +DONE' "$log" || grep -E '^#[0-9]+' "$log" | tail -n 1
    grep -E 'stat::(number_of_executed_units|average_exec_per_sec)' "$log" || true
done
exit "$status"
