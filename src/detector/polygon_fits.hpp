// Douglas-Peucker fits of one closed contour at several tolerances, sharing their work.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace shapemark::robust {

// polygons[i] = what cv::approxPolyDP(contour, polygons[i], tolerances[i], true) gives, point
// for point. The library's fit starts from the same two far points and splits a stretch at
// the same point whatever the tolerance, which only decides where the splitting stops: the
// far points and each stretch's split are found once for all the tolerances.
void closedPolygonFits(const std::vector<cv::Point>& contour, const std::vector<double>& tolerances,
                       std::vector<std::vector<cv::Point>>& polygons);

}  // namespace shapemark::robust
