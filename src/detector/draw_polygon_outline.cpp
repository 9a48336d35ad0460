#include <opencv2/imgproc.hpp>

#include "detector/detector.hpp"

namespace shapemark {

void drawPolygonOutline(cv::Mat& img, const Polygon& approx) {
    const std::size_t n = approx.size();
    if (n < static_cast<std::size_t>(DetectorParams::kFewestVertices) ||
        n > static_cast<std::size_t>(DetectorParams::kMostVertices)) {
        return;
    }
    // Segment k runs from vertex k to vertex k+1; the last one closes back to vertex 0.
    for (std::size_t k = 0; k < n; ++k) {
        cv::line(img, approx[k], approx[(k + 1) % n], params::kOutlineColour,
                 params::kOutlineThickness, params::kOutlineLineType, params::kOutlineShift);
    }
}

}  // namespace shapemark
