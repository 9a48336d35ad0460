// The frame scaled to the working image, as cv::resize scales it with INTER_LINEAR.
#pragma once

#include <opencv2/core.hpp>

namespace shapemark::robust {

// cv::resize(bgr, ·, Size(), scale, scale, INTER_LINEAR)'s bytes. A 1080p frame's two thirds
// (8-bit, 3 channels, sides multiples of 3) are made here, at AVX2 width where the CPU has it:
// the library's general loops took an eighth of the detector's instructions.
cv::Mat linearDownscale(const cv::Mat& bgr, double scale);

}  // namespace shapemark::robust
