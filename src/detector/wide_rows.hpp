// The detector's hottest row loops at AVX2's width, for the CPUs that have it. Each kernel
// covers what whole 256-bit vectors of its row it can (where recomputing is harmless, the
// last one overlapping the one before) and returns where it stopped; the caller finishes the
// row with its own baseline loop, so every rule stays written once and a CPU without AVX2
// never runs these.
//
// The kernels live in a unit of their own compiled for AVX2. It includes nothing but the
// compiler's intrinsics and defines no inline function, so the linker can never hand one of
// its instructions to baseline code; hence the plain pointers and integers below.
#pragma once

#include <cstdint>

namespace shapemark::robust {

// Whether the kernels below may run: the CPU has AVX2 and OpenCV has not been told to leave
// it unused (OPENCV_CPU_DISABLE=AVX2 runs the baseline loops everywhere).
bool wideRows();

namespace avx2 {

constexpr int kBytes = 32;   // 8-bit lanes of one vector
constexpr int kShorts = 16;  // 16-bit lanes of one vector

// The prefix sums P[i] = sums[0] + ... + sums[i - 1] (modulo 2^32) for i below `count`, a
// multiple of kShorts, split by parity: evens[k] = P[2k], odds[k] = P[2k + 1]. Split, they need
// a third of the shuffles that putting them in order would.
void prefixSums(const std::uint16_t* sums, std::uint32_t* evens, std::uint32_t* odds, int count);

// out[x] = src[x] minus the box sum P[x + 2 radius + 1] - P[x] (of prefixSums) times `scale` in
// single precision, rounded to nearest even, for x from 0 to `count` (even, and at least
// kShorts); returns `count`.
int contrastRow(const std::uint32_t* evens, const std::uint32_t* odds, int radius,
                const std::uint8_t* src, float scale, std::int16_t* out, int count);

// sums[c] += enter[c] - leave[c] (modulo 2^16) for c from `first` while whole vectors fit
// short of `end`; returns the first c not done.
int slideSums(std::uint16_t* sums, const std::uint8_t* enter, const std::uint8_t* leave, int first,
              int end);

// out[x] = 1 where in[x] lies above `level` (`above`) or below it, else 0, for x from 0 to
// `count` if it holds a whole vector; returns the first x not done.
int markRow(const std::int16_t* in, int count, std::int16_t level, bool above, std::int8_t* out);

// The first x from `x` (at least 1) on, short of `end`, where a border may start (row[x - 1]
// zero and row[x] one, or row[x] zero and row[x - 1] positive); `end` if none. A row of no
// more than kBytes pixels from 1 is left alone (`x` returned): see whether end > kBytes.
int findStart(const std::int8_t* row, int x, int end);

// out[x] = table[in[x]] (`table` of 256 bytes) for x from 0 to `count` if it holds a whole
// vector; returns the first x not done. `in` and `out` do not overlap.
int lookupRow(const std::uint8_t* in, const std::uint8_t* table, std::uint8_t* out, int count);

// out[x] = level[x] stretched away from grey by max(1, lit / (light[x] + floor)), in single
// precision: (level - grey) times the gain, plus grey, rounded to nearest even and saturated
// to a byte, for x from 0 to `count` if it holds a whole vector; returns the first x not done.
int stretchRow(const std::uint8_t* level, const std::uint8_t* light, float lit, float floor,
               float grey, std::uint8_t* out, int count);

// A row of 8-bit, 3-channel pixels (3 × 3 `count` / 2 bytes) thinned to two thirds: for each
// three source pixels a, b, c and channel, out holds 3 a + b and 3 c + b (the linear weights
// 3/4 and 1/4, times 4), the two output pixels' channels in order, for `count` values (a
// multiple of kThirdsBlock); returns `count`. Reads no byte past the row's.
constexpr int kThirdsBlock = 48;
int thirdsRow(const std::uint8_t* src, std::uint16_t* out, int count);

// out[x] = ((3 near[x]) / 4 + far[x] / 4 + 2) / 4, each division truncated, saturated to a
// byte, for x from 0 to `count` if it holds a whole vector; returns the first x not done.
int blendThirds(const std::uint16_t* near, const std::uint16_t* far, std::uint8_t* out, int count);

// A symmetric smoothing kernel's taps: taps[0] at the centre, taps[i] at ±i, for i up to
// `radius`; fixed point with 8 fractional bits, summing to 256.
// Both kernels take a radius of 1 to 4 and leave a wider one to the caller.
// Across a row: out[x] = the taps' sum over src[x - radius .. x + radius] (16 bits), for x from
// `first` to `end` if that holds a whole vector, reading no byte outside x ± radius; returns
// the first x not done.
int smoothAcross(const std::uint8_t* src, const std::uint16_t* taps, int radius, std::uint16_t* out,
                 int first, int end);

// Down the rows: out[x] = (the taps' sum over rows[0 .. 2 radius][x] + 2^15) / 2^16, the
// centre row rows[radius], for x from 0 to `count` if it holds a whole vector; returns the
// first x not done.
int smoothDown(const std::uint16_t* const* rows, const std::uint16_t* taps, int radius,
               std::uint8_t* out, int count);

}  // namespace avx2
}  // namespace shapemark::robust
