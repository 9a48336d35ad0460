#include "track/polygon_overlap.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace shapemark::track {

FloatPolygon convexOutline(const std::vector<cv::Point>& polygon) {
    FloatPolygon outline;
    if (polygon.empty()) {
        return outline;
    }
    std::vector<cv::Point2f> points(polygon.begin(), polygon.end());
    cv::convexHull(points, outline);
    return outline;
}

double sharedArea(const FloatPolygon& a, const FloatPolygon& b) {
    if (a.size() < 3 || b.size() < 3) {
        return 0.0;
    }
    FloatPolygon common;
    return std::max(0.0, static_cast<double>(cv::intersectConvexConvex(a, b, common, true)));
}

double intersectionOverUnion(const FloatPolygon& a, const FloatPolygon& b) {
    if (a.size() < 3 || b.size() < 3) {
        return 0.0;
    }
    const double areaA = cv::contourArea(a);
    const double areaB = cv::contourArea(b);
    if (areaA <= 0.0 || areaB <= 0.0) {
        return 0.0;
    }
    const double shared = sharedArea(a, b);
    if (shared <= 0.0) {
        return 0.0;
    }
    return shared / (areaA + areaB - shared);
}

FloatPolygon shifted(const FloatPolygon& outline, cv::Point2d by) {
    FloatPolygon moved(outline.size());
    const cv::Point2f offset(static_cast<float>(by.x), static_cast<float>(by.y));
    std::transform(outline.begin(), outline.end(), moved.begin(),
                   [offset](cv::Point2f point) { return point + offset; });
    return moved;
}

bool covers(const FloatPolygon& outline, cv::Point2f at) {
    return cv::pointPolygonTest(outline, at, false) > 0.0;
}

bool anyCovers(const std::vector<FloatPolygon>& outlines, cv::Point2d at) {
    return std::any_of(outlines.begin(), outlines.end(), [at](const FloatPolygon& outline) {
        return covers(outline, cv::Point2f(at));
    });
}

}  // namespace shapemark::track
