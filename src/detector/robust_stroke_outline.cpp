#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

namespace {

// Whether some corner of the convex polygon is sharper than tuning::kAcuteCorner.
bool hasAcuteCorner(const Contour& polygon) {
    const std::size_t n = polygon.size();
    for (std::size_t i = 0; i < n; ++i) {
        const cv::Point2d a = cv::Point2d(polygon[(i + n - 1) % n] - polygon[i]);
        const cv::Point2d b = cv::Point2d(polygon[(i + 1) % n] - polygon[i]);
        const double cosine = a.dot(b) / (std::hypot(a.x, a.y) * std::hypot(b.x, b.y));
        if (cosine > std::cos(tuning::kAcuteCorner * CV_PI / 180.0)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<Candidate> strokeOutline(const Candidate& hole, const Candidate& stroke) {
    const Contour& inner = hole.polygon;
    const std::size_t n = inner.size();
    if (n < 3 || !hasAcuteCorner(inner)) {
        return std::nullopt;
    }
    cv::Point2d centre;
    for (const cv::Point& p : inner) {
        centre += cv::Point2d(p) / static_cast<double>(n);
    }
    // Each side's outward normal and the stroke's width across it: how far its outer edge, whose
    // sides run parallel to the hole's, reaches beyond that side.
    std::vector<cv::Point2d> normals(n);
    std::vector<double> widths(n);
    for (std::size_t i = 0; i < n; ++i) {
        const cv::Point2d a(inner[i]);
        const cv::Point2d side = cv::Point2d(inner[(i + 1) % n]) - a;
        cv::Point2d normal(side.y, -side.x);
        normal /= std::hypot(normal.x, normal.y);
        if (normal.dot(centre - a) > 0.0) {
            normal = -normal;
        }
        normals[i] = normal;
        widths[i] = 0.0;
        for (const cv::Point2f& p : stroke.hull) {
            widths[i] = std::max(widths[i], normal.dot(cv::Point2d(p) - a));
        }
    }
    const auto [thinnest, thickest] = std::minmax_element(widths.begin(), widths.end());
    if (*thinnest <= 0.0 || *thickest > *thinnest + tuning::kStrokeUnevenness) {
        return std::nullopt;  // no stroke of one width around it
    }
    // The polygon the stroke was drawn along runs midway through it; its own outer edge is
    // rounded where it turns an acute corner, and is no polygon.
    Candidate outline = hole;
    outline.polygon.clear();
    outline.hull.clear();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t j = (i + n - 1) % n;
        // The corner where side j, moved out by half its width, meets side i so moved.
        const double ci = normals[i].dot(cv::Point2d(inner[i])) + widths[i] * tuning::kStrokeReach;
        const double cj = normals[j].dot(cv::Point2d(inner[j])) + widths[j] * tuning::kStrokeReach;
        const double det = normals[j].x * normals[i].y - normals[j].y * normals[i].x;
        if (std::abs(det) < 1e-9) {
            return std::nullopt;
        }
        const cv::Point2d corner((cj * normals[i].y - ci * normals[j].y) / det,
                                 (normals[j].x * ci - normals[i].x * cj) / det);
        outline.hull.emplace_back(corner);
        outline.polygon.emplace_back(cvRound(corner.x), cvRound(corner.y));
    }
    outline.area = cv::contourArea(outline.hull);
    return outline;
}

}  // namespace shapemark::robust
