// CIE Lab planes of an 8-bit BGR image, byte for byte what cv::cvtColor(COLOR_BGR2Lab) and
// cv::split give, written straight into planes and several times cheaper.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace shapemark::robust {

// L, a and b of `bgr` (CV_8UC3, any stride), each CV_8UC1.
std::vector<cv::Mat> labPlanes(const cv::Mat& bgr);

// One of them: 0 for L, 1 for a, 2 for b; a plane alone costs less than all three.
cv::Mat labPlane(const cv::Mat& bgr, int plane);

}  // namespace shapemark::robust
