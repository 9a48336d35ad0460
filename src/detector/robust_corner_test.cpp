#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

namespace {

double segmentDistance(cv::Point2d p, cv::Point2d a, cv::Point2d b) {
    const cv::Point2d ab = b - a;
    const double length2 = ab.dot(ab);
    const double t = length2 > 0.0 ? std::clamp((p - a).dot(ab) / length2, 0.0, 1.0) : 0.0;
    const cv::Point2d d = p - (a + t * ab);
    return std::sqrt(d.dot(d));
}

// How far the contour strays from its polygon, on average: a fraction of a pixel along the
// straight edges of a true polygon, a few per cent of its size along a curve.
double meanDeviation(const Contour& contour, const Contour& polygon) {
    double sum = 0.0;
    const std::size_t n = polygon.size();
    for (const cv::Point& p : contour) {
        double nearest = std::numeric_limits<double>::max();
        for (std::size_t k = 0; k < n; ++k) {
            nearest = std::min(nearest, segmentDistance(p, polygon[k], polygon[(k + 1) % n]));
        }
        sum += nearest;
    }
    return contour.empty() ? 0.0 : sum / static_cast<double>(contour.size());
}

double meanAlong(const Contour& contour, const cv::Mat& strength) {
    double sum = 0.0;
    for (const cv::Point& p : contour) {
        sum += strength.at<float>(p);
    }
    return contour.empty() ? 0.0 : sum / static_cast<double>(contour.size());
}

}  // namespace

cv::Mat edgeStrength(const cv::Mat& plane) {
    cv::Mat dx;
    cv::Mat dy;
    cv::Sobel(plane, dx, CV_32F, 1, 0);
    cv::Sobel(plane, dy, CV_32F, 0, 1);
    cv::Mat magnitude;
    cv::magnitude(dx, dy, magnitude);
    return magnitude;
}

Candidate cornerCandidate(const Contour& contour, const cv::Mat& strength, int minVertices,
                          int maxVertices) {
    Candidate candidate;
    candidate.area = cv::contourArea(contour);
    Contour hull;
    cv::convexHull(contour, hull);
    candidate.hull.assign(hull.begin(), hull.end());
    const double hullArea = cv::contourArea(candidate.hull);
    const double perimeter = cv::arcLength(contour, true);
    const double tolerance = std::max(tuning::kApproxShare * perimeter, tuning::kApproxFloor);
    cv::approxPolyDP(contour, candidate.polygon, tolerance, true);
    const auto vertices = static_cast<int>(candidate.polygon.size());
    candidate.onEdge = meanAlong(contour, strength) >= tuning::kMinEdgeStrength;
    candidate.passes = candidate.onEdge && vertices >= minVertices && vertices <= maxVertices &&
                       candidate.area >= tuning::kMinSolidity * hullArea &&
                       cv::isContourConvex(candidate.polygon) &&
                       meanDeviation(contour, candidate.polygon) <=
                           tuning::kCurveShare * std::sqrt(candidate.area) + tuning::kEdgeNoise;
    return candidate;
}

}  // namespace shapemark::robust
