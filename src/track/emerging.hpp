// Pieces of shapes coming out from behind something, given back to the tracks that went in.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

#include "track/track.hpp"

namespace shapemark::track {

// A track, left unpaired this frame, whose last shape was a piece of it: its shape was going
// behind something.
struct GoneBehind {
    int row = 0;              // the track's row in the frame's pairing
    cv::Point2d lastPiece;    // the centre of the piece it took last
    cv::Point2d way;          // the way it was going
    cv::Point2d pieceWay;     // the way its last piece went (zero: unknown)
    double radius = 0.0;      // its whole shape's radius
    double reach = 0.0;       // how far from lastPiece its shape may come out
    cv::Point2d expected;     // where it is expected this frame
    double pieceBelow = 0.0;  // a shape smaller than this looks like a piece of it
};

// Each track in `gone` may take one shape left free (unpaired in columnOfRow, not at the frame's
// border: `enters`) that looks like a piece of its shape, lying on the way it was going from its
// last piece (or on the way that piece went, its velocity being learnt only from whole shapes,
// before it was last merged or hidden), farther than its radius (nearer, it is that piece, or its
// shape turned back) and within its reach: its shape coming out on the far side of what hid it.
// Pairs are chosen one to one, those nearest where the tracks are expected first. Fills
// columnOfRow; returns, for each row of columnOfRow, whether it took a piece here.
std::vector<bool> takeEmerging(const std::vector<GoneBehind>& gone,
                               const std::vector<Shape>& shapes, const std::vector<double>& areas,
                               const std::vector<bool>& enters, std::vector<int>& columnOfRow);

// The tracks that may take a shape coming out from behind something (see takeEmerging): confirmed,
// unpaired, still in the frame, lost at most kBriefLoss input frames, their last shape a piece of
// theirs (going behind something). The way a track goes is its velocity; before one is measured
// (its shape was going behind something when first seen), the way its pieces went from where it was
// last whole, and it may come out anywhere within the centre gate. With a velocity, its shape comes
// out within its diameter, plus the way it goes in the frames lost, of the piece it showed last (a
// piece lies within its shape's radius of the centre).
std::vector<GoneBehind> goneBehind(const std::vector<Track>& tracks,
                                   const std::vector<cv::Point2d>& expected,
                                   const std::vector<int>& columnOfRow, long long frameNumber,
                                   double centreGate);

}  // namespace shapemark::track
