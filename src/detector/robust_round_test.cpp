#include <opencv2/imgproc.hpp>

#include <cmath>

#include "detector/ellipse_fit.hpp"
#include "detector/outline_distance.hpp"
#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

namespace {

// The root mean square of the contour's distances to the ellipse fitted to it, each measured
// along the ray from the ellipse's centre.
double ellipseRms(const Contour& contour) {
    const cv::RotatedRect e = fitContourEllipse(contour);
    const double a = e.size.width / 2.0;
    const double b = e.size.height / 2.0;
    if (!(a > 0.0 && b > 0.0)) {
        return 0.0;
    }
    const double angle = e.angle * CV_PI / 180.0;
    const cv::Point2d u(std::cos(angle), std::sin(angle));
    const cv::Point2d v(-u.y, u.x);
    double sum = 0.0;
    for (const cv::Point& point : contour) {
        const cv::Point2d d = cv::Point2d(point) - cv::Point2d(e.center);
        const double r = std::hypot(d.dot(u) / a, d.dot(v) / b);
        const double distance = r > 0.0 ? std::abs(1.0 - 1.0 / r) * std::hypot(d.x, d.y) : a;
        sum += distance * distance;
    }
    return std::sqrt(sum / static_cast<double>(contour.size()));
}

double polygonRms(const Contour& contour, const Contour& polygon) {
    double sum = 0.0;
    for (const cv::Point& point : contour) {
        const double distance = outlineDistance(polygon, point);
        sum += distance * distance;
    }
    return std::sqrt(sum / static_cast<double>(contour.size()));
}

}  // namespace

bool looksRound(const Contour& contour, const Contour& polygon, double ratio) {
    if (contour.size() < 5) {
        return false;  // too few points to fit an ellipse
    }
    return ellipseRms(contour) <= ratio * polygonRms(contour, polygon);
}

}  // namespace shapemark::robust
