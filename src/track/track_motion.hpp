// Where a track goes: its velocity and rate of turn.
#pragma once

#include <opencv2/core.hpp>

#include "track/track.hpp"

namespace shapemark::track {

// Where a track goes in `frames` input frames: the velocity turned by `turn` each frame.
cv::Point2d travel(const Track& t, double frames);

// A track's velocity from one just measured: the median, coordinate by coordinate, of it and the
// two measured before (fewer: the latest). A shape's centre jumps when it is partly detected
// for a frame; one step thrown off that way must not bend a prediction held for many frames
// (a smoothed mean of the steps does, and, measured, loses more ids on detected shapes).
cv::Point2d medianVelocity(Track& t, cv::Point2d measured);

// The measured velocity's change of heading since the last, per frame: the rate of turn,
// smoothed, and none for shapes too slow for a heading to mean anything.
void updateTurn(Track& t, cv::Point2d measured, double frames);

}  // namespace shapemark::track
