// The convex hull of a traced contour: what cv::convexHull gives for it, from fewer points.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace shapemark::robust {

// cv::convexHull(contour, hull) (points, counter-clockwise as the library lists them), point
// for point. Only a point outermost in both its row and its column can be a corner of the
// hull (any other lies between two points of the set), so only those are handed to the
// library, in the contour's order: the library drops points on the hull's edges, and starts
// its list by the order of the indices, which a subsequence keeps.
void contourHull(const std::vector<cv::Point>& contour, std::vector<cv::Point>& hull);

// The points of `contour` (inside `box`, its bounding rectangle) outermost in both their row
// and their column, in the contour's order: the library's hull of them is its hull of the whole
// contour, point for point, so any measure the library takes on the hull alone (the
// minimum-area rectangle) can be handed them instead.
std::vector<cv::Point> outermostPoints(const std::vector<cv::Point>& contour, const cv::Rect& box);

}  // namespace shapemark::robust
