#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

bool flatFill(const cv::Mat& plane, const Contour& hull, const cv::Rect& frame) {
    constexpr int m = tuning::kFillMargin;
    constexpr int pad = 2 * m + 1;
    const cv::Rect box =
        (cv::boundingRect(hull) + cv::Size(2 * pad, 2 * pad) - cv::Point(pad, pad)) & frame &
        cv::Rect(0, 0, plane.cols, plane.rows);
    cv::Mat inside = cv::Mat::zeros(box.size(), CV_8UC1);
    Contour shifted(hull.size());
    std::transform(hull.begin(), hull.end(), shifted.begin(),
                   [&](const cv::Point& p) { return p - box.tl(); });
    cv::fillConvexPoly(inside, shifted, 255);
    const cv::Mat disc =
        cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * m + 1, 2 * m + 1));
    cv::Mat fill;
    cv::Mat near;
    cv::Mat ground;
    cv::erode(inside, fill, disc);
    cv::dilate(inside, near, disc);
    cv::dilate(near, ground, disc);
    ground.setTo(0, near);
    if (cv::countNonZero(fill) == 0 || cv::countNonZero(ground) == 0) {
        return false;
    }
    cv::Scalar fillMean;
    cv::Scalar grain;
    cv::meanStdDev(plane(box), fillMean, grain, fill);
    const double groundMean = cv::mean(plane(box), ground)[0];
    return std::abs(fillMean[0] - groundMean) >= tuning::kFlatFill * grain[0];
}

}  // namespace shapemark::robust
