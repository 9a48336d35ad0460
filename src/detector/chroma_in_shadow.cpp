#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"
#include "detector/wide_rows.hpp"

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
    const bool wide = wideRows();
    for (int y = 0; y < opponent.rows; ++y) {
        const auto* level = opponent.ptr<uchar>(y);
        const auto* light = lightness.ptr<uchar>(y);
        auto* out = stretchedPlane.ptr<uchar>(y);
        int x = wide ? avx2::stretchRow(level, light, kLit, kFloor, kGrey, out, cols) : 0;
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
        const auto eight = [&](const cv::v_uint16x8& levels, const cv::v_uint16x8& lights) {
            cv::v_uint32x4 levels0;
            cv::v_uint32x4 levels1;
            cv::v_uint32x4 lights0;
            cv::v_uint32x4 lights1;
            cv::v_expand(levels, levels0, levels1);
            cv::v_expand(lights, lights0, lights1);
            return cv::v_pack(four(levels0, lights0), four(levels1, lights1));
        };
        for (; x + 16 <= cols; x += 16) {
            cv::v_uint16x8 levels0;
            cv::v_uint16x8 levels1;
            cv::v_uint16x8 lights0;
            cv::v_uint16x8 lights1;
            cv::v_expand(cv::v_load(level + x), levels0, levels1);
            cv::v_expand(cv::v_load(light + x), lights0, lights1);
            cv::v_store(out + x, cv::v_pack_u(eight(levels0, lights0), eight(levels1, lights1)));
        }
#endif
        for (; x < cols; ++x) {
            out[x] = stretched(level[x], light[x]);
        }
    }
    return stretchedPlane;
}

}  // namespace shapemark::robust
