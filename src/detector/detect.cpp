#include <shapemark/detector_params.hpp>
#include <shapemark/shapemark.hpp>

#include "detector/detector.hpp"

namespace shapemark {

std::vector<Shape> detect(const cv::Mat& bgr, int areaSize) {
    requireColourImage(bgr, "shapemark::detect");
    DetectorParams params;
    params.minArea = areaSize;
    return detectClassic(bgr, params);
}

}  // namespace shapemark
