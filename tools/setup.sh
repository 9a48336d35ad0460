#!/bin/sh
# Installs what is missing (Debian packages), builds, then either runs the tool on the
# bundled sample video ("demo") or runs the whole test suite ("test").
set -eu

mode=${1:-}
case "$mode" in
demo | test) ;;
*)
    echo "usage: tools/setup.sh demo|test" >&2
    exit 2
    ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

# demo: what building and running need, the Python module included; libavformat names why an
# input does not open.
packages="build-essential cmake pkg-config libopencv-dev python3 python3-dev python3-numpy
pybind11-dev libxau-dev libisal-dev zlib1g-dev libavformat-dev"
# test: the test, benchmark and packaging tools besides. mypy checks the Python stubs; the
# "Many machines" test runs the README's GNU parallel recipe, which copies with rsync; the
# snapshot's PNG is checked with pngcheck and read back with Pillow; the benchmarks run on the
# real camera footage of opencv-doc; the Slurm test starts a one-node Slurm of its own.
if [ "$mode" = test ]; then
    packages="$packages libgtest-dev libgmock-dev libbenchmark-dev ffmpeg python3-opencv
xvfb xauth xdotool x11-utils imagemagick clang libclang-rt-14-dev man-db dpkg-dev mypy
parallel rsync pngcheck python3-pil opencv-doc slurm-wlm munge"
fi

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
if [ -n "$missing" ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "installing:$missing"
    $sudo apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
fi

# The demo leaves the tests and benchmarks out, whose libraries it has not installed.
checks=OFF
[ "$mode" = demo ] || checks=ON
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSHAPEMARK_TESTS=$checks \
    -DSHAPEMARK_BENCHMARKS=$checks >/dev/null
cmake --build "$build" -j "$(nproc)"

if [ "$mode" = test ]; then
    # One virtual display for the suite; windowed tests start private ones besides, so that
    # parallel tests never share a keyboard focus.
    exec xvfb-run -a -s "-screen 0 1280x1024x24" \
        ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
fi

# demo: a 10-second sample, run from a working folder that holds the snapshot's folder.
work="$root/sample"
mkdir -p "$work/C:/Users/kalenvir/Desktop"
"$build/make_test_video" "$work/input.avi" --frames 250 --fps 25 --size 640x480 --scene sample
cd "$work"
status=0
"$build/shapemark" input.avi marked.avi 100 1 || status=$?
echo
echo "marked video: $work/marked.avi"
echo "snapshot:     $work/C:/Users/kalenvir/Desktop/cage3.png"
exit "$status"
