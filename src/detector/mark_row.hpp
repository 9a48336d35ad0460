// One row of a contrast image written as the 0 and 1 the border tracer reads.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>
#include <climits>
#include <cmath>

#include "detector/wide_rows.hpp"

namespace shapemark::robust {

// 1 where `in` lies above `level` (kAbove) or below it, 0 elsewhere, 16 pixels at a time.
template <bool kAbove>
void markRow(const short* in, int cols, short level, schar* out) {
    const cv::v_int16x8 bound = cv::v_setall_s16(level);
    const cv::v_int8x16 one = cv::v_setall_s8(1);
    constexpr int kLanes = cv::v_int8x16::nlanes;
    int x = 0;
    for (; x + kLanes <= cols; x += kLanes) {
        const cv::v_int16x8 lo = cv::v_load(in + x);
        const cv::v_int16x8 hi = cv::v_load(in + x + kLanes / 2);
        const cv::v_int8x16 marked =
            kAbove ? cv::v_pack(lo > bound, hi > bound) : cv::v_pack(lo < bound, hi < bound);
        cv::v_store(out + x, marked & one);
    }
    for (; x < cols; ++x) {
        out[x] = static_cast<schar>(kAbove ? in[x] > level : in[x] < level);
    }
}

// `out` (CV_8UC1, `contrast`'s size; a view into a padded image is fine) as 1 where
// `contrast` (CV_16SC1) lies above `threshold` (`above`) or below it, 0 elsewhere, as
// cv::compare marks it. Contrast is integer, so lying above a fractional threshold is lying
// above its floor, and below it, below its ceiling.
inline void markBeyond(const cv::Mat& contrast, double threshold, bool above, cv::Mat out) {
    CV_Assert(contrast.type() == CV_16SC1 && out.type() == CV_8UC1 &&
              out.size() == contrast.size());
    const auto level = static_cast<short>(
        std::clamp(above ? std::floor(threshold) : std::ceil(threshold),
                   static_cast<double>(SHRT_MIN), static_cast<double>(SHRT_MAX)));
    const bool wide = wideRows();
    for (int y = 0; y < contrast.rows; ++y) {
        const auto* const in = contrast.ptr<short>(y);
        auto* const marks = out.ptr<schar>(y);
        const int done = wide ? avx2::markRow(in, contrast.cols, level, above, marks) : 0;
        if (above) {
            markRow<true>(in + done, contrast.cols - done, level, marks + done);
        } else {
            markRow<false>(in + done, contrast.cols - done, level, marks + done);
        }
    }
}

}  // namespace shapemark::robust
