#include "detector/contour_hull.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <limits>

namespace shapemark::robust {

void contourHull(const std::vector<cv::Point>& contour, std::vector<cv::Point>& hull) {
    if (contour.empty()) {
        cv::convexHull(contour, hull);
        return;
    }
    int top = std::numeric_limits<int>::max();
    int bottom = std::numeric_limits<int>::min();
    for (const cv::Point& p : contour) {
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    const auto rows = static_cast<std::size_t>(bottom - top) + 1;
    std::vector<int> left(rows, std::numeric_limits<int>::max());
    std::vector<int> right(rows, std::numeric_limits<int>::min());
    for (const cv::Point& p : contour) {
        const auto row = static_cast<std::size_t>(p.y - top);
        left[row] = std::min(left[row], p.x);
        right[row] = std::max(right[row], p.x);
    }
    std::vector<cv::Point> ends;
    ends.reserve(std::min(contour.size(), 2 * rows + 2));
    for (const cv::Point& p : contour) {
        const auto row = static_cast<std::size_t>(p.y - top);
        if (p.x == left[row] || p.x == right[row]) {
            ends.push_back(p);
        }
    }
    cv::convexHull(ends, hull);
}

}  // namespace shapemark::robust
