#include <opencv2/imgproc.hpp>

#include <cmath>

#include "detector/detector.hpp"

namespace shapemark {

void scanContours(cv::Mat& Iat, const DetectorParams& p, Storage& storage) {
    // The contour finder's C form clears the image's outermost pixels before tracing, so a
    // region touching the edge is traced one pixel inside it; the C++ form pads instead.
    // Clearing them here keeps the C form's contours.
    Iat.row(0).setTo(0);
    Iat.row(Iat.rows - 1).setTo(0);
    Iat.col(0).setTo(0);
    Iat.col(Iat.cols - 1).setTo(0);
    cv::findContours(Iat, storage.contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE,
                     cv::Point(0, 0));
    storage.polygons.resize(storage.contours.size());
    const auto lowerBound = static_cast<double>(p.minArea);
    const auto fewest = static_cast<std::size_t>(p.minVertices);
    const auto most = static_cast<std::size_t>(p.maxVertices);
    for (std::size_t i = 0; i < storage.contours.size(); ++i) {
        const Polygon& contour = storage.contours[i];
        Polygon& approx = storage.polygons[i];
        const double area = cv::contourArea(contour, false);
        const double perimeter = cv::arcLength(contour, true);
        cv::approxPolyDP(contour, approx, p.approxTolerance * perimeter, true);
        if (!(std::fabs(area) > lowerBound)) {
            continue;
        }
        if (p.maxArea && !(std::fabs(area) < *p.maxArea)) {
            continue;
        }
        if (!cv::isContourConvex(approx)) {
            continue;
        }
        if (approx.size() < fewest || approx.size() > most) {
            continue;
        }
        storage.marked.push_back({i, std::fabs(area)});
    }
}

}  // namespace shapemark
