// Compiled with -mavx2 (and without FMA: a fused multiply-add would round differently). Keep
// it free of inline functions from any header other than the intrinsics' own: see
// wide_rows.hpp. Built for another architecture, every kernel does nothing.
#include "detector/wide_rows.hpp"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace shapemark::robust::avx2 {

#if defined(__AVX2__)
// The intrinsics are this unit's purpose.
// NOLINTBEGIN(portability-simd-intrinsics)

namespace {
constexpr int kWords = 8;  // 32-bit lanes

// Internal linkage, so that nothing here is shared with other units.
__m256i load(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
void store(void* p, __m256i v) {
    _mm256_storeu_si256(static_cast<__m256i*>(p), v);
}
// 16 bytes widened to 16-bit lanes, as unsigned.
__m256i widen(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
// Runs `block` at each whole vector of `width` lanes in a row of `count`, the last one
// overlapping the one before (recomputing a lane rewrites it unchanged); returns the lanes
// done: all of them, or none where no vector fits.
template <typename Block>
int eachBlock(int count, int width, Block block) {
    if (count < width) {
        return 0;
    }
    int x = 0;
    for (; x + width <= count; x += width) {
        block(x);
    }
    if (x < count) {
        block(count - width);
    }
    return count;
}
}  // namespace

void prefixSums(const std::uint16_t* sums, std::uint32_t* evens, std::uint32_t* odds, int count) {
    __m256i carry = _mm256_setzero_si256();
    const __m256i last = _mm256_set1_epi32(kWords - 1);
    const __m256i low = _mm256_set1_epi32(0xffff);
    // Sum i = 2k lies in pair k.
    for (int i = 0, k = 0; i + kShorts <= count; i += kShorts, k += kWords) {
        // 32-bit lane j holds sums i + 2j (low half) and i + 2j + 1 (high half).
        const __m256i v = load(sums + i);
        const __m256i odd = _mm256_srli_epi32(v, 16);
        const __m256i pair = _mm256_add_epi32(_mm256_and_si256(v, low), odd);
        __m256i pairs = pair;
        // The pairs' running total, within each 128-bit half, then the low half's total
        // carried into the high half, then the row's total so far.
        pairs = _mm256_add_epi32(pairs, _mm256_slli_si256(pairs, 4));
        pairs = _mm256_add_epi32(pairs, _mm256_slli_si256(pairs, 8));
        const __m256i lowTotal = _mm256_shuffle_epi32(pairs, 0xff);
        pairs = _mm256_add_epi32(pairs, _mm256_permute2x128_si256(lowTotal, lowTotal, 0x08));
        const __m256i through = _mm256_add_epi32(pairs, carry);  // P[i + 2j + 2]
        carry = _mm256_permutevar8x32_epi32(through, last);
        store(evens + k, _mm256_sub_epi32(through, pair));
        store(odds + k, _mm256_sub_epi32(through, odd));
    }
}

namespace {
void contrastBlock(const std::uint32_t* evens, const std::uint32_t* odds, int radius,
                   const std::uint8_t* src, __m256 scales, std::int16_t* out) {
    // Box sums of the even columns 2k (P[2k + window] - P[2k]) and of the odd ones.
    const __m256i boxEven = _mm256_sub_epi32(load(odds + radius), load(evens));
    const __m256i boxOdd = _mm256_sub_epi32(load(evens + radius + 1), load(odds));
    const __m256i meanEven = _mm256_cvtps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(boxEven), scales));
    const __m256i meanOdd = _mm256_cvtps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(boxOdd), scales));
    // A mean lies within 0..255, so the halves of each 32-bit lane hold the columns in order.
    const __m256i mean = _mm256_or_si256(_mm256_and_si256(meanEven, _mm256_set1_epi32(0xffff)),
                                         _mm256_slli_epi32(meanOdd, 16));
    store(out, _mm256_subs_epi16(widen(src), mean));
}
}  // namespace

int contrastRow(const std::uint32_t* evens, const std::uint32_t* odds, int radius,
                const std::uint8_t* src, float scale, std::int16_t* out, int count) {
    const __m256 scales = _mm256_set1_ps(scale);
    // Column x (even) lies in pair x / 2.
    return eachBlock(count, kShorts, [&](int x) {
        contrastBlock(evens + x / 2, odds + x / 2, radius, src + x, scales, out + x);
    });
}

int slideSums(std::uint16_t* sums, const std::uint8_t* enter, const std::uint8_t* leave, int first,
              int end) {
    int c = first;
    for (; c + kShorts <= end; c += kShorts) {
        const __m256i sum = _mm256_add_epi16(load(sums + c), widen(enter + c));
        store(sums + c, _mm256_sub_epi16(sum, widen(leave + c)));
    }
    return c;
}

namespace {
void markBlock(const std::int16_t* in, __m256i bound, bool above, std::int8_t* out) {
    const __m256i lo = load(in);
    const __m256i hi = load(in + kShorts);
    const __m256i markedLo = above ? _mm256_cmpgt_epi16(lo, bound) : _mm256_cmpgt_epi16(bound, lo);
    const __m256i markedHi = above ? _mm256_cmpgt_epi16(hi, bound) : _mm256_cmpgt_epi16(bound, hi);
    const __m256i marked = _mm256_permute4x64_epi64(_mm256_packs_epi16(markedLo, markedHi), 0xd8);
    store(out, _mm256_and_si256(marked, _mm256_set1_epi8(1)));
}

// Bit i set where a border may start at row[x + i].
unsigned startBits(const std::int8_t* row, int x) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i here = load(row + x);
    const __m256i left = load(row + x - 1);
    const __m256i outer = _mm256_and_si256(_mm256_cmpeq_epi8(left, zero),
                                           _mm256_cmpeq_epi8(here, _mm256_set1_epi8(1)));
    const __m256i hole =
        _mm256_and_si256(_mm256_cmpeq_epi8(here, zero), _mm256_cmpgt_epi8(left, zero));
    return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_or_si256(outer, hole)));
}
}  // namespace

int markRow(const std::int16_t* in, int count, std::int16_t level, bool above, std::int8_t* out) {
    const __m256i bound = _mm256_set1_epi16(level);
    return eachBlock(count, kBytes, [&](int x) { markBlock(in + x, bound, above, out + x); });
}

int findStart(const std::int8_t* row, int x, int end) {
    for (; x + kBytes <= end; x += kBytes) {
        const unsigned starts = startBits(row, x);
        if (starts != 0) {
            return x + __builtin_ctz(starts);
        }
    }
    if (x < end && end > kBytes) {  // the last block overlaps what was looked at
        const unsigned starts = startBits(row, end - kBytes) >> (x - (end - kBytes));
        x = starts != 0 ? x + __builtin_ctz(starts) : end;
    }
    return x;
}

namespace {
// A table of 256 looked up as 16 tables of 16, one shuffle each: `index` counts down by 16 a
// table, and biased by 0x70 with saturation only the lanes whose entry lies in this table
// keep the top bit clear, which the shuffle needs to read rather than write zero.
void lookupBlock(const std::uint8_t* in, const __m256i* tables, std::uint8_t* out) {
    const __m256i sixteen = _mm256_set1_epi8(16);
    const __m256i bias = _mm256_set1_epi8(0x70);
    __m256i index = load(in);
    __m256i found = _mm256_setzero_si256();
    for (int k = 0; k < 16; ++k) {
        found =
            _mm256_or_si256(found, _mm256_shuffle_epi8(tables[k], _mm256_adds_epu8(index, bias)));
        index = _mm256_sub_epi8(index, sixteen);
    }
    store(out, found);
}
}  // namespace

int lookupRow(const std::uint8_t* in, const std::uint8_t* table, std::uint8_t* out, int count) {
    if (count < kBytes) {
        return 0;
    }
    // A plain array: std::array's header may not be included here.
    __m256i tables[16];  // NOLINT(modernize-avoid-c-arrays)
    const std::uint8_t* part = table;
    for (__m256i& entries : tables) {
        entries =
            _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(part)));
        part += 16;
    }
    const __m256i* const all = tables;
    return eachBlock(count, kBytes, [&](int x) { lookupBlock(in + x, all, out + x); });
}

namespace {
struct Stretch {
    __m256 lit;
    __m256 floor;
    __m256 grey;
    __m256 one;
};

// Eight pixels, as 32-bit integers in, rounded 32-bit integers out.
__m256i stretchEight(__m256i levels, __m256i lights, const Stretch& k) {
    const __m256 gain = _mm256_max_ps(
        k.one, _mm256_div_ps(k.lit, _mm256_add_ps(_mm256_cvtepi32_ps(lights), k.floor)));
    const __m256 stretched = _mm256_add_ps(
        _mm256_mul_ps(_mm256_sub_ps(_mm256_cvtepi32_ps(levels), k.grey), gain), k.grey);
    return _mm256_cvtps_epi32(stretched);
}

void stretchBlock(const std::uint8_t* level, const std::uint8_t* light, const Stretch& k,
                  std::uint8_t* out) {
    const auto eight = [&k](const std::uint8_t* levels, const std::uint8_t* lights) {
        return stretchEight(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(levels))),
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(lights))), k);
    };
    // The packs work within 128-bit halves: the columns come out in the order 0-3, 8-11,
    // 16-19, 24-27, 4-7, 12-15, 20-23, 28-31 in 32-bit groups; the 64-bit pairs swapped across
    // the halves, then the groups within each, restore it (immediates: no constant in memory).
    const __m256i shorts01 = _mm256_packs_epi32(eight(level, light), eight(level + 8, light + 8));
    const __m256i shorts23 =
        _mm256_packs_epi32(eight(level + 16, light + 16), eight(level + 24, light + 24));
    const __m256i bytes = _mm256_packus_epi16(shorts01, shorts23);
    store(out, _mm256_shuffle_epi32(_mm256_permute4x64_epi64(bytes, 0xd8), 0xd8));
}
}  // namespace

int stretchRow(const std::uint8_t* level, const std::uint8_t* light, float lit, float floor,
               float grey, std::uint8_t* out, int count) {
    const Stretch k{_mm256_set1_ps(lit), _mm256_set1_ps(floor), _mm256_set1_ps(grey),
                    _mm256_set1_ps(1.0F)};
    return eachBlock(count, kBytes, [&](int x) { stretchBlock(level + x, light + x, k, out + x); });
}

namespace {
// Thinning to two thirds, 8 values a 128-bit half: each half loads the 16 source bytes at one
// of three offsets in a period of 36 (8 output pixels) and shuffles its near and far bytes
// into 16-bit lanes. A block of 48 values is two periods: six halves in three vectors.
constexpr int kPeriodBytes = 36;
constexpr int kBlockBytes = 2 * kPeriodBytes;
constexpr int kTwoVectors = 2 * kShorts;  // 16-bit lanes
constexpr int kHalfValues = 8;
constexpr int kPhaseOffset[3] = {0, 11, 20};  // NOLINT(modernize-avoid-c-arrays)

struct ThirdsMasks {
    // By vector (phases 0 and 1, 2 and 0, 1 and 2), near then far.
    std::int8_t bytes[3][2][kBytes];  // NOLINT(modernize-avoid-c-arrays)
};

constexpr ThirdsMasks makeThirdsMasks() {
    ThirdsMasks m{};
    const int phases[3][2] = {{0, 1}, {2, 0}, {1, 2}};  // NOLINT(modernize-avoid-c-arrays)
    for (int v = 0; v < 3; ++v) {
        for (int half = 0; half < 2; ++half) {
            const int phase = phases[v][half];
            for (int i = 0; i < kHalfValues; ++i) {
                // Value j of the period: pixel pair j / 6, channel slot j % 6.
                const int j = kHalfValues * phase + i;
                const int pair = 9 * (j / 6);
                const int slot = j % 6;
                const int nearByte = pair + (slot < 3 ? slot : slot + 3);
                const int farByte = pair + 3 + (slot < 3 ? slot : slot - 3);
                const int lane = 16 * half + 2 * i;
                m.bytes[v][0][lane] = static_cast<std::int8_t>(nearByte - kPhaseOffset[phase]);
                m.bytes[v][1][lane] = static_cast<std::int8_t>(farByte - kPhaseOffset[phase]);
                m.bytes[v][0][lane + 1] = -128;  // a zero high byte
                m.bytes[v][1][lane + 1] = -128;
            }
        }
    }
    return m;
}
constexpr ThirdsMasks kThirdsMasks = makeThirdsMasks();

__m256i twoHalves(const std::uint8_t* lo, const std::uint8_t* hi) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}
}  // namespace

int thirdsRow(const std::uint8_t* src, std::uint16_t* out, int count) {
    const __m256i three = _mm256_set1_epi16(3);
    // NOLINTNEXTLINE(modernize-avoid-c-arrays)
    const __m256i masks[3][2] = {{load(kThirdsMasks.bytes[0][0]), load(kThirdsMasks.bytes[0][1])},
                                 {load(kThirdsMasks.bytes[1][0]), load(kThirdsMasks.bytes[1][1])},
                                 {load(kThirdsMasks.bytes[2][0]), load(kThirdsMasks.bytes[2][1])}};
    // `nearFar`: a vector's near and far masks.
    const auto thirds = [&](__m256i pixels, const __m256i* nearFar, std::uint16_t* to) {
        const __m256i nearer = _mm256_shuffle_epi8(pixels, nearFar[0]);
        const __m256i farther = _mm256_shuffle_epi8(pixels, nearFar[1]);
        store(to, _mm256_add_epi16(_mm256_mullo_epi16(nearer, three), farther));
    };
    int x = 0;
    for (; x + kThirdsBlock <= count; x += kThirdsBlock, src += kBlockBytes) {
        const std::uint8_t* const next = src + kPeriodBytes;
        std::uint16_t* const to = out + x;
        thirds(twoHalves(src, src + kPhaseOffset[1]), &masks[0][0], to);
        thirds(twoHalves(src + kPhaseOffset[2], next), &masks[1][0], to + kShorts);
        thirds(twoHalves(next + kPhaseOffset[1], next + kPhaseOffset[2]), &masks[2][0],
               to + kTwoVectors);
    }
    return x;
}

int blendThirds(const std::uint16_t* near, const std::uint16_t* far, std::uint8_t* out, int count) {
    const __m256i three = _mm256_set1_epi16(3);
    const __m256i two = _mm256_set1_epi16(2);
    const auto blend = [&](const std::uint16_t* n, const std::uint16_t* f) {
        const __m256i sum =
            _mm256_add_epi16(_mm256_srli_epi16(_mm256_mullo_epi16(load(n), three), 2),
                             _mm256_srli_epi16(load(f), 2));
        return _mm256_srli_epi16(_mm256_add_epi16(sum, two), 2);
    };
    return eachBlock(count, kBytes, [&](int x) {
        const __m256i bytes = _mm256_packus_epi16(blend(near + x, far + x),
                                                  blend(near + x + kShorts, far + x + kShorts));
        store(out + x, _mm256_permute4x64_epi64(bytes, 0xd8));
    });
}

namespace {
// The kernels below unrolled for each reach up to this; a wider one is left to the caller.
constexpr int kMostReach = 4;

template <int kReach>
int smoothAcrossBy(const std::uint8_t* src, const std::uint16_t* taps, std::uint16_t* out,
                   int first, int end) {
    __m256i tap[kReach + 1];  // NOLINT(modernize-avoid-c-arrays)
    for (int i = 0; i <= kReach; ++i) {
        tap[i] = _mm256_set1_epi16(static_cast<short>(taps[i]));
    }
    const __m256i* const tapAt = tap;
    // Every partial sum stays within the whole's 16 bits.
    return first + eachBlock(end - first, kShorts, [&](int at) {
               const int x = first + at;
               __m256i sum = _mm256_mullo_epi16(widen(src + x), tapAt[0]);
               for (int i = 1; i <= kReach; ++i) {
                   const __m256i pair = _mm256_add_epi16(widen(src + x - i), widen(src + x + i));
                   sum = _mm256_add_epi16(sum, _mm256_mullo_epi16(pair, tapAt[i]));
               }
               store(out + x, sum);
           });
}

__m256i columnWords(const std::uint16_t* p) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

template <int kReach>
int smoothDownBy(const std::uint16_t* const* rows, const std::uint16_t* taps, std::uint8_t* out,
                 int count) {
    __m256i tap[kReach + 1];                   // NOLINT(modernize-avoid-c-arrays)
    const std::uint16_t* row[2 * kReach + 1];  // NOLINT(modernize-avoid-c-arrays)
    for (int i = 0; i <= kReach; ++i) {
        tap[i] = _mm256_set1_epi32(taps[i]);
    }
    for (int j = 0; j <= 2 * kReach; ++j) {
        row[j] = rows[j];
    }
    const __m256i half = _mm256_set1_epi32(1 << 15);
    const __m256i* const tapAt = tap;
    const std::uint16_t* const* const rowAt = row;
    // Eight columns from `x`, in 32-bit lanes.
    const auto eight = [&](int x) {
        __m256i sum = _mm256_mullo_epi32(columnWords(rowAt[kReach] + x), tapAt[0]);
        for (int i = 1; i <= kReach; ++i) {
            const __m256i pair = _mm256_add_epi32(columnWords(rowAt[kReach - i] + x),
                                                  columnWords(rowAt[kReach + i] + x));
            sum = _mm256_add_epi32(sum, _mm256_mullo_epi32(pair, tapAt[i]));
        }
        return _mm256_srli_epi32(_mm256_add_epi32(sum, half), 16);
    };
    return eachBlock(count, kShorts, [&](int x) {
        // Each lane lies within 0..255: the packs saturate nothing.
        const __m256i words =
            _mm256_permute4x64_epi64(_mm256_packus_epi32(eight(x), eight(x + kWords)), 0xd8);
        const __m128i bytes =
            _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), bytes);
    });
}
}  // namespace

int smoothAcross(const std::uint8_t* src, const std::uint16_t* taps, int radius, std::uint16_t* out,
                 int first, int end) {
    switch (radius) {
        case 1:
            return smoothAcrossBy<1>(src, taps, out, first, end);
        case 2:
            return smoothAcrossBy<2>(src, taps, out, first, end);
        case 3:
            return smoothAcrossBy<3>(src, taps, out, first, end);
        case kMostReach:
            return smoothAcrossBy<kMostReach>(src, taps, out, first, end);
        default:
            return first;
    }
}

int smoothDown(const std::uint16_t* const* rows, const std::uint16_t* taps, int radius,
               std::uint8_t* out, int count) {
    switch (radius) {
        case 1:
            return smoothDownBy<1>(rows, taps, out, count);
        case 2:
            return smoothDownBy<2>(rows, taps, out, count);
        case 3:
            return smoothDownBy<3>(rows, taps, out, count);
        case kMostReach:
            return smoothDownBy<kMostReach>(rows, taps, out, count);
        default:
            return 0;
    }
}

// NOLINTEND(portability-simd-intrinsics)
#else

void prefixSums(const std::uint16_t*, std::uint32_t*, std::uint32_t*, int) {}
int contrastRow(const std::uint32_t*, const std::uint32_t*, int, const std::uint8_t*, float,
                std::int16_t*, int) {
    return 0;
}
int slideSums(std::uint16_t*, const std::uint8_t*, const std::uint8_t*, int first, int) {
    return first;
}
int markRow(const std::int16_t*, int, std::int16_t, bool, std::int8_t*) {
    return 0;
}
int findStart(const std::int8_t*, int x, int) {
    return x;
}
int lookupRow(const std::uint8_t*, const std::uint8_t*, std::uint8_t*, int) {
    return 0;
}
int stretchRow(const std::uint8_t*, const std::uint8_t*, float, float, float, std::uint8_t*, int) {
    return 0;
}
int thirdsRow(const std::uint8_t*, std::uint16_t*, int) {
    return 0;
}
int blendThirds(const std::uint16_t*, const std::uint16_t*, std::uint8_t*, int) {
    return 0;
}
int smoothAcross(const std::uint8_t*, const std::uint16_t*, int, std::uint16_t*, int first, int) {
    return first;
}
int smoothDown(const std::uint16_t* const*, const std::uint16_t*, int, std::uint8_t*, int) {
    return 0;
}

#endif

}  // namespace shapemark::robust::avx2
