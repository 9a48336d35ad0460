#include <opencv2/imgproc.hpp>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

std::vector<cv::Mat> candidatePlanes(const cv::Mat& bgr, double scale) {
    cv::Mat working = bgr;
    if (scale < 1.0) {
        cv::resize(bgr, working, cv::Size(), scale, scale, cv::INTER_AREA);
    }
    // Lab separates lightness from the two colour-opponent axes, so a shape that only differs
    // in hue from its background stands out on a plane of its own.
    cv::Mat lab;
    cv::cvtColor(working, lab, cv::COLOR_BGR2Lab);
    std::vector<cv::Mat> planes;
    cv::split(lab, planes);
    for (cv::Mat& plane : planes) {
        cv::GaussianBlur(plane, plane, cv::Size(), tuning::kSmoothSigma);
    }
    return planes;
}

}  // namespace shapemark::robust
