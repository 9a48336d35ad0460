#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

FloodedFill floodedFill(const cv::Mat& plane, const Contour& hull, const cv::Rect& room,
                        bool clip) {
    FloodedFill fill;
    const cv::Rect box = room & cv::Rect(0, 0, plane.cols, plane.rows);
    const cv::Moments moments = cv::moments(hull);
    if (box.empty() || moments.m00 <= 0.0) {
        return fill;
    }
    const cv::Point seed(cvRound(moments.m10 / moments.m00), cvRound(moments.m01 / moments.m00));
    constexpr int r = tuning::kFloodSeedRadius;
    const cv::Rect around(seed - cv::Point(r, r), cv::Size(2 * r + 1, 2 * r + 1));
    if ((around & box) != around) {
        return fill;
    }
    // A seed amid texture would grow a blob of it: only a flat fill is grown.
    double lowest = 0.0;
    double highest = 0.0;
    cv::minMaxLoc(plane(around), &lowest, &highest);
    if (highest - lowest > tuning::kFloodSeedSpread) {
        return fill;
    }
    // The fill stays inside the room: one that leaks into texture there fails as a shape.
    constexpr int kFilled = 255;
    cv::Mat filled = cv::Mat::zeros(box.height + 2, box.width + 2, CV_8UC1);
    const cv::Scalar step(tuning::kFloodStep);
    cv::Rect reach;
    cv::floodFill(plane(box), filled, seed - box.tl(), cv::Scalar(), &reach, step, step,
                  4 | (kFilled << 8) | cv::FLOODFILL_MASK_ONLY);
    fill.cut =
        reach.x == 0 || reach.y == 0 || reach.br().x == box.width || reach.br().y == box.height;
    // Only the fill's own box is traced (a wide room costs no more than its fill), with a
    // margin of two pixels: one for the dilation below, one of ground around it.
    constexpr int kMargin = 2;
    const cv::Rect traced =
        (reach - cv::Point(kMargin, kMargin) + cv::Size(2 * kMargin, 2 * kMargin)) &
        cv::Rect(0, 0, box.width, box.height);
    // Read apart from the mask's frame, which the library sets.
    cv::Mat region = filled(traced + cv::Point(1, 1)) == kFilled;
    if (clip) {
        cv::Mat inHull = cv::Mat::zeros(region.size(), CV_8UC1);
        Contour shifted(hull.size());
        const cv::Point origin = box.tl() + traced.tl();
        std::transform(hull.begin(), hull.end(), shifted.begin(),
                       [&](const cv::Point& p) { return p - origin; });
        cv::fillConvexPoly(inHull, shifted, kFilled);
        const int grown = cv::countNonZero(region);
        region &= inHull;
        fill.clipped = cv::countNonZero(region) < grown;
    }
    // The fill stops where the edge's blur begins: a pixel further out lies on the edge.
    cv::dilate(region, region, cv::Mat());
    std::vector<Contour> contours;
    cv::findContours(region, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE,
                     box.tl() + traced.tl());
    const auto largest = std::max_element(
        contours.begin(), contours.end(),
        [](const Contour& a, const Contour& b) { return contourAreaOf(a) < contourAreaOf(b); });
    if (largest != contours.end() &&
        contourAreaOf(*largest) >= tuning::kFloodShare * contourAreaOf(hull)) {
        fill.outline = std::move(*largest);
    }
    return fill;
}

}  // namespace shapemark::robust
