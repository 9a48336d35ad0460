#include <opencv2/core.hpp>

#include <algorithm>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

cv::Mat chromaInShadow(const cv::Mat& opponent, const cv::Mat& lightness) {
    CV_Assert(opponent.type() == CV_8UC1 && lightness.type() == CV_8UC1 &&
              opponent.size() == lightness.size());
    // Per lightness level and opponent level, the opponent level stretched away from grey
    // (128): made once, a constant of the tuning.
    static const cv::Mat table = [] {
        cv::Mat levels(256, 256, CV_8U);
        for (int light = 0; light < 256; ++light) {
            const double gain = std::max(1.0, (tuning::kChromaLitLevel + tuning::kChromaFloor) /
                                                  (light + tuning::kChromaFloor));
            for (int level = 0; level < 256; ++level) {
                levels.at<uchar>(light, level) =
                    cv::saturate_cast<uchar>(128.0 + gain * (level - 128));
            }
        }
        return levels;
    }();
    cv::Mat stretched(opponent.size(), CV_8UC1);
    for (int y = 0; y < opponent.rows; ++y) {
        const uchar* level = opponent.ptr<uchar>(y);
        const uchar* light = lightness.ptr<uchar>(y);
        uchar* out = stretched.ptr<uchar>(y);
        for (int x = 0; x < opponent.cols; ++x) {
            out[x] = table.ptr<uchar>(light[x])[level[x]];
        }
    }
    return stretched;
}

}  // namespace shapemark::robust
