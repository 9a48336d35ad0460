// How far each pixel lies above the mean of the box around it: byte for byte what
// cv::boxFilter (normalised, 16-bit signed, replicated border) and cv::subtract give, in one
// pass that keeps only a row of column sums.
#pragma once

#include <opencv2/core.hpp>

namespace shapemark::robust {

// `plane` (CV_8UC1, any stride; a region of interest reads its parent's pixels beyond its edge,
// as OpenCV's filters do) minus the rounded mean of the odd `window`-wide box around each
// pixel, as CV_16S.
cv::Mat boxContrast(const cv::Mat& plane, int window);

}  // namespace shapemark::robust
