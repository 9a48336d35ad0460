#!/bin/sh
# Soak: one headless run over many processed frames (10,000 by default, 320x240), sampling the
# tool's resident memory (VmRSS) as it goes. Reports the growth from 10% of the way to the end;
# the target is 2 MiB or less. Exit status: 0 when met, 3 when missed, 1 on any other failure.
#
#   bench/soak.sh [BUILD_DIR] [FRAMES]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
frames=${2:-10000}
limit_kib=2048

work=$(mktemp -d "${TMPDIR:-/tmp}/shapemark-soak-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/C:/Users/kalenvir/Desktop"
# A 1000 fps tag: headless runs never wait, but the recording keeps the input's rate.
"$build/make_test_video" "$work/input.avi" --frames "$frames" --fps 1000 --size 320x240 \
    --scene sample
cd "$work"

env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    "$build/shapemark" input.avi marked.avi 100 1 >counter.txt 2>/dev/null &
pid=$!
# Each sample: the last count printed, then VmRSS in KiB.
: >samples.txt
while kill -0 "$pid" 2>/dev/null; do
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
    count=$(tail -c 32 counter.txt | awk -F'/n' 'NF > 1 { print $(NF - 1) }')
    if [ -n "$rss" ] && [ -n "$count" ]; then
        echo "$count $rss" >>samples.txt
    fi
    sleep 0.1
done
status=0
wait "$pid" || status=$?
if [ "$status" -ne 0 ]; then
    echo "soak: shapemark exited with status $status" >&2
    exit 1
fi

awk -v frames="$frames" -v limit="$limit_kib" '
    $1 >= frames / 10 && base == "" { base = $2; baseCount = $1 }
    base != "" && $2 > peak { peak = $2 }
    { last = $2; lastCount = $1; n++ }
    END {
        if (base == "") { print "soak: too few samples"; exit 1 }
        growth = last - base
        printf "soak: %d frames at 320x240, %d samples\n", frames, n
        printf "resident memory at frame %d: %d KiB; at frame %d: %d KiB; peak after: %d KiB\n",
            baseCount, base, lastCount, last, peak
        printf "growth from 10%% to the end: %d KiB (%.2f MiB; target <= 2 MiB): %s\n",
            growth, growth / 1024, growth <= limit ? "met" : "MISSED"
        exit growth <= limit ? 0 : 3
    }' samples.txt
