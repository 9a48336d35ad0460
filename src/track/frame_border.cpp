#include "track/frame_border.hpp"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace shapemark::track {

namespace {

// A piece at the border that moved by less than this share of its track's step since the last
// has stopped there: a shape going on out moves its piece's centre by about half its step.
constexpr double kStoppedStep = 0.25;

// A shape at the border slower than this (pixels a frame) is as often standing there, its
// detected centre jittering by a pixel or two, as going out: its velocity says nothing of its way.
constexpr double kSlowestLeaving = 2.0;

// Which of the frame's borders an outline reaches within `margin` pixels of.
struct BorderSides {
    bool left = false;
    bool top = false;
    bool right = false;
    bool bottom = false;
};

BorderSides sidesNear(const FloatPolygon& outline, cv::Size frameSize, double margin) {
    const cv::Rect box = cv::boundingRect(outline);
    return {box.x <= margin + 1.0, box.y <= margin + 1.0,
            box.x + box.width >= frameSize.width - 1.0 - margin,
            box.y + box.height >= frameSize.height - 1.0 - margin};
}

}  // namespace

bool leftFrame(cv::Point2d expected, cv::Size frameSize) {
    if (frameSize.empty()) {
        return false;
    }
    return !cv::Rect2d(0.0, 0.0, frameSize.width, frameSize.height).contains(expected);
}

bool nearBorder(const FloatPolygon& outline, cv::Size frameSize, double margin) {
    if (frameSize.empty()) {
        return true;
    }
    const BorderSides near = sidesNear(outline, frameSize, margin);
    return near.left || near.top || near.right || near.bottom;
}

bool movesOut(const FloatPolygon& outline, cv::Size frameSize, cv::Point2d velocity) {
    const BorderSides at = sidesNear(outline, frameSize, 0.0);
    return (at.left && velocity.x < 0.0) || (at.top && velocity.y < 0.0) ||
           (at.right && velocity.x > 0.0) || (at.bottom && velocity.y > 0.0);
}

bool entersWhereLeft(const Track& t, double area, double lastArea, cv::Point2d piece,
                     cv::Point2d step, cv::Size frameSize) {
    if (!t.leaving) {
        return false;
    }
    const BorderSides at = sidesNear(t.outline, frameSize, 0.0);
    const bool sideways = at.left || at.right;
    const cv::Point2d off = piece - t.seen - step;
    return kHiddenShare * area > lastArea || std::abs(sideways ? off.y : off.x) > kBorderMargin;
}

bool backFromBorder(const Track& t, double area, double lastArea, cv::Point2d piece,
                    cv::Size frameSize) {
    return t.shrinks > 0 && movesOut(t.outline, frameSize, t.velocity) &&
           cv::norm(t.velocity) > kSlowestLeaving && kHiddenShare * area > lastArea &&
           (piece - t.seen).dot(t.velocity) < 0.0;
}

bool stoppedAtBorder(const Track& t, double area, double lastArea, cv::Point2d piece,
                     cv::Point2d step) {
    return area < kSameSize * lastArea && lastArea < kSameSize * area &&
           cv::norm(piece - t.seen) < kStoppedStep * cv::norm(step);
}

bool entersAway(const Track& t, cv::Point2d piece, long long lost) {
    return cv::norm(piece - t.seen) >
           areaRadius(t) + cv::norm(t.velocity) * static_cast<double>(lost);
}

}  // namespace shapemark::track
