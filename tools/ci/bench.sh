#!/bin/sh
# Benchmarks in CI: build them if needed, run every stage benchmark once, briefly, at the
# smallest size, then the end-to-end comparison and the soak in tiny smoke runs. This proves
# the benchmarks and scripts work; nothing about timing is asserted.
set -eu
cd "$(dirname "$0")/../.."
build=${SHAPEMARK_BUILD:-build}  # the Release build that CI made before this check

if [ ! -x "$build/bench/stage_benchmarks" ] || [ ! -x "$build/shapemark" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSHAPEMARK_BENCHMARKS=ON >/dev/null
    cmake --build "$build" -j "$(nproc)" --target stage_benchmarks shapemark make_test_video
fi

echo "-- stage benchmarks (640x480 and the counter, once each)"
/usr/bin/python3 bench/stage_report.py --build "$build" --repetitions 1 --min-time 0.01 \
    --filter '640x480|counter'

echo "-- end-to-end comparison (smoke)"
/usr/bin/python3 bench/compare.py --build "$build" --smoke

if [ -x "$build/bench/api_benchmarks" ] && [ -d "$build/python/shapemark" ]; then
    echo "-- the Python module against the library (smoke, on a generated video)"
    scratch=$(mktemp -d)
    "$build/make_test_video" "$scratch/api.avi" --frames 4 --fps 25 --size 768x576 --scene sample
    PYTHONPATH="$build/python" /usr/bin/python3 bench/python_api.py --build "$build" \
        --video "$scratch/api.avi" --frames 4 --rounds 1 --seconds 0.05
    rm -rf "$scratch"
fi

echo "-- soak (smoke: 300 frames; the memory verdict of so short a run is only printed)"
status=0
sh bench/soak.sh "$build" 300 || status=$?
# 3 is the soak's "target missed", which a 300-frame run cannot judge; anything else fails.
[ "$status" -eq 0 ] || [ "$status" -eq 3 ]
