#include "track/polygon_overlap.hpp"

#include <opencv2/imgproc.hpp>

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

double intersectionOverUnion(const FloatPolygon& a, const FloatPolygon& b) {
    if (a.size() < 3 || b.size() < 3) {
        return 0.0;
    }
    const double areaA = cv::contourArea(a);
    const double areaB = cv::contourArea(b);
    if (areaA <= 0.0 || areaB <= 0.0) {
        return 0.0;
    }
    FloatPolygon common;
    const double shared = static_cast<double>(cv::intersectConvexConvex(a, b, common, true));
    if (shared <= 0.0) {
        return 0.0;
    }
    return shared / (areaA + areaB - shared);
}

}  // namespace shapemark::track
