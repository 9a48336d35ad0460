// One row of a contrast image written as the 0 and 1 the border tracer reads.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

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

}  // namespace shapemark::robust
