// A shape's mean colour, the tracker's appearance cue: the one rule the tool, frames() and
// Python's Tracker.update(image=...) all sample by.
#include <shapemark/tracker.hpp>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace shapemark {

namespace {
// The rim left out of the mean: the outline's antialiased edge and the ground just outside it
// would pull the mean of a small shape toward the ground's colour.
constexpr int kRim = 2;

cv::Scalar meanInside(const cv::Mat& image, const Shape& shape) {
    const cv::Rect box = cv::boundingRect(shape.polygon) & cv::Rect(0, 0, image.cols, image.rows);
    if (box.empty()) {
        return {};
    }
    const cv::Point origin = box.tl();
    std::vector<std::vector<cv::Point>> outline(1, std::vector<cv::Point>(shape.polygon.size()));
    std::transform(shape.polygon.begin(), shape.polygon.end(), outline[0].begin(),
                   [origin](cv::Point vertex) { return vertex - origin; });
    cv::Mat mask(box.size(), CV_8UC1, cv::Scalar(0));
    cv::fillPoly(mask, outline, cv::Scalar(255));
    // Drawing the outline in black, 2 * kRim + 1 wide, shrinks the filled polygon by kRim.
    cv::polylines(mask, outline, true, cv::Scalar(0), 2 * kRim + 1);
    const cv::Mat roi = image(box);
    if (cv::countNonZero(mask) == 0) {
        cv::fillPoly(mask, outline, cv::Scalar(255));
    }
    return cv::mean(roi, mask);
}
}  // namespace

std::vector<cv::Scalar> Tracker::colours(const cv::Mat& image, const std::vector<Shape>& shapes) {
    if (image.empty()) {
        throw std::invalid_argument("Tracker::colours: the image is empty");
    }
    std::vector<cv::Scalar> means(shapes.size());
    std::transform(shapes.begin(), shapes.end(), means.begin(),
                   [&image](const Shape& shape) { return meanInside(image, shape); });
    return means;
}

}  // namespace shapemark
