#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

#include "detector/box_contrast.hpp"
#include "detector/contour_hull.hpp"
#include "detector/mark_row.hpp"
#include "detector/outer_borders.hpp"
#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

namespace {

// The pixels that stand out (markBeyond: brighter than their surroundings by more than a
// positive offset, darker by more than a negative one) inside a 1-pixel frame of zeros, as the
// tracer wants them.
cv::Mat paddedRegions(const cv::Mat& contrast, double offset) {
    cv::Mat padded(contrast.rows + 2, contrast.cols + 2, CV_8UC1);
    // Only the frame is zeroed: every pixel inside is written.
    padded.row(0).setTo(0);
    padded.row(padded.rows - 1).setTo(0);
    padded.col(0).setTo(0);
    padded.col(padded.cols - 1).setTo(0);
    markBeyond(contrast, offset, offset > 0, padded(cv::Rect(1, 1, contrast.cols, contrast.rows)));
    return padded;
}

}  // namespace

double contourAreaOf(const Contour& contour) {
    if (contour.empty()) {
        return 0.0;
    }
    std::int64_t twice = 0;
    cv::Point prev = contour.back();
    for (const cv::Point& p : contour) {
        twice += std::int64_t{prev.x} * p.y - std::int64_t{prev.y} * p.x;
        prev = p;
    }
    return std::abs(static_cast<double>(twice) * 0.5);
}

bool mayEncloseMore(std::size_t points, double area) {
    const auto n = static_cast<double>(points);
    return n * n >= 2.0 * CV_PI * area;
}

namespace {

// An upper bound on the greatest distance between two of the contour's points, from its extents
// across the axes (its bounding box, a pixel wider each way) and across the diagonals: each
// pair of extents bounds it by its rectangle's diagonal, and the greatest of the four by
// 1 / cos 22.5° (the extent is sublinear in the direction, and every direction lies within
// 22.5° of one of the four).
double diameterBound(const Contour& contour, const cv::Rect& box) {
    int sumLo = INT_MAX;
    int sumHi = INT_MIN;
    int diffLo = INT_MAX;
    int diffHi = INT_MIN;
    for (const cv::Point& p : contour) {
        sumLo = std::min(sumLo, p.x + p.y);
        sumHi = std::max(sumHi, p.x + p.y);
        diffLo = std::min(diffLo, p.x - p.y);
        diffHi = std::max(diffHi, p.x - p.y);
    }
    const double across = static_cast<double>(sumHi - sumLo) * M_SQRT1_2;
    const double along = static_cast<double>(diffHi - diffLo) * M_SQRT1_2;
    constexpr double kBetweenDirections = 1.0824;  // 1 / cos 22.5° = 1.08239...
    const double widest =
        std::max({static_cast<double>(std::max(box.width, box.height)), across, along});
    return std::min({std::hypot(box.width, box.height), std::hypot(across, along),
                     kBetweenDirections * widest});
}

}  // namespace

bool wideEnough(const Contour& contour, double area, const cv::Rect& box, double minWidth) {
    // The hull of a region of width w and diameter D lies in a w × D strip, so an area of more
    // than minWidth × D proves the width without fitting the rectangle; the margin stays clear
    // of the rectangle's single-precision rounding. The box's diagonal bounds D at once; a
    // closer bound settles most of the rest.
    constexpr double kRounding = 0.05;
    if (area >= (minWidth + kRounding) * std::hypot(box.width, box.height) ||
        area > (minWidth + kRounding) * diameterBound(contour, box)) {  // a point bounds D by 0
        return true;
    }
    // The rectangle is fitted to the hull, which the outermost points give at less cost.
    const cv::Size2f rect = cv::minAreaRect(outermostPoints(contour, box)).size;
    return std::min(rect.width, rect.height) >= minWidth;
}

cv::Mat localContrast(const cv::Mat& plane, int window) {
    return boxContrast(plane, window);
}

cv::Mat standsOut(const cv::Mat& contrast, double offset) {
    return paddedRegions(contrast, offset)(cv::Rect(1, 1, contrast.cols, contrast.rows)) * 255;
}

std::vector<Contour> allOuterContours(const cv::Mat& contrast, double offset) {
    cv::Mat padded = paddedRegions(contrast, offset);
    return outerBorders(padded, [](std::size_t) { return true; });
}

void outerContours(const cv::Mat& contrast, double offset, double minArea, double maxArea,
                   double unit, std::vector<Contour>& out) {
    cv::Mat padded = paddedRegions(contrast, offset);
    // The specks, most borders, are never copied out.
    for (Contour& contour : outerBorders(
             padded, [minArea](std::size_t points) { return mayEncloseMore(points, minArea); })) {
        const double area = contourAreaOf(contour);
        if (!(area > minArea && area < maxArea)) {
            continue;
        }
        if (!wideEnough(contour, area, cv::boundingRect(contour), tuning::kMinWidth * unit)) {
            continue;
        }
        out.push_back(std::move(contour));
    }
}

}  // namespace shapemark::robust
