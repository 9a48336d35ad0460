#include <stdexcept>
#include <string>

#include "detector/detector.hpp"

namespace shapemark {

void requireColourImage(const cv::Mat& bgr, const char* caller) {
    if (bgr.empty()) {
        throw std::invalid_argument(std::string(caller) +
                                    ": expected a non-empty 8-bit 3-channel BGR image, got an "
                                    "empty one");
    }
    if (bgr.type() != CV_8UC3 || bgr.dims != 2) {
        throw std::invalid_argument(
            std::string(caller) + ": expected an 8-bit 3-channel BGR image (CV_8UC3), got " +
            cv::typeToString(bgr.type()) + " with " + std::to_string(bgr.dims) + " dimensions");
    }
}

}  // namespace shapemark
