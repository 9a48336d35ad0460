#include <opencv2/imgproc.hpp>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

std::vector<cv::Mat> candidatePlanes(const cv::Mat& bgr, double scale) {
    cv::Mat working = bgr;
    if (scale < 1.0) {
        cv::resize(bgr, working, cv::Size(), scale, scale, cv::INTER_LINEAR);
    }
    // Lab separates lightness from the two colour-opponent axes, so a shape that only differs
    // in hue from its background stands out on a plane of its own.
    cv::Mat lab;
    cv::cvtColor(working, lab, cv::COLOR_BGR2Lab);
    std::vector<cv::Mat> planes;
    cv::split(lab, planes);
    for (std::size_t i = 0; i < planes.size(); ++i) {
        if (planeUnit(i) < 1.0) {
            cv::resize(planes[i], planes[i], cv::Size(), planeUnit(i), planeUnit(i),
                       cv::INTER_AREA);
        }
        cv::GaussianBlur(planes[i], planes[i], cv::Size(), tuning::kSmoothSigma * planeUnit(i));
    }
    return planes;
}

double planeUnit(std::size_t plane) {
    return plane == 0 ? 1.0 : tuning::kColourUnit;
}

}  // namespace shapemark::robust
