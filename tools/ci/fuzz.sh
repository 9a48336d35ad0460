#!/bin/sh
# A short fuzz pass: 30 s for each libFuzzer target.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
exec sh "$root/tools/fuzz.sh" "${FUZZ_SECONDS:-30}"
