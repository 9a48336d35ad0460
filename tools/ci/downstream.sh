#!/bin/sh
# Installs shapemark into a scratch prefix with `cmake --install`, then builds and runs a small
# program of someone else's on it (tests/downstream/) with CMake's find_package and with
# pkg-config. Runs the installed tool and imports the installed Python package from that
# prefix, and again once the prefix has been moved, so neither leans on LD_LIBRARY_PATH.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"
moved="$scratch/moved"

fail() {
    echo "downstream: FAIL: $*" >&2
    exit 1
}

version=$(sed -n 's/^project(shapemark VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
python=/usr/bin/python3
site="lib/python$($python -c 'import sys; print("%d.%d" % sys.version_info[:2])')/dist-packages"
expected=$(cat "$root/tests/downstream/expected_output.txt")

# The README's Release build of this checkout, when there is one, is installed once brought up to
# date: building it again would only cost minutes. Its tests are not installed.
build="$root/build"
if ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt" 2>/dev/null ||
    ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$root" "$build/CMakeCache.txt"; then
    build="$scratch/build"
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSHAPEMARK_TESTS=OFF \
        -DSHAPEMARK_BENCHMARKS=OFF >/dev/null
fi
cmake --build "$build" -j "$(nproc)" >/dev/null
cmake --install "$build" --prefix "$prefix" >/dev/null

# 1. CMake: find_package(shapemark CONFIG REQUIRED) and shapemark::shapemark.
downstream() {
    rm -rf "$scratch/cmake-build"
    cmake -S "$root/tests/downstream" -B "$scratch/cmake-build" -DCMAKE_PREFIX_PATH="$1" \
        >"$scratch/cmake.log" 2>&1 || { cat "$scratch/cmake.log" >&2; fail "configure on $1"; }
    cmake --build "$scratch/cmake-build" >"$scratch/cmake.log" 2>&1 ||
        { cat "$scratch/cmake.log" >&2; fail "build on $1"; }
    out=$("$scratch/cmake-build/count_shapes") || fail "count_shapes on $1 exited $?"
    [ "$out" = "$expected" ] || fail "count_shapes on $1 printed:
$out"
}
downstream "$prefix"
echo "downstream: CMake project built and ran on $prefix"

# 2. pkg-config, which also brings OpenCV's flags through Requires: opencv4.
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
[ "$(pkg-config --modversion shapemark)" = "$version" ] ||
    fail "pkg-config reports version '$(pkg-config --modversion shapemark)'"
libdir=$(pkg-config --variable=libdir shapemark)
# shellcheck disable=SC2046
c++ -std=c++17 -o "$scratch/count_shapes" "$root/tests/downstream/count_shapes.cpp" \
    $(pkg-config --cflags --libs shapemark) -Wl,-rpath,"$libdir" || fail "pkg-config build"
out=$("$scratch/count_shapes") || fail "the pkg-config build exited $?"
[ "$out" = "$expected" ] || fail "the pkg-config build printed:
$out"
unset PKG_CONFIG_PATH
echo "downstream: pkg-config build ran"

# 3. The installed tool and Python package load the library of their own prefix.
check_prefix() {
    env -u LD_LIBRARY_PATH ldd "$1/bin/shapemark" | grep -q "libshapemark.so.* => $1/" ||
        fail "$1/bin/shapemark does not load the library of $1"
    out=$(env -u LD_LIBRARY_PATH "$1/bin/shapemark" --version) || fail "$1/bin/shapemark failed"
    [ "$out" = "shapemark $version" ] || fail "$1/bin/shapemark --version printed '$out'"
    module=$(find "$1/$site/shapemark" -name '_shapemark*.so')
    [ -n "$module" ] || fail "no compiled module in $1/$site/shapemark"
    if env -u LD_LIBRARY_PATH ldd "$module" | grep -q "libshapemark"; then
        env -u LD_LIBRARY_PATH ldd "$module" | grep -q "libshapemark.so.* => $1/" ||
            fail "$module does not load the library of $1"
    fi
    out=$(cd / && env -u LD_LIBRARY_PATH PYTHONPATH="$1/$site" $python -c \
        'import shapemark; print(shapemark.__file__, shapemark.__version__)') ||
        fail "import shapemark from $1 failed"
    [ "$out" = "$1/$site/shapemark/__init__.py $version" ] ||
        fail "import shapemark from $1 gave '$out'"
}
check_prefix "$prefix"
mv "$prefix" "$moved"
check_prefix "$moved"
downstream "$moved"
echo "downstream: the tool and the Python package run from the prefix, and once it is moved"

# 4. Under /usr the Python package goes where Debian's own python3 packages are.
DESTDIR="$scratch/dest" cmake --install "$build" --prefix /usr >/dev/null
[ -f "$scratch/dest/usr/lib/python3/dist-packages/shapemark/__init__.py" ] ||
    fail "--prefix /usr does not put the Python package in lib/python3/dist-packages"
echo "downstream: ok"
