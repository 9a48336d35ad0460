#!/bin/sh
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer in a folder of its own, then runs
# the unit and end-to-end tests on that build through CTest, under a virtual display.
#   SANITIZE_BUILD=dir   build folder (default build-sanitize)
#   SANITIZE_TESTS=regex the CTest tests to run (default: all of them)
#   SANITIZE_SKIP=regex  the CTest tests left out (default: the Slurm and many-machines
#                        recipes, which run the same tool through a scheduler or ssh: their
#                        own code is shell, and the sanitizers see nothing new there)
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${SANITIZE_BUILD:-"$root/build-sanitize"}
jobs=$(nproc)

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSHAPEMARK_SANITIZE=ON \
    -DSHAPEMARK_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$jobs"

# Any finding in the project's code ends the process with a report and a failing status.
# Leaks are checked too; fuzz/lsan.supp names the few that belong to system libraries.
ASAN_OPTIONS="detect_leaks=1:fast_unwind_on_malloc=0:check_initialization_order=1"
LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp:print_suppressions=0"
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

exec xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 900 \
    ${SANITIZE_TESTS:+-R "$SANITIZE_TESTS"} -E "${SANITIZE_SKIP:-e2e.test_slurm|e2e.test_many_machines}"
