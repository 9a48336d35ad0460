#include "detector/outline_distance.hpp"

#include <cfloat>
#include <cmath>

namespace shapemark::robust {

double outlineDistance(const std::vector<cv::Point>& polygon, cv::Point point) {
    if (polygon.empty()) {
        return -DBL_MAX;
    }
    // The nearest edge's squared distance as a fraction, compared by cross-multiplying.
    double nearestNum = FLT_MAX;
    double nearestDenom = 1.0;
    int crossings = 0;  // edges crossed by the ray to the right of the point
    const auto px = static_cast<double>(point.x);
    const auto py = static_cast<double>(point.y);
    cv::Point v = polygon.back();
    for (const cv::Point& next : polygon) {
        const cv::Point v0 = v;
        v = next;
        const auto dx = static_cast<double>(v.x - v0.x);
        const auto dy = static_cast<double>(v.y - v0.y);
        const double dx1 = px - v0.x;
        const double dy1 = py - v0.y;
        const double dx2 = px - v.x;
        const double dy2 = py - v.y;
        double num = 0.0;
        double denom = 1.0;
        if (dx1 * dx + dy1 * dy <= 0) {
            num = dx1 * dx1 + dy1 * dy1;  // nearest to the edge's start
        } else if (dx2 * dx + dy2 * dy >= 0) {
            num = dx2 * dx2 + dy2 * dy2;  // nearest to its end
        } else {
            num = dy1 * dx - dx1 * dy;  // nearest to its inside: the cross product over its length
            num *= num;
            denom = dx * dx + dy * dy;
        }
        if (num * nearestDenom < nearestNum * denom) {
            nearestNum = num;
            nearestDenom = denom;
            if (nearestNum == 0) {
                break;
            }
        }
        if ((v0.y <= py && v.y <= py) || (v0.y > py && v.y > py) || (v0.x < px && v.x < px)) {
            continue;
        }
        double side = dy1 * dx - dx1 * dy;
        if (dy < 0) {
            side = -side;
        }
        crossings += side > 0 ? 1 : 0;
    }
    const double distance = std::sqrt(nearestNum / nearestDenom);
    return crossings % 2 == 0 ? -distance : distance;
}

}  // namespace shapemark::robust
