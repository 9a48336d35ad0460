#include "detector/box_contrast.hpp"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "detector/wide_rows.hpp"

namespace shapemark::robust {
namespace {

// OpenCV divides a box's integer sum by its area in single precision, 8 columns at a time,
// and the last columns of a row that do not fill 8 in double precision; the pass below does
// the same column for column. (Up to a window of 127 both give the exact quotient rounded:
// an odd area N keeps every quotient 1/(2N) from a half, more than single precision strays.)
// Column sums are 16-bit, which bounds the window; wider ones take OpenCV's own path.
constexpr int kWidestWindow = 257;
static_assert(255 * kWidestWindow <= 0xffff, "a column sum fits 16 bits");
// 32-bit lanes of the baseline vectors (OpenCV's emulation where there are none); two make
// OpenCV's 8 columns. The AVX2 kernels take 16 columns at a time: whole groups of 8 all the
// same, so the columns left to double precision stay the same.
constexpr int kLanes = 4;
constexpr int kGroup = 2 * kLanes;

void referenceContrast(const cv::Mat& plane, int window, cv::Mat& contrast) {
    cv::boxFilter(plane, contrast, CV_16S, cv::Size(window, window), cv::Point(-1, -1), true,
                  cv::BORDER_REPLICATE);
    cv::subtract(plane, contrast, contrast, cv::noArray(), CV_16S);
}

}  // namespace

cv::Mat boxContrast(const cv::Mat& plane, int window) {
    CV_Assert(plane.type() == CV_8UC1 && window > 0 && window % 2 == 1);
    cv::Mat contrast;
    if (window > kWidestWindow || plane.empty()) {
        referenceContrast(plane, window, contrast);
        return contrast;
    }
    contrast.create(plane.size(), CV_16S);
    const int radius = window / 2;
    const int cols = plane.cols;

    // The filter reads the parent image beyond a region of interest and replicates only the
    // parent's own edge: rows and columns are clamped to the parent.
    cv::Size whole;
    cv::Point offset;
    plane.locateROI(whole, offset);
    const int top = -offset.y;
    const int bottom = whole.height - offset.y - 1;
    const auto row = [&](int y) {
        return plane.data + static_cast<std::ptrdiff_t>(std::clamp(y, top, bottom)) *
                                static_cast<std::ptrdiff_t>(plane.step[0]);
    };
    // Column sums over the box's rows, for the columns x - radius .. x + radius of every x;
    // those beyond the parent's edge copy its edge column.
    const int first = std::max(-radius, -offset.x);
    const int last = std::min(cols - 1 + radius, whole.width - offset.x - 1);
    // Padded to whole vectors of either path, past the last box's right end; the lanes past
    // the last column are never read back.
    const int padded = (cols + 2 * radius + avx2::kShorts) / avx2::kShorts * avx2::kShorts;
    // The wide kernels fill a row of at least one vector.
    const bool wide = wideRows() && cols >= avx2::kShorts;
    std::vector<std::uint16_t> sums(static_cast<std::size_t>(padded), 0);
    // sum[c] for column c; 16 bits hold 255 × the widest window
    std::uint16_t* const sum = sums.data() + radius;
    for (int y = -radius; y <= radius; ++y) {
        const uchar* const src = row(y);
        for (int c = first; c <= last; ++c) {
            sum[c] = static_cast<std::uint16_t>(sum[c] + src[c]);
        }
    }
    // prefix[i]: the sum of the padded row's first i column sums, so that a box's sum is
    // prefix[x + window] - prefix[x]; unsigned, as its differences are right even wrapped.
    // The wide kernels keep them split by parity: evens[k] = prefix[2k], odds[k] = prefix[2k + 1].
    std::vector<std::uint32_t> prefix(static_cast<std::size_t>(padded + 1));
    std::uint32_t* const evens = prefix.data();
    std::uint32_t* const odds = prefix.data() + padded / 2;
    const auto prefixAt = [&](int i) {
        const auto at = static_cast<std::size_t>(i);
        return wide ? (i % 2 != 0 ? odds : evens)[at / 2] : prefix[at];
    };
    const double scale = 1.0 / (static_cast<double>(window) * window);
    const cv::v_float32x4 scales = cv::v_setall_f32(static_cast<float>(scale));
    for (int y = 0; y < plane.rows; ++y) {
        std::fill(sum - radius, sum + first, sum[first]);
        std::fill(sum + last + 1, sum + cols + radius, sum[last]);
        const auto* const src = plane.ptr<uchar>(y);
        auto* const out = contrast.ptr<short>(y);
        int x = 0;
        if (wide) {
            avx2::prefixSums(sums.data(), evens, odds, padded);
            x = avx2::contrastRow(evens, odds, radius, src, static_cast<float>(scale), out,
                                  cols / kGroup * kGroup);
        } else {
            prefix[0] = 0;
            cv::v_uint32x4 carry = cv::v_setzero_u32();
            for (int i = 0; i < padded; i += kLanes) {
                cv::v_uint32x4 v = cv::v_load_expand(sums.data() + i);
                v += cv::v_rotate_left<1>(v);
                v += cv::v_rotate_left<2>(v);
                v += carry;
                cv::v_store(prefix.data() + 1 + i, v);
                carry = cv::v_broadcast_element<kLanes - 1>(v);
            }
        }
        const std::uint32_t* const lo = prefix.data();
        const std::uint32_t* const hi = prefix.data() + window;
        for (; !wide && x + kGroup <= cols; x += kGroup) {
            const cv::v_int32x4 box0 =
                cv::v_reinterpret_as_s32(cv::v_load(hi + x) - cv::v_load(lo + x));
            const cv::v_int32x4 box1 =
                cv::v_reinterpret_as_s32(cv::v_load(hi + x + kLanes) - cv::v_load(lo + x + kLanes));
            const cv::v_int16x8 mean = cv::v_pack(cv::v_round(cv::v_cvt_f32(box0) * scales),
                                                  cv::v_round(cv::v_cvt_f32(box1) * scales));
            cv::v_store(out + x, cv::v_reinterpret_as_s16(cv::v_load_expand(src + x)) - mean);
        }
        for (; x < cols; ++x) {
            const auto box = static_cast<std::int32_t>(prefixAt(x + window) - prefixAt(x));
            out[x] = static_cast<short>(src[x] - cvRound(box * scale));
        }
        const uchar* const enter = row(y + radius + 1);
        const uchar* const leave = row(y - radius);
        for (int c = wide ? avx2::slideSums(sum, enter, leave, first, last + 1) : first; c <= last;
             ++c) {
            sum[c] = static_cast<std::uint16_t>(sum[c] + enter[c] - leave[c]);
        }
    }
    return contrast;
}

}  // namespace shapemark::robust
