// How unlike a track a shape looks.
#pragma once

#include <shapemark/shapemark.hpp>

#include <opencv2/core.hpp>

#include <cstddef>
#include <vector>

#include "track/track.hpp"

namespace shapemark::track {

// How unlike a track a shape looks, 0 to 2: a vertex count other than the track's, when both
// outlines are whole and simple, and, for a track that took a shape in the frame before
// (`followed`), other than that shape's too (a track following two shapes merged by the
// detector has the region's count, not its own), half for one blunt corner off the count the track
// learnt, near where it is `expected`; and the logarithm of their areas' ratio, up to 1.
// A shape the frame's border cuts (`atBorder`) with one corner more than the track's, not grown
// past a quarter on its whole, is not unlike it by its count: the border cut a corner off, leaving
// two (scene 1702 frame 46: a heptagon leaving at the top showed 8 corners, and a lost octagon's
// track took it).
double unlikeness(const Track& t, const Shape& shape, double area, bool followed,
                  cv::Point2d expected, bool atBorder);

// Whether a shape's vertex count is that of its outline cut by the edge of something in front,
// not its own: one more than the track's learnt count, on a shape smaller than the largest seen by
// more than the detector's jitter. Cutting a corner off a convex outline leaves two corners for
// one, and a shape starting to go behind something still looks whole for a frame or two.
bool cornerCut(const Track& t, int vertices, double area);

// How unlike two areas are: the logarithm of their ratio, taken either way; 1 when either is not
// positive.
double sizeUnlikeness(double area, double otherArea);

// How unlike a track's colour shape j's is, 0 to 1; 0 when either was not sampled.
double colourUnlikeness(const Track& t, const std::vector<cv::Scalar>& colours, std::size_t j);

}  // namespace shapemark::track
