#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

namespace {

// The circle that best fits the points (least squares on x² + y² + Dx + Ey + F = 0), and the
// root mean square of their distances to it; false when the points lie on a line.
bool fitCircle(const std::vector<cv::Point2d>& points, cv::Point2d& centre, double& radius,
               double& rms) {
    cv::Mat a(static_cast<int>(points.size()), 3, CV_64F);
    cv::Mat b(static_cast<int>(points.size()), 1, CV_64F);
    for (int i = 0; i < a.rows; ++i) {
        const cv::Point2d& p = points[static_cast<std::size_t>(i)];
        a.at<double>(i, 0) = p.x;
        a.at<double>(i, 1) = p.y;
        a.at<double>(i, 2) = 1.0;
        b.at<double>(i, 0) = -(p.x * p.x + p.y * p.y);
    }
    cv::Mat x;
    if (!cv::solve(a, b, x, cv::DECOMP_SVD)) {
        return false;
    }
    centre = {-x.at<double>(0) / 2.0, -x.at<double>(1) / 2.0};
    const double r2 = centre.dot(centre) - x.at<double>(2);
    if (!(r2 > 0.0)) {
        return false;
    }
    radius = std::sqrt(r2);
    double sum = 0.0;
    for (const cv::Point2d& p : points) {
        const double d = std::hypot(p.x - centre.x, p.y - centre.y) - radius;
        sum += d * d;
    }
    rms = std::sqrt(sum / static_cast<double>(points.size()));
    return true;
}

// Whether points lie inside a convex polygon by more than a depth, as
// cv::pointPolygonTest(polygon, point, true) > depth says, but mostly without calling it: inside
// a simple convex polygon the distance to its outline is the least distance to its edges' lines,
// which costs a few multiplications. Only points within rounding of the depth, or any point of
// a polygon that is not simple and convex, are left to pointPolygonTest.
class DeeperThan {
  public:
    DeeperThan(const Contour& polygon, double depth) : polygon_(polygon), depth_(depth) {
        const std::size_t n = polygon.size();
        double twiceArea = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            twiceArea += static_cast<double>(polygon[k].cross(polygon[(k + 1) % n]));
        }
        const double sign = twiceArea > 0.0 ? 1.0 : -1.0;
        simpleConvex_ = n >= 3 && twiceArea != 0.0;
        for (std::size_t k = 0; k < n && simpleConvex_; ++k) {
            const cv::Point a = polygon[k];
            const cv::Point2d edge(polygon[(k + 1) % n] - a);
            const double length = std::sqrt(edge.dot(edge));
            simpleConvex_ = length > 0.0;
            // Every vertex on the inner side of every edge: convex.
            for (const cv::Point& v : polygon) {
                simpleConvex_ = simpleConvex_ && sign * edge.cross(cv::Point2d(v - a)) >= 0.0;
            }
            edges_.push_back({cv::Point2d(a), edge * (sign / length)});
        }
        if (simpleConvex_) {
            // Wound once: a polygon wound twice over its hull encloses twice its area.
            Contour hull;
            cv::convexHull(polygon, hull);
            simpleConvex_ = std::abs(twiceArea) / 2.0 == cv::contourArea(hull);
        }
    }

    bool operator()(const cv::Point& point) const {
        if (simpleConvex_) {
            // Signed distance to the nearest edge line, positive inside.
            double nearest = std::numeric_limits<double>::max();
            for (const Edge& e : edges_) {
                nearest = std::min(nearest, e.unitDirection.cross(cv::Point2d(point) - e.start));
            }
            const double rounding = 1e-9 * (1.0 + std::abs(depth_));
            if (nearest < depth_ - rounding) {
                return false;
            }
            if (nearest > depth_ + rounding) {
                return true;
            }
        }
        return cv::pointPolygonTest(polygon_, cv::Point2f(point), true) > depth_;
    }

  private:
    struct Edge {
        cv::Point2d start;
        cv::Point2d unitDirection;  // turned so that the inside lies at positive cross products
    };
    const Contour& polygon_;
    double depth_;
    bool simpleConvex_ = false;
    std::vector<Edge> edges_;
};

}  // namespace

bool roundNotch(const Contour& contour, const Contour& polygon, double unit) {
    const double size = std::sqrt(cv::contourArea(polygon));
    const double off = tuning::kNotchDepth * size + tuning::kEdgeNoise * unit;
    // The contour's points inside the polygon by more than the edge noise: the notch.
    // A notch is at most half the contour, and one run of it (see below): a ragged blob, far
    // inside its hull or in and out of it, is given up as soon as it is past either, which
    // saves measuring the rest of its points.
    const DeeperThan deeper(polygon, off);
    std::vector<bool> inside(contour.size());
    std::size_t count = 0;
    int starts = 0;
    for (std::size_t i = 0; i < contour.size(); ++i) {
        inside[i] = deeper(contour[i]);
        count += inside[i] ? 1 : 0;
        starts += i > 0 && inside[i] && !inside[i - 1] ? 1 : 0;
        if (count > contour.size() / 2 || starts > 1) {
            return false;
        }
    }
    if (count < 8) {
        return false;
    }
    // One notch: its points make one run along the contour (a star or an arrow has several).
    std::size_t start = 0;
    while (start < contour.size() && inside[start]) {
        ++start;
    }
    if (start == contour.size()) {
        return false;
    }
    std::vector<cv::Point2d> notch;
    int runs = 0;
    for (std::size_t k = 1; k <= contour.size(); ++k) {
        const std::size_t i = (start + k) % contour.size();
        if (inside[i]) {
            runs += inside[(i + contour.size() - 1) % contour.size()] ? 0 : 1;
            notch.emplace_back(contour[i]);
        }
    }
    if (runs != 1) {
        return false;
    }
    // Round: it follows a circle whose centre lies inside the polygon (an L's corner does not).
    cv::Point2d centre;
    double radius = 0.0;
    double rms = 0.0;
    return fitCircle(notch, centre, radius, rms) && rms <= tuning::kNotchRoundness * radius &&
           radius < size && cv::pointPolygonTest(polygon, cv::Point2f(centre), false) > 0;
}

}  // namespace shapemark::robust
