#include "output/draw_ids.hpp"

#include <opencv2/imgproc.hpp>

#include <string>

#include "detector/detector.hpp"

namespace shapemark {

namespace {
// Large enough to read in a recording, small enough to stay beside a 30-pixel shape.
constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;
constexpr double kFontScale = 0.6;
constexpr int kFontThickness = 2;
// Clear of the outline's 4-pixel stroke.
constexpr int kGap = 6;
}  // namespace

void drawIds(cv::Mat& img, const std::vector<Shape>& shapes, const std::vector<int>& ids) {
    for (std::size_t i = 0; i < shapes.size() && i < ids.size(); ++i) {
        if (ids[i] == 0 || shapes[i].polygon.empty()) {
            continue;
        }
        const std::string text = std::to_string(ids[i]);
        int baseline = 0;
        const cv::Size size = cv::getTextSize(text, kFont, kFontScale, kFontThickness, &baseline);
        const cv::Rect box = cv::boundingRect(shapes[i].polygon);
        int y = box.y - kGap;
        if (y - size.height < 0) {
            y = box.y + box.height + kGap + size.height;
        }
        // Same colour and the same aliasing as the outline: every pixel drawn is pure green.
        cv::putText(img, text, cv::Point(box.x, y), kFont, kFontScale, params::kOutlineColour,
                    kFontThickness, params::kOutlineLineType);
    }
}

}  // namespace shapemark
