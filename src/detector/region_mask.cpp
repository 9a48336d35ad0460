#include "detector/region_mask.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace shapemark::robust {

namespace {

bool neighbourSteps(const std::vector<cv::Point>& contour) {
    cv::Point before = contour.back();
    for (const cv::Point& p : contour) {
        if (std::abs(p.x - before.x) > 1 || std::abs(p.y - before.y) > 1) {
            return false;
        }
        before = p;
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
    // Where each row crosses the contour. Drawn as straight edges through its runs of equal
    // steps, it crosses each row an edge holds (from the end of smaller y up to, not
    // including, the other, so that a vertex is crossed once) at the edge's own pixel there:
    // every step up or down crosses the row of its end of smaller y, at that end; a level
    // step crosses none.
    std::vector<int> start(static_cast<std::size_t>(box.height) + 1, 0);
    auto eachStep = [&](auto&& visit) {
        cv::Point from = contour.back() - box.tl();
        for (const cv::Point& p : contour) {
            const cv::Point to = p - box.tl();
            visit(from, to);
            from = to;
        }
    };
    eachStep([&](cv::Point from, cv::Point to) {
        start[static_cast<std::size_t>(std::min(from.y, to.y)) + 1] += from.y != to.y ? 1 : 0;
    });
    std::partial_sum(start.begin(), start.end(), start.begin());
    // One slot more, written by the level steps and never read: no branch to mispredict.
    const int level = start.back();
    std::vector<int> crossings(static_cast<std::size_t>(level) + 1);
    std::vector<int> filled(start.begin(), start.end() - 1);
    eachStep([&](cv::Point from, cv::Point to) {
        int& next = filled[static_cast<std::size_t>(std::min(from.y, to.y))];
        const bool crosses = from.y != to.y;
        crossings[static_cast<std::size_t>(crosses ? next : level)] = from.y < to.y ? from.x : to.x;
        next += crosses ? 1 : 0;
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
