#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {
namespace {

constexpr float kGrey = 128.0F;
constexpr auto kLit = static_cast<float>(tuning::kChromaLitLevel + tuning::kChromaFloor);
constexpr auto kFloor = static_cast<float>(tuning::kChromaFloor);

// One pixel, in the very float steps of the vector loop below (product, then sum, rounded to
// nearest even), so that the columns past the last whole vector agree with it.
uchar stretched(uchar level, uchar light) {
    const float gain = std::max(1.0F, kLit / (static_cast<float>(light) + kFloor));
    return cv::saturate_cast<uchar>(cvRound((static_cast<float>(level) - kGrey) * gain + kGrey));
}

}  // namespace

cv::Mat chromaInShadow(const cv::Mat& opponent, const cv::Mat& lightness) {
    CV_Assert(opponent.type() == CV_8UC1 && lightness.type() == CV_8UC1 &&
              opponent.size() == lightness.size());
    cv::Mat stretchedPlane(opponent.size(), CV_8UC1);
    const int cols = opponent.cols;
    for (int y = 0; y < opponent.rows; ++y) {
        const uchar* level = opponent.ptr<uchar>(y);
        const uchar* light = lightness.ptr<uchar>(y);
        uchar* out = stretchedPlane.ptr<uchar>(y);
        int x = 0;
#if CV_SIMD128
        // A division per pixel costs less in four lanes than a table row looked up per pixel.
        const cv::v_float32x4 lit = cv::v_setall_f32(kLit);
        const cv::v_float32x4 floor = cv::v_setall_f32(kFloor);
        const cv::v_float32x4 one = cv::v_setall_f32(1.0F);
        const cv::v_float32x4 grey = cv::v_setall_f32(kGrey);
        const auto four = [&](const cv::v_uint32x4& levels, const cv::v_uint32x4& lights) {
            const cv::v_float32x4 gain =
                cv::v_max(one, lit / (cv::v_cvt_f32(cv::v_reinterpret_as_s32(lights)) + floor));
            return cv::v_round((cv::v_cvt_f32(cv::v_reinterpret_as_s32(levels)) - grey) * gain +
                               grey);
        };
        for (; x + 16 <= cols; x += 16) {
            cv::v_uint16x8 levels[2];
            cv::v_uint16x8 lights[2];
            cv::v_expand(cv::v_load(level + x), levels[0], levels[1]);
            cv::v_expand(cv::v_load(light + x), lights[0], lights[1]);
            cv::v_int16x8 halves[2];
            for (int h = 0; h < 2; ++h) {
                cv::v_uint32x4 lv[2];
                cv::v_uint32x4 li[2];
                cv::v_expand(levels[h], lv[0], lv[1]);
                cv::v_expand(lights[h], li[0], li[1]);
                halves[h] = cv::v_pack(four(lv[0], li[0]), four(lv[1], li[1]));
            }
            cv::v_store(out + x, cv::v_pack_u(halves[0], halves[1]));
        }
#endif
        for (; x < cols; ++x) {
            out[x] = stretched(level[x], light[x]);
        }
    }
    return stretchedPlane;
}

}  // namespace shapemark::robust
