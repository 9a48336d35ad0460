#include <shapemark/detector_params.hpp>

#include <stdexcept>

#include "detector/detector.hpp"

namespace shapemark {

namespace {
// The robust detector is not built yet; asking for it is refused, not quietly run as classic.
void requireAvailable(DetectorKind kind) {
    if (kind == DetectorKind::Robust) {
        throw std::invalid_argument(
            "detector robust is not available in this version; use classic");
    }
}
}  // namespace

Detector::Detector(const DetectorParams& params) : params_(params) {
    params_.validate();
    requireAvailable(params_.detector);
}

std::vector<Shape> Detector::detect(const cv::Mat& bgr) const {
    requireColourImage(bgr, "shapemark::Detector::detect");
    // The one place a detector is chosen.
    switch (params_.detector) {
        case DetectorKind::Classic:
            return detectClassic(bgr, params_);
        case DetectorKind::Robust:
            break;
    }
    requireAvailable(params_.detector);
    return {};
}

void Detector::draw(cv::Mat& bgr, const std::vector<Shape>& shapes) {
    shapemark::draw(bgr, shapes);
}

}  // namespace shapemark
