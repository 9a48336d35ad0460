#include "detector/region_mask.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace shapemark::robust {

namespace {

// The contour with each run of equal steps made one edge: horizontal, vertical or diagonal, so
// that it crosses every row at a whole pixel; none when a step is not to one of the 8
// neighbours. One pass, each step computed once.
bool straightRuns(const std::vector<cv::Point>& contour, std::vector<cv::Point>& runs) {
    const std::size_t n = contour.size();
    runs.reserve(n);
    cv::Point before = contour.front() - contour.back();
    for (std::size_t i = 0; i < n; ++i) {
        const cv::Point step = (i + 1 < n ? contour[i + 1] : contour.front()) - contour[i];
        if (std::abs(step.x) > 1 || std::abs(step.y) > 1) {
            return false;
        }
        if (step != before) {
            runs.push_back(contour[i]);
        }
        before = step;
    }
    return true;
}

}  // namespace

cv::Mat regionMask(const std::vector<cv::Point>& contour, const cv::Rect& box) {
    cv::Mat mask = cv::Mat::zeros(box.size(), CV_8U);
    std::vector<cv::Point> runs;
    if (contour.size() < 3 || !straightRuns(contour, runs)) {
        cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{contour}, cv::Scalar(255),
                     cv::LINE_8, 0, -box.tl());
        return mask;
    }
    // Where each row crosses the edges, counted a row at a time (an edge holds the rows from
    // its lower end up to, not including, its upper end, so that a vertex is crossed once).
    std::vector<int> start(static_cast<std::size_t>(box.height) + 1, 0);
    // Each edge runs from the run before (the last one's, for the first).
    auto eachCrossing = [&](auto&& visit) {
        cv::Point from = runs.empty() ? cv::Point() : runs.back() - box.tl();
        for (const cv::Point& run : runs) {
            cv::Point a = from;
            cv::Point b = run - box.tl();
            from = b;
            if (a.y == b.y) {
                continue;
            }
            if (a.y > b.y) {
                std::swap(a, b);
            }
            const int slope = (b.x > a.x) - (b.x < a.x);  // a run's: 0 or ±1 a row
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
