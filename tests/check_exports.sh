#!/bin/sh
# Passes when the shared library at $1 exports shapemark's public API and nothing else of its
# own: a step such as scanContours left visible is an API that programs come to depend on.
set -eu
exported=$(nm -D --defined-only -C "$1" | sed -n 's/^[0-9a-f]* [A-Za-z] \(shapemark::.*\)/\1/p')
public='^shapemark::(detect|draw|binarise|shapeOf|readTrackerParams|writeTrackerParams)\('
public="$public"'|^shapemark::(Detector|Frames|Tracker|OpenError)::|^shapemark::(Detector|Tracker)Params::validate\('
echo "$exported" | grep -q '^shapemark::detect(' || { echo "detect is not exported"; exit 1; }
internal=$(echo "$exported" | grep -v -E "$public" || true)
[ -z "$internal" ] || { echo "exported beyond the public API:"; echo "$internal"; exit 1; }
