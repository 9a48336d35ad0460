#!/bin/sh
# Builds with ThreadSanitizer in a folder of its own, then runs the unit and end-to-end tests on
# that build through CTest, under a virtual display.
#   TSAN_BUILD=dir   build folder (default build-tsan)
#   TSAN_TESTS=regex the CTest tests to run (default: all of them)
#   TSAN_SKIP=regex  the CTest tests left out (default: the Slurm and many-machines recipes, as
#                    in sanitize.sh)
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${TSAN_BUILD:-"$root/build-tsan"}
tests=${TSAN_TESTS:-.}
jobs=$(nproc)

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSHAPEMARK_TSAN=ON \
    -DSHAPEMARK_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$jobs"

# The first report ends the process with status 66, which fails its test. Reports also go to
# files, so that one from a run whose status a test does not check still fails this script.
# fuzz/tsan.supp names the system libraries whose own locking TSan cannot see.
reports="$build/tsan-reports"
rm -rf "$reports"
mkdir -p "$reports"
TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:history_size=4"
TSAN_OPTIONS="$TSAN_OPTIONS:suppressions=$root/fuzz/tsan.supp:log_path=$reports/report"
export TSAN_OPTIONS

status=0
xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 900 -R "$tests" \
        -E "${TSAN_SKIP:-e2e.test_slurm|e2e.test_many_machines}" ||
    status=$?

for report in "$reports"/report.*; do
    [ -e "$report" ] || continue
    echo "== ThreadSanitizer: $report"
    cat "$report"
    status=1
done
exit "$status"
