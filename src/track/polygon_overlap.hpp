// Convex outlines: how much two overlap, one moved, and what they cover.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace shapemark::track {

using FloatPolygon = std::vector<cv::Point2f>;

// The convex hull of a shape's vertices, in floating point: intersectConvexConvex wants convex
// polygons, and a caller's own shapes need not be.
FloatPolygon convexOutline(const std::vector<cv::Point>& polygon);

// The area two convex polygons share: 0 when they do not meet or either has no area.
double sharedArea(const FloatPolygon& a, const FloatPolygon& b);

// Intersection over union of two convex polygons: 0 when they do not meet or either has no
// area, 1 when they coincide.
double intersectionOverUnion(const FloatPolygon& a, const FloatPolygon& b);

// An outline moved by `by`.
FloatPolygon shifted(const FloatPolygon& outline, cv::Point2d by);

// Whether an outline covers a point.
bool covers(const FloatPolygon& outline, cv::Point2f at);

// Whether any of the frame's shapes covers a point.
bool anyCovers(const std::vector<FloatPolygon>& outlines, cv::Point2d at);

}  // namespace shapemark::track
