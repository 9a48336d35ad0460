#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <utility>

#include "detector/box_contrast.hpp"
#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

namespace {

// Keeps the outer boundaries (no parent in the two-level hierarchy) that could be a shape.
void keepOuter(const cv::Mat& binary, double minArea, double maxArea, double unit,
               std::vector<Contour>& out) {
    std::vector<Contour> contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(binary, contours, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_NONE);
    for (std::size_t i = 0; i < contours.size(); ++i) {
        if (hierarchy[i][3] >= 0) {
            continue;  // a hole
        }
        Contour& contour = contours[i];
        if (!mayEncloseMore(contour, minArea)) {
            continue;
        }
        const double area = cv::contourArea(contour);
        if (!(area > minArea && area < maxArea)) {
            continue;
        }
        if (!wideEnough(contour, area, cv::boundingRect(contour), tuning::kMinWidth * unit)) {
            continue;
        }
        out.push_back(std::move(contour));
    }
}

}  // namespace

bool mayEncloseMore(const Contour& contour, double area) {
    const auto n = static_cast<double>(contour.size());
    return n * n >= 2.0 * CV_PI * area;
}

bool wideEnough(const Contour& contour, double area, const cv::Rect& box, double minWidth) {
    // The hull of a region of width w and diameter D lies in a w × D strip, so an area of more
    // than minWidth × D proves the width without fitting the rectangle; the margin stays clear
    // of the rectangle's single-precision rounding.
    constexpr double kRounding = 0.05;
    if (area >= (minWidth + kRounding) * std::hypot(box.width, box.height)) {
        return true;
    }
    const cv::Size2f rect = cv::minAreaRect(contour).size;
    return std::min(rect.width, rect.height) >= minWidth;
}

cv::Mat localContrast(const cv::Mat& plane, int window) {
    return boxContrast(plane, window);
}

cv::Mat standsOut(const cv::Mat& contrast, double offset) {
    cv::Mat binary;
    cv::compare(contrast, cv::Scalar::all(offset), binary, offset > 0 ? cv::CMP_GT : cv::CMP_LT);
    return binary;
}

void outerContours(const cv::Mat& contrast, double offset, double minArea, double maxArea,
                   double unit, std::vector<Contour>& out) {
    keepOuter(standsOut(contrast, offset), minArea, maxArea, unit, out);
}

}  // namespace shapemark::robust
