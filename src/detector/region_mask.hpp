// The pixels a traced contour encloses, filled by scanlines.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace shapemark::robust {

// What cv::fillPoly(mask, {contour}, 255, cv::LINE_8, 0, -box.tl()) draws on a zeroed CV_8U
// image of box.size(), pixel for pixel, for a contour whose every step moves to one of the 8
// neighbours, as cv::findContours traces them (any other contour is left to cv::fillPoly):
// the contour's own pixels, and every pixel whose centre lies inside it, told by how often
// its row crosses the contour to the left of it.
cv::Mat regionMask(const std::vector<cv::Point>& contour, const cv::Rect& box);

}  // namespace shapemark::robust
