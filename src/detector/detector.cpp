#include <shapemark/detector_params.hpp>

#include "detector/detector.hpp"
#include "detector/robust_detect.hpp"

namespace shapemark {

Detector::Detector(const DetectorParams& params) : params_(params) {
    params_.validate();
}

std::vector<Shape> Detector::detect(const cv::Mat& bgr) const {
    requireColourImage(bgr, "shapemark::Detector::detect");
    // The one place a detector is chosen.
    if (params_.detector == DetectorKind::Robust) {
        return detectRobust(bgr, params_);
    }
    return detectClassic(bgr, params_);
}

void Detector::draw(cv::Mat& bgr, const std::vector<Shape>& shapes) {
    shapemark::draw(bgr, shapes);
}

}  // namespace shapemark
