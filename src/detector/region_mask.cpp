#include "detector/region_mask.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace shapemark::robust {

namespace {

// The contour with each run of equal 8-neighbour steps made one edge: horizontal, vertical
// or diagonal, so that it crosses every row at a whole pixel.
std::vector<cv::Point> straightRuns(const std::vector<cv::Point>& contour) {
    const std::size_t n = contour.size();
    auto step = [&](std::size_t i) { return contour[(i + 1) % n] - contour[i]; };
    std::vector<cv::Point> runs;
    runs.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (step((i + n - 1) % n) != step(i)) {
            runs.push_back(contour[i]);
        }
    }
    return runs;
}

bool neighbourSteps(const std::vector<cv::Point>& contour) {
    const std::size_t n = contour.size();
    for (std::size_t i = 0; i < n; ++i) {
        const cv::Point d = contour[(i + 1) % n] - contour[i];
        if (std::abs(d.x) > 1 || std::abs(d.y) > 1) {
            return false;
        }
    }
    return true;
}

}  // namespace

cv::Mat regionMask(const std::vector<cv::Point>& contour, const cv::Rect& box) {
    cv::Mat mask = cv::Mat::zeros(box.size(), CV_8U);
    if (contour.size() < 3 || !neighbourSteps(contour)) {
        cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{contour}, cv::Scalar(255),
                     cv::LINE_8, 0, -box.tl());
        return mask;
    }
    const std::vector<cv::Point> runs = straightRuns(contour);
    // Where each row crosses the edges, counted a row at a time (an edge holds the rows from
    // its lower end up to, not including, its upper end, so that a vertex is crossed once).
    std::vector<int> start(static_cast<std::size_t>(box.height) + 1, 0);
    auto eachCrossing = [&](auto&& visit) {
        const std::size_t n = runs.size();
        for (std::size_t i = 0; i < n; ++i) {
            cv::Point a = runs[i] - box.tl();
            cv::Point b = runs[(i + 1) % n] - box.tl();
            if (a.y == b.y) {
                continue;
            }
            if (a.y > b.y) {
                std::swap(a, b);
            }
            const int slope = (b.x - a.x) / (b.y - a.y);  // 0 or ±1
            for (int y = a.y; y < b.y; ++y) {
                visit(y, a.x + (y - a.y) * slope);
            }
        }
    };
    eachCrossing([&](int y, int) { ++start[static_cast<std::size_t>(y) + 1]; });
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<int> crossings(static_cast<std::size_t>(start.back()));
    std::vector<int> filled(start.begin(), start.end() - 1);
    eachCrossing([&](int y, int x) {
        crossings[static_cast<std::size_t>(filled[static_cast<std::size_t>(y)]++)] = x;
    });
    for (int y = 0; y < box.height; ++y) {
        auto* row = mask.ptr<uchar>(y);
        const auto first = crossings.begin() + start[static_cast<std::size_t>(y)];
        const auto last = crossings.begin() + start[static_cast<std::size_t>(y) + 1];
        std::sort(first, last);
        // Between the 1st and 2nd crossing, the 3rd and 4th, ...: inside. A crossing lies on
        // a pixel of the contour, drawn below in any case.
        for (auto it = first; it + 1 < last; it += 2) {
            std::fill(row + *it, row + *(it + 1) + 1, uchar{255});
        }
    }
    for (const cv::Point& p : contour) {
        mask.at<uchar>(p - box.tl()) = 255;
    }
    return mask;
}

}  // namespace shapemark::robust
