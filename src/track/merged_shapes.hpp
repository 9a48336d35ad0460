// Shapes the detector merged into one region, and their parting.
#pragma once

#include <shapemark/shapemark.hpp>

#include <opencv2/core.hpp>

#include <vector>

#include "track/polygon_overlap.hpp"
#include "track/track.hpp"

namespace shapemark::track {

// Whether the shape a track (`row`) took last, moved to where it is expected (`expected`, one per
// track), has come apart: the centres of two or more of this frame's shapes lie inside it, each
// smaller than it by more than a fifth (a shape as large is that one, overlapped by another), and
// together they make up nearly all of its area. The track then took two shapes merged by the
// detector; the one it pairs with now is whole, not partly hidden, however much smaller than the
// area it learnt from the two. For a track seen in the frame before (`previousFrame`), a shape
// that is another track's whole shape, where that one last was (overlapping its last outline by
// half), is no part: that track saw it apart in the very frame the region was taken (scene 1203
// frame 69: a shape shrinking as it slid behind the band beside a still one was taken for a
// region come apart, and its track, started again from its piece, took another shape's piece).
bool cameApart(const std::vector<Track>& tracks, std::size_t row,
               const std::vector<cv::Point2d>& expected, const std::vector<Shape>& shapes,
               const std::vector<FloatPolygon>& outlines, const std::vector<double>& areas,
               long long previousFrame);

// Whether a shape is its track's shape merged with one unseen this frame: it is larger than the
// whole shape (as much larger as a whole shape may look smaller) and covers where another track
// that took no shape is expected. Merging by a little each frame, it never grows at once.
bool swallowsAnother(const FloatPolygon& outline, double area, double trackArea,
                     const std::vector<cv::Point2f>& unseen);

// Where the tracks that took no shape this frame may lie merged into another's shape: where each
// is expected and, lost a moment ago (see kLatelyLost), where its last shape was. Merged, a
// shape is not seen to move, so its prediction runs off the region, on the way it went or
// lagging where it came out from behind something, while the region still covers where it was
// last seen.
std::vector<cv::Point2f> unseenPlaces(const std::vector<Track>& tracks,
                                      const std::vector<cv::Point2d>& expected,
                                      const std::vector<int>& columnOfRow, long long frameNumber);

// Whether a shape is two or more merged, a lost track's among them: it covers where that track
// is expected (`own`) and where another track still in the frame is (`expected` holds every
// such track's place, `own` too).
bool mergesLost(const FloatPolygon& outline, cv::Point2f own,
                const std::vector<cv::Point2f>& expected);

// After preferWhole: a shape that is its track's merged with another's goes to the larger of
// the two, if that one's last shape, moved to where it is expected, covers more of it. A region
// of two shapes is mostly the larger one, so it is seen as that shape partly covered, not as the
// smaller one grown; the smaller one's track waits under it (step 4). Of two shapes of about one
// size (learnt areas within a tenth), the other takes it if it was last seen whole and covers
// more of it: learnt areas do not tell such shapes apart, where each lies in the region does. Only
// a track seen in the frame before may take it: a missed one may be going behind something while a
// shape coming out of it meets the region, and stays once it has gone. If the holder was missed
// too and last seen whole, a track seen no earlier may take it: that one held the region of the
// two while the holder was lost under it, and both went unseen before it showed again.
void preferLarger(const std::vector<Track>& tracks, const std::vector<cv::Point2d>& expected,
                  const std::vector<FloatPolygon>& outlines, const std::vector<double>& areas,
                  const cv::Mat& cost, long long previousFrame, std::vector<int>& columnOfRow);

// After preferLarger: a track missed in the frame before, paired with a shape that looks partly
// hidden to it (not at the border, `enters`), gives it up to a track left unpaired that has
// been under another shape since it was last seen (see lostSince), to which it looks whole, if
// the pairing allows that pair and it costs more by less than `shapeWeight` times how much
// nearer the shape's area is to that track's than to the first one's. The first track took a
// region of its shape and the other's, learnt its area by a little each frame, then lost it:
// the shape that shows there, a piece to it, is the other one come out from under it, and its
// overlap and distance follow the region, not the shape. At the border a piece is a shape
// going out of the frame.
void preferCameOut(const std::vector<Track>& tracks, const std::vector<double>& areas,
                   const std::vector<bool>& enters, const cv::Mat& cost, long long previousFrame,
                   double shapeWeight, std::vector<int>& columnOfRow);

}  // namespace shapemark::track
