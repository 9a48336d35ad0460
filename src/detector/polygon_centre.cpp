#include <opencv2/imgproc.hpp>

#include "detector/detector.hpp"

namespace shapemark {

cv::Point2d polygonCentre(const Polygon& polygon) {
    const cv::Moments m = cv::moments(polygon);
    if (m.m00 != 0.0) {
        return {m.m10 / m.m00, m.m01 / m.m00};
    }
    // A flat polygon has no area to weigh; its vertices still say where it is.
    cv::Point2d sum(0.0, 0.0);
    for (const cv::Point& p : polygon) {
        sum += cv::Point2d(p);
    }
    return polygon.empty() ? sum : sum / static_cast<double>(polygon.size());
}

}  // namespace shapemark
