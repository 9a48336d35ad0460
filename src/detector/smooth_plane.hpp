// Pre-smoothing of a plane, as cv::GaussianBlur smooths it.
#pragma once

#include <opencv2/core.hpp>

namespace shapemark::robust {

// cv::GaussianBlur(plane, ·, Size(), sigma)'s bytes. An 8-bit plane of its own (no window into
// a larger image) is smoothed here at AVX2 width where the CPU has it, with the library's own
// taps; else by the library.
cv::Mat smoothPlane(const cv::Mat& plane, double sigma);

}  // namespace shapemark::robust
