// A point's signed distance to a polygon's outline: cv::pointPolygonTest's measure, without
// the library's per-call overhead, for loops that measure many points against one polygon.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace shapemark::robust {

// cv::pointPolygonTest(polygon, cv::Point2f(point), true), bit for bit: the distance to the
// nearest edge, positive inside, negative outside, zero on the outline. Every coordinate is a
// small integer, so the library's single-precision differences are exact in double, and the
// rest is the library's own arithmetic in its own order.
double outlineDistance(const std::vector<cv::Point>& polygon, cv::Point point);

}  // namespace shapemark::robust
