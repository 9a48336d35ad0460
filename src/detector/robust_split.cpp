#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "detector/mark_row.hpp"
#include "detector/outer_borders.hpp"
#include "detector/region_mask.hpp"
#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

std::vector<Contour> splitRagged(const cv::Mat& contrast, const Contour& contour, double offset,
                                 double minArea, double unit) {
    const cv::Rect box = cv::boundingRect(contour);
    const cv::Mat mask = regionMask(contour, box);
    // How far the region stands out at its strongest (its upper quartile): a shape stands out
    // further than the texture it touches, so a level at a share of that cuts the bridges.
    const cv::Mat roi = contrast(box);
    // Counted by value (a local contrast of an 8-bit plane lies within ±255), which finds the
    // quartile without gathering and partly sorting the values.
    constexpr int kMost = 255;
    std::array<int, 2 * kMost + 1> counts{};
    std::size_t samples = 0;
    // Every other row and column: a quartile needs no more.
    for (int y = 0; y < mask.rows; y += 2) {
        const auto* m = mask.ptr<uchar>(y);
        const auto* v = roi.ptr<short>(y);
        for (int x = 0; x < mask.cols; x += 2) {
            if (m[x] != 0) {
                const int bin = (offset > 0 ? v[x] : -v[x]) + kMost;
                CV_Assert(bin >= 0 && bin <= 2 * kMost);
                ++counts[static_cast<std::size_t>(bin)];
                ++samples;
            }
        }
    }
    // The value at position samples·3/4 of the sorted samples.
    const std::size_t rank = samples * 3 / 4;
    if (rank == samples) {
        return {};
    }
    std::size_t bin = 0;
    for (std::size_t below = 0;; ++bin) {
        below += static_cast<std::size_t>(counts[bin]);
        if (below > rank) {
            break;
        }
    }
    const int quartile = static_cast<int>(bin) - kMost;
    const double level = tuning::kSplitLevel * static_cast<double>(quartile);
    if (level <= std::abs(offset)) {
        return {};  // no stronger core than the region itself
    }
    // The pieces are written straight into an image with the 1-pixel border of zeros that
    // cv::findContours would copy them into, as the 0 and 1 the border tracer reads, and traced
    // as the library lists them external-only: specks are never copied out.
    cv::Mat padded = cv::Mat::zeros(box.height + 2, box.width + 2, CV_8UC1);
    // Within the region, the pixels beyond the level.
    cv::Mat inside = padded(cv::Rect(1, 1, box.width, box.height));
    markBeyond(roi, offset > 0 ? level : -level, offset > 0, inside);
    cv::bitwise_and(inside, mask, inside);  // the mask is 0 or 255
    std::vector<Contour> out;
    for (Contour& c : outerBorders(
             padded, [minArea](std::size_t points) { return mayEncloseMore(points, minArea); },
             Listing::kExternal)) {
        std::transform(c.begin(), c.end(), c.begin(),
                       [&box](const cv::Point& p) { return p + box.tl(); });
        const double area = contourAreaOf(c);
        if (area > minArea && wideEnough(c, area, cv::boundingRect(c), tuning::kMinWidth * unit)) {
            out.push_back(std::move(c));
        }
    }
    return out;
}

}  // namespace shapemark::robust
