#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

namespace {

// The contour with each run of equal 8-neighbour steps made one edge. Filled, it covers the
// same pixels as the contour (such a run is drawn, and crossed by each scanline, at the same
// places as its steps), for a fraction of the edges.
Contour straightRuns(const Contour& contour) {
    const std::size_t n = contour.size();
    if (n < 3) {
        return contour;
    }
    auto step = [&](std::size_t i) { return contour[(i + 1) % n] - contour[i]; };
    Contour runs;
    for (std::size_t i = 0; i < n; ++i) {
        const cv::Point in = step((i + n - 1) % n);
        const cv::Point out = step(i);
        const bool unit = std::abs(out.x) <= 1 && std::abs(out.y) <= 1;
        if (!(unit && in == out)) {
            runs.push_back(contour[i]);
        }
    }
    return runs.empty() ? contour : runs;
}

}  // namespace

std::vector<Contour> splitRagged(const cv::Mat& contrast, const Contour& contour, double offset,
                                 double minArea, double unit) {
    const cv::Rect box = cv::boundingRect(contour);
    cv::Mat mask = cv::Mat::zeros(box.size(), CV_8U);
    cv::fillPoly(mask, std::vector<Contour>{straightRuns(contour)}, cv::Scalar(255), cv::LINE_8, 0,
                 -box.tl());
    // How far the region stands out at its strongest (its upper quartile): a shape stands out
    // further than the texture it touches, so a level at a share of that cuts the bridges.
    const double sign = offset > 0 ? 1.0 : -1.0;
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
