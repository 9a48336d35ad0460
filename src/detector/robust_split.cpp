#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

std::vector<Contour> splitRagged(const cv::Mat& contrast, const Contour& contour, double offset,
                                 double minArea, double unit) {
    const cv::Rect box = cv::boundingRect(contour);
    cv::Mat mask = cv::Mat::zeros(box.size(), CV_8U);
    cv::drawContours(mask, std::vector<Contour>{contour}, 0, cv::Scalar(255), cv::FILLED,
                     cv::LINE_8, cv::noArray(), 0, -box.tl());
    // How far the region stands out at its strongest (its upper quartile): a shape stands out
    // further than the texture it touches, so a level at a share of that cuts the bridges.
    const double sign = offset > 0 ? 1.0 : -1.0;
    const cv::Mat roi = contrast(box);
    std::vector<short> inside;
    // Every other row and column: a quartile needs no more.
    for (int y = 0; y < mask.rows; y += 2) {
        const auto* m = mask.ptr<uchar>(y);
        const auto* v = roi.ptr<short>(y);
        for (int x = 0; x < mask.cols; x += 2) {
            if (m[x] != 0) {
                inside.push_back(static_cast<short>(sign * v[x]));
            }
        }
    }
    const auto quartile = inside.begin() + static_cast<std::ptrdiff_t>(inside.size() * 3 / 4);
    if (quartile == inside.end()) {
        return {};
    }
    std::nth_element(inside.begin(), quartile, inside.end());
    const double level = tuning::kSplitLevel * static_cast<double>(*quartile);
    if (level <= std::abs(offset)) {
        return {};  // no stronger core than the region itself
    }
    cv::Mat pieces;
    cv::compare(roi, cv::Scalar::all(sign * level), pieces, offset > 0 ? cv::CMP_GT : cv::CMP_LT);
    pieces &= mask;
    std::vector<Contour> found;
    cv::findContours(pieces, found, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE, box.tl());
    std::vector<Contour> out;
    for (Contour& c : found) {
        if (!mayEncloseMore(c, minArea)) {
            continue;
        }
        const double area = cv::contourArea(c);
        if (area > minArea && wideEnough(c, area, cv::boundingRect(c), tuning::kMinWidth * unit)) {
            out.push_back(std::move(c));
        }
    }
    return out;
}

}  // namespace shapemark::robust
