#include "detector/contour_hull.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <limits>

namespace shapemark::robust {

std::vector<cv::Point> outermostPoints(const std::vector<cv::Point>& contour, const cv::Rect& box) {
    const auto rows = static_cast<std::size_t>(box.height);
    const auto cols = static_cast<std::size_t>(box.width);
    std::vector<int> left(rows, std::numeric_limits<int>::max());
    std::vector<int> right(rows, std::numeric_limits<int>::min());
    std::vector<int> top(cols, std::numeric_limits<int>::max());
    std::vector<int> bottom(cols, std::numeric_limits<int>::min());
    for (const cv::Point& p : contour) {
        const auto row = static_cast<std::size_t>(p.y - box.y);
        const auto col = static_cast<std::size_t>(p.x - box.x);
        left[row] = std::min(left[row], p.x);
        right[row] = std::max(right[row], p.x);
        top[col] = std::min(top[col], p.y);
        bottom[col] = std::max(bottom[col], p.y);
    }
    std::vector<cv::Point> ends;
    ends.reserve(contour.size());
    for (const cv::Point& p : contour) {
        const auto row = static_cast<std::size_t>(p.y - box.y);
        const auto col = static_cast<std::size_t>(p.x - box.x);
        if ((p.x == left[row] || p.x == right[row]) && (p.y == top[col] || p.y == bottom[col])) {
            ends.push_back(p);
        }
    }
    return ends;
}

void contourHull(const std::vector<cv::Point>& contour, std::vector<cv::Point>& hull) {
    if (contour.empty()) {
        cv::convexHull(contour, hull);
        return;
    }
    cv::convexHull(outermostPoints(contour, cv::boundingRect(contour)), hull);
}

}  // namespace shapemark::robust
