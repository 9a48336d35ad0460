// The outer borders of a binary image's regions, traced point for point as the library's contour
// scanner (cvFindContours, CHAIN_APPROX_NONE) traces them and listed in the order cv::findContours
// lists them: in two-level mode (RETR_CCOMP) the contours without a parent, holes being traced
// and marked but never listed; external-only (RETR_EXTERNAL) all it lists. Short borders are
// never copied.
#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <functional>
#include <vector>

namespace shapemark::robust {

enum class Listing { kTwoLevel, kExternal };

// `padded` is CV_8UC1 of 0 and 1 inside a 1-pixel frame of zeros, as cv::findContours pads an
// image; it is overwritten with the tracer's marks. Points are in the unpadded image's
// coordinates. A border is copied out only when `keep` accepts its number of points.
std::vector<std::vector<cv::Point>> outerBorders(cv::Mat& padded,
                                                 const std::function<bool(std::size_t)>& keep,
                                                 Listing listing = Listing::kTwoLevel);

}  // namespace shapemark::robust
