#!/bin/sh
# Builds the Debian package with CPack in a build folder of its own, checks its control data
# and file list, installs it with apt-get and runs the installed tool headless on a short
# generated sample. Needs root or sudo (for apt-get), dpkg-dev (dpkg-shlibdeps) and ffmpeg.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
# apt-get reads a local package as its own unprivileged user, so the folder must be readable.
chmod 755 "$scratch"
build="$scratch/build"
work="$scratch/work"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

installed_before=no
if dpkg-query -W -f='${Status}' shapemark 2>/dev/null | grep -q "install ok installed"; then
    installed_before=yes
fi

cleanup() {
    if [ "$installed_before" = no ] &&
        dpkg-query -W -f='${Status}' shapemark 2>/dev/null | grep -q "install ok installed"; then
        $sudo dpkg -r shapemark >/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
    echo "package: FAIL: $*" >&2
    exit 1
}

for tool in cmake cpack dpkg-deb dpkg-shlibdeps ffmpeg ffprobe; do
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
set -- "$build"/shapemark_*.deb
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    fail "expected one shapemark_*.deb in $build, found: $*"
fi
deb=$1
echo "package: built $(basename "$deb")"

# 2. Control data.
field() { dpkg-deb -f "$deb" "$1"; }
version=$(sed -n 's/^project(shapemark VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ "$(field Package)" = shapemark ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not '$version'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
    fail "Architecture is '$(field Architecture)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
# dpkg-shlibdeps names the runtime library packages with a minimum version each.
for lib in core imgproc videoio highgui imgcodecs; do
    echo "$depends" | grep -Eq "(^|, )libopencv-${lib}[0-9a-z.]* \(>= [^)]+\)" ||
        fail "Depends lacks libopencv-$lib from dpkg-shlibdeps: $depends"
done
echo "$depends" | grep -Eq "(^|, )libc6 \(>= " || fail "Depends lacks libc6: $depends"
if echo "$depends" | grep -q -- "-dev"; then
    fail "Depends names a -dev package: $depends"
fi
echo "package: control data ok; Depends: $depends"

# 3. File list: exactly the tool, its man page and its bash completion, besides folders.
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
expected=$(printf '%s\n' ./usr/bin/shapemark ./usr/share/man/man1/shapemark.1.gz \
    ./usr/share/bash-completion/completions/shapemark | sort)
[ "$files" = "$expected" ] || fail "file list is:
$files"
dpkg-deb -c "$deb" | grep -E '^-rwxr-xr-x .* \./usr/bin/shapemark$' >/dev/null ||
    fail "./usr/bin/shapemark is not an executable file"
echo "package: file list ok"

# The page itself renders without a single warning, wherever dpkg puts man pages or not.
warnings=$(man --warnings -l "$build/man/shapemark.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the man page has warnings: $warnings"

# 4. Install it the way a user would.
(cd "$build" && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
    "./$(basename "$deb")" >/dev/null)
dpkg-query -W -f='${Status}' shapemark | grep -q "install ok installed" || fail "not installed"
[ -x /usr/bin/shapemark ] || fail "/usr/bin/shapemark is missing after install"
if command -v man >/dev/null && [ -f /usr/share/man/man1/shapemark.1.gz ]; then
    warnings=$(man --warnings -l /usr/share/man/man1/shapemark.1.gz 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the installed man page has warnings: $warnings"
fi
echo "package: installed"

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
echo "package: ok"
