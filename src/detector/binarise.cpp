#include <shapemark/detector_params.hpp>

#include "detector/detector.hpp"

namespace shapemark {

cv::Mat binarise(const cv::Mat& bgr, const DetectorParams& params) {
    requireColourImage(bgr, "shapemark::binarise");
    params.validate();
    cv::Mat grey;
    cv::Mat binary;
    binariseFrame(bgr, grey, binary, params);
    return binary;
}

}  // namespace shapemark
