// Shapes at the frame's border: leaving, entering, gone.
#pragma once

#include <opencv2/core.hpp>

#include "track/polygon_overlap.hpp"
#include "track/track.hpp"

namespace shapemark::track {

// With the frame's size known: a shape touching the border is entering the frame unless the
// track it would continue is expected within this many pixels of the border.
constexpr double kBorderMargin = 10.0;

// A track whose shape shrinks faster at the border this many processed frames in a row, partly
// hidden and moving out there, is leaving the frame (see entersWhereLeft).
constexpr int kLeavingShrinks = 2;

// Whether a lost track, expected at `expected`, is outside the frame, where no shape can show:
// it has left. An unknown (empty) size says it has not.
bool leftFrame(cv::Point2d expected, cv::Size frameSize);

// Whether an outline reaches within `margin` pixels of the frame's border. An unknown (empty)
// size rules nothing out.
bool nearBorder(const FloatPolygon& outline, cv::Size frameSize, double margin);

// Whether a velocity points out of the frame through a border the outline touches.
bool movesOut(const FloatPolygon& outline, cv::Size frameSize, cv::Point2d velocity);

// Whether a shape at the border (`area`, centre `piece`) is another one entering where a leaving
// track's shape went out (its last shape of `lastArea`; `step`, where the track goes since):
// leaving, a shape only shows less of itself, and one that stops or turns back against the
// border regains less than a quarter in a frame, so a piece there grown by more is another shape
// coming in (scene 1201 frame 107); and along the border a leaving shape's piece moves as the
// shape does, so one more than kBorderMargin off that is another (frame 106: 16 px).
bool entersWhereLeft(const Track& t, double area, double lastArea, cv::Point2d piece,
                     cv::Point2d step, cv::Size frameSize);

// Whether a shape (`area`, centre `piece`) seen by a track whose shape shrank at the border in the
// frame before, moving out there faster than a still shape's jitter, is another one: grown by more
// than a quarter on that shape, and lying back against the track's way. A shape going out does
// not turn back and grow in a frame; one it was passing shows behind it (scene 1702 frame 47: a
// heptagon leaving at the top at 5.7 px a frame, and the region of it and an octagon it had
// covered, 1.7 times its area and 11 px behind where it was expected, which the heptagon's
// track took by 0.01).
bool backFromBorder(const Track& t, double area, double lastArea, cv::Point2d piece,
                    cv::Size frameSize);

// Whether a piece at the border (`area`, centre `piece`) shows its track's shape stopped there,
// partly out of the frame: as large as the track's last shape (within the border's jitter) and
// moved from it by under a quarter of the step the track would take (`step`). Its centre is then
// kept rather than carried on as expected: carried on out of the frame at the speed the shape
// had, the track soon lies past the centre gate, and the shape took a new id (scene 1203 frames
// 117-129, a shape half out at the right edge, about 510 px² a frame for 15 frames).
bool stoppedAtBorder(const Track& t, double area, double lastArea, cv::Point2d piece,
                     cv::Point2d step);

// Whether a shape entering the frame at `piece` lies farther from where a track, missed while its
// last shape touched the border, last saw it than that shape could have gone in the input frames
// lost (`lost`): its radius plus its speed times those frames. Such a shape is another one coming
// in along the border (scene 1203 frame 169: a shape entering 80 px up the right edge from where
// one had stood half out of the frame, within the centre gate of its still track, took its id).
bool entersAway(const Track& t, cv::Point2d piece, long long lost);

}  // namespace shapemark::track
