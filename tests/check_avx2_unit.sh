#!/bin/sh
# The AVX2 row kernels' object in the detector's archive ($1) defines its kernels alone, as
# strong symbols: anything else it defines with external linkage (an inline function's copy,
# weak, or a helper) the linker may hand to baseline callers, which then fault on a CPU
# without AVX2 while every test here passes. Local symbols (the unit's own constants) are
# seen by no other unit, and data holds no instructions (instrumented builds add a weak
# pointer to the exception personality routine).
set -eu
symbols=$(nm -C --defined-only --extern-only "$1" | sed -n '/^wide_rows_avx2\.cpp\.o:$/,/^$/p' | sed '1d;/^$/d')
if [ -z "$symbols" ]; then
    echo "no wide_rows_avx2.cpp.o in $1" >&2
    exit 1
fi
others=$(printf '%s\n' "$symbols" | grep -v -e ' T shapemark::robust::avx2::' -e ' [VDBR] ' || true)
if [ -n "$others" ]; then
    printf 'the AVX2 unit defines more than its kernels:\n%s\n' "$others" >&2
    exit 1
fi
