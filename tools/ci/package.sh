#!/bin/sh
# Builds the three Debian packages (shapemark, libshapemark-dev, python3-shapemark) with CPack
# in a build folder of its own, checks their control data and file lists, installs them with
# apt-get, runs the installed tool headless on a short generated sample, imports the installed
# Python module, builds a small program against the installed library and purges the Python
# package, which must take its byte-code with it. Needs root or sudo
# (for apt-get), dpkg-dev (dpkg-shlibdeps), pkg-config and ffmpeg.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
# apt-get reads a local package as its own unprivileged user, so the folder must be readable.
chmod 755 "$scratch"
# A build folder with a path shorter than the installed RUNPATHs ("$ORIGIN/../../.."), as
# /build or /src/build are: the install must still find room to rewrite them.
build=$(mktemp -d /tmp/smXXXXXX)
chmod 755 "$build"
work="$scratch/work"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

packages="shapemark libshapemark-dev python3-shapemark"
is_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
installed_before=""
for p in $packages; do
    if is_installed "$p"; then installed_before="$installed_before $p"; fi
done

# Removes what this script installed, the dependent packages first, and leaves the others;
# purged, so that not even the state of its maintainer scripts stays behind.
cleanup() {
    remove=""
    for p in python3-shapemark libshapemark-dev shapemark; do
        case " $installed_before " in *" $p "*) continue ;; esac
        if is_installed "$p"; then remove="$remove $p"; fi
    done
    # shellcheck disable=SC2086
    [ -z "$remove" ] || $sudo dpkg --purge $remove >/dev/null || true
    rm -rf "$scratch" "$build"
}
trap cleanup EXIT

fail() {
    echo "package: FAIL: $*" >&2
    exit 1
}

for tool in cmake cpack dpkg-deb dpkg-shlibdeps ffmpeg ffprobe pkg-config c++; do
    command -v "$tool" >/dev/null || fail "$tool is missing (tools/setup.sh installs it)"
done

# 1. Build and package: only what the package and the sample need.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSHAPEMARK_TESTS=OFF \
    -DSHAPEMARK_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
if ! (cd "$build" && cpack -G DEB >"$scratch/cpack.log" 2>&1); then
    cat "$scratch/cpack.log" >&2
    fail "cpack failed"
fi
version=$(sed -n 's/^project(shapemark VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
arch=$(dpkg --print-architecture)
built=$(cd "$build" && find . -maxdepth 1 -name "*.deb" | sed "s|^\./||" | sort)
expected=$(for p in $packages; do echo "${p}_${version}_$arch.deb"; done | sort)
[ "$built" = "$expected" ] || fail "expected the packages
$expected
but CPack made
$built"
echo "package: built $(echo "$built" | tr '\n' ' ')"

# 2. Control data.
deb() { echo "$build/${1}_${version}_$arch.deb"; }
for p in $packages; do
    field() { dpkg-deb -f "$(deb "$p")" "$1"; }
    [ "$(field Package)" = "$p" ] || fail "Package is '$(field Package)', not '$p'"
    [ "$(field Version)" = "$version" ] || fail "$p: Version is '$(field Version)', not '$version'"
    [ "$(field Architecture)" = "$arch" ] || fail "$p: Architecture is '$(field Architecture)'"
    [ -n "$(field Maintainer)" ] || fail "$p: no Maintainer"
    [ "$(field Description | wc -l)" -gt 1 ] || fail "$p: no long Description"
done
depends() { dpkg-deb -f "$(deb "$1")" Depends; }
# Does package $1 depend on $2 (a regular expression for the name and version)?
needs() { depends "$1" | grep -Eq "(^|, )$2(,|$)" || fail "$1: Depends lacks $2: $(depends "$1")"; }
# dpkg-shlibdeps names the runtime library packages with a minimum version each. The image
# codecs are not among them: the snapshot has its own encoder.
for lib in core imgproc videoio highgui; do
    needs shapemark "libopencv-${lib}[0-9a-z.]* \(>= [^)]+\)"
done
needs shapemark "libc6 \(>= [^)]+\)"
needs libshapemark-dev "libopencv-dev"
needs python3-shapemark "python3 \(>= 3\.[0-9]+\)"
needs python3-shapemark "python3-numpy"
needs python3-shapemark "libopencv-core[0-9a-z.]* \(>= [^)]+\)"
for p in libshapemark-dev python3-shapemark; do
    needs "$p" "shapemark \(= $version\)"
done
for p in shapemark python3-shapemark; do
    if depends "$p" | grep -q -- "-dev"; then fail "$p: Depends names a -dev package: $(depends "$p")"; fi
done
# Packages built on the library learn from its shlibs file which package brings it.
shlibs=$(dpkg-deb --ctrl-tarfile "$(deb shapemark)" | tar -xO ./shlibs)
[ "$shlibs" = "libshapemark 1 shapemark (= $version)" ] || fail "shapemark: shlibs is '$shlibs'"
for p in $packages; do echo "package: $p Depends: $(depends "$p")"; done

# 3. File lists, besides folders: each file in exactly one package.
files() { dpkg-deb -c "$(deb "$1")" | awk '$1 !~ /^d/ { print $6 }' | sort; }
check_files() {
    expected=$(printf '%s\n' "$@" | sort)
    [ "$(files "$p")" = "$expected" ] || fail "$p: file list is:
$(files "$p")"
}
p=shapemark
check_files ./usr/bin/shapemark ./usr/share/man/man1/shapemark.1.gz \
    ./usr/share/bash-completion/completions/shapemark \
    ./usr/share/shapemark/shapemark-array.sbatch \
    ./usr/lib/libshapemark.so.1 "./usr/lib/libshapemark.so.$version"
dpkg-deb -c "$(deb shapemark)" | grep -E '^-rwxr-xr-x .* \./usr/bin/shapemark$' >/dev/null ||
    fail "./usr/bin/shapemark is not an executable file"
p=libshapemark-dev
# shellcheck disable=SC2046
check_files $(cd "$root" && find include -type f | sed 's|^|./usr/|') ./usr/lib/libshapemark.so \
    ./usr/lib/pkgconfig/shapemark.pc ./usr/lib/cmake/shapemark/shapemarkConfig.cmake \
    ./usr/lib/cmake/shapemark/shapemarkConfigVersion.cmake \
    ./usr/lib/cmake/shapemark/shapemarkTargets.cmake \
    ./usr/lib/cmake/shapemark/shapemarkTargets-release.cmake
p=python3-shapemark
site=./usr/lib/python3/dist-packages/shapemark
suffix=$(/usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')
# shellcheck disable=SC2046
check_files $(cd "$root/src/python/shapemark" && find . -type f ! -path '*__pycache__*' |
    sed "s|^\.|$site|") "$site/_shapemark$suffix"
echo "package: file lists ok"

# The page itself renders without a single warning, wherever dpkg puts man pages or not.
warnings=$(man --warnings -l "$build/man/shapemark.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the man page has warnings: $warnings"

# 4. Install them the way a user would.
# shellcheck disable=SC2046
(cd "$build" && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
    $(for p in $packages; do echo "./$(basename "$(deb "$p")")"; done) >/dev/null)
for p in $packages; do is_installed "$p" || fail "$p is not installed"; done
[ -x /usr/bin/shapemark ] || fail "/usr/bin/shapemark is missing after install"
if command -v man >/dev/null && [ -f /usr/share/man/man1/shapemark.1.gz ]; then
    warnings=$(man --warnings -l /usr/share/man/man1/shapemark.1.gz 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the installed man page has warnings: $warnings"
fi
echo "package: installed $packages"

# 5. Run the installed tool headless on 50 frames, from a folder that holds the snapshot's.
mkdir -p "$work/C:/Users/kalenvir/Desktop"
"$build/make_test_video" "$work/input.avi" --frames 50 --fps 25 --size 320x240 --scene sample
cd "$work"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    /usr/bin/shapemark input.avi marked.avi 100 1 >counter.txt 2>stderr.txt || status=$?
[ "$status" -eq 0 ] || fail "installed shapemark exited $status: $(cat stderr.txt)"
grep -q "windows are off" stderr.txt || fail "no headless notice on standard error"
# One count per read: 50 frames, then the read that finds the end.
expected=$(i=1; while [ $i -le 51 ]; do printf '%d/n' $i; i=$((i + 1)); done)
[ "$(cat counter.txt)" = "$expected" ] || fail "counter is '$(cat counter.txt)'"
errors=$(ffmpeg -nostdin -v error -i marked.avi -f null - 2>&1)
[ -z "$errors" ] || fail "marked.avi does not decode cleanly: $errors"
frames=$(ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=nb_read_frames,codec_tag_string -of csv=p=0 marked.avi)
[ "$frames" = "MP42,50" ] || fail "marked.avi holds '$frames', not MP42,50"
head -c 8 "C:/Users/kalenvir/Desktop/cage3.png" | od -An -tx1 | grep -q "89 50 4e 47" ||
    fail "no PNG snapshot"
echo "package: installed shapemark ran: 50 frames recorded, snapshot written"

# 6. The installed Python module, from Debian's python3 without any PYTHONPATH: one dark
# square on a light image is one shape.
out=$(cd / && env -u PYTHONPATH /usr/bin/python3 -c '
import numpy, shapemark
image = numpy.full((120, 160, 3), 230, numpy.uint8)
image[40:80, 60:100] = 20
print(shapemark.__file__, shapemark.__version__, len(shapemark.detect(image, 100)))') ||
    fail "import shapemark failed"
[ "$out" = "/usr/lib/python3/dist-packages/shapemark/__init__.py $version 1" ] ||
    fail "the installed module gave '$out'"
echo "package: the installed Python module detects"

# 7. A program built on the installed library, with CMake and with pkg-config.
expected=$(cat "$root/tests/downstream/expected_output.txt")
if ! { cmake -S "$root/tests/downstream" -B "$scratch/downstream" &&
    cmake --build "$scratch/downstream"; } >"$scratch/downstream.log" 2>&1; then
    cat "$scratch/downstream.log" >&2
    fail "the downstream project does not build"
fi
[ "$("$scratch/downstream/count_shapes")" = "$expected" ] ||
    fail "the downstream project printed: $("$scratch/downstream/count_shapes")"
[ "$(pkg-config --modversion shapemark)" = "$version" ] || fail "pkg-config knows no shapemark"
# shellcheck disable=SC2046
c++ -std=c++17 -o "$scratch/count_shapes" "$root/tests/downstream/count_shapes.cpp" \
    $(pkg-config --cflags --libs shapemark) || fail "the pkg-config build failed"
[ "$("$scratch/count_shapes")" = "$expected" ] ||
    fail "the pkg-config build printed: $("$scratch/count_shapes")"
echo "package: a program builds on libshapemark-dev with CMake and with pkg-config"

# 8. Byte-code: compiled by the package on install, and gone with it on purge, even after an
# import by root has had the chance to write its own.
site=/usr/lib/python3/dist-packages/shapemark
for script in postinst prerm; do
    dpkg-deb --ctrl-tarfile "$(deb python3-shapemark)" | tar -t | grep -qx "\./$script" ||
        fail "python3-shapemark has no $script for its byte-code"
done
ls "$site/__pycache__/__init__."*.pyc >/dev/null 2>&1 || fail "no byte-code compiled on install"
(cd / && env -u PYTHONDONTWRITEBYTECODE -u PYTHONPATH /usr/bin/python3 -c "import shapemark")
case " $installed_before " in *" python3-shapemark "*) ;; *)
    $sudo dpkg --purge python3-shapemark >/dev/null
    [ ! -e "$site" ] || fail "purging python3-shapemark left: $(find "$site")"
    echo "package: purging python3-shapemark leaves no byte-code" ;;
esac
echo "package: ok"
