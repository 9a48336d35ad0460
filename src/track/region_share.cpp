#include "track/region_share.hpp"

#include <opencv2/imgproc.hpp>

namespace shapemark::track {

namespace {

// The area of `region` that `outline` covers: 0 when they do not meet.
double coveredArea(const FloatPolygon& region, const FloatPolygon& outline) {
    if (region.size() < 3 || outline.size() < 3) {
        return 0.0;
    }
    FloatPolygon common;
    return static_cast<double>(cv::intersectConvexConvex(region, outline, common, true));
}

}  // namespace

bool coversMore(const FloatPolygon& region, const FloatPolygon& other, const FloatPolygon& holder) {
    return coveredArea(region, other) > coveredArea(region, holder);
}

}  // namespace shapemark::track
