// A track: what the tracker knows of one shape, and the rules on it every step shares.
#pragma once

#include <shapemark/detector_params.hpp>
#include <shapemark/shapemark.hpp>

#include <opencv2/core.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "track/polygon_overlap.hpp"

namespace shapemark::track {

// A shape whose area falls below this share of the largest its track has seen is partly hidden;
// one whose area grows by more than this factor at once has merged with another (or, past the
// largest area its lost track had, is another shape). Entering the frame, a shape grows, but
// more slowly.
constexpr double kHiddenShare = 0.8;
constexpr double kMergedGrowth = 1.6;

// Areas within this factor do not tell two shapes apart, nor a shape from itself: the detector's
// area of a shape jitters by up to a tenth from frame to frame (one standing half out of the
// frame too; leaving or entering, it changes faster).
constexpr double kSameSize = 1.1;

// A track missed for at most this many input frames and found again as a piece of its shape
// (the only shape it could take, not entering the frame) is put back within its own radius of
// that piece (see withinReach), or may take a piece coming out beyond where it went behind
// something (see goneBehind). Lost longer, such a piece is as often another shape come out near
// where it went, and the track, moved onto it, keeps following the wrong shape.
constexpr long long kBriefLoss = 10;

// What the tracker knows of one shape.
struct Track {
    int id = 0;          // 0 while tentative
    long long hits = 0;  // processed frames it took a shape in (while tentative, in a row)
    long long lastSeen = 0;
    FloatPolygon outline;
    double area = 0.0;     // the largest area seen, nearly: the shape's area when whole
    cv::Point2d centre;    // where the whole shape is thought to be
    cv::Point2d velocity;  // pixels per input frame: the median of the last three measured
    double turn = 0.0;     // radians per input frame
    int vertices = 0;      // the vertex count when last seen whole twice alike; 0: it says nothing
    int lastVertices = 0;  // that of the shape it took last, whole or not
    cv::Point2d seen;      // the centre of the shape it last took, whole or not
    cv::Point2d lastStep;  // from the shape it took before to seen, if in frames in a row
    std::array<cv::Point2d, 2> steps;  // the two velocities measured before, latest first
    int measured = 0;                  // how many of them there are; none: no velocity yet
    bool lookOnly = false;             // left the frame or long lost: found again by look only
    cv::Scalar colour;                 // the mean colour when last seen whole
    bool coloured = false;             // colour has been sampled
    long long lastCovered = 0;         // the last frame a shape covered where it was expected
    FloatPolygon whole;                // the outline when last taken whole, about its centre
    int shrinks = 0;                   // processed frames in a row its shape shrank at the border
    bool leaving = false;              // its shape shrinks at the border, moving out there
    int hiding = 0;  // processed frames in a row its shape shrank while looking partly hidden
};

// The frame from which a track counts as lost: the last it was seen in, or, later, the last a
// shape covered where it was expected (under that shape, or merged into it by the detector, it
// is not gone).
inline long long lostSince(const Track& t) {
    return std::max(t.lastSeen, t.lastCovered);
}

// Whether a track's centre is that of the shape it took last, rather than carried on as
// expected while its shape looked hidden or merged (or put back by a piece of it).
inline bool centreMeasured(const Track& t) {
    return t.centre == t.seen;
}

// Whether a shape of this area looks partly hidden to a track: smaller than its whole shape by
// more than a fifth.
inline bool looksHidden(const Track& t, double area) {
    return area < kHiddenShare * t.area;
}

// The radius of a disc of the track's whole area: about how far any piece of its shape lies
// from its centre.
inline double areaRadius(const Track& t) {
    return std::sqrt(t.area / CV_PI);
}

// A shape's vertex count, or 0 for a longer outline (such as the hull of a partly hidden
// shape), whose count changes from frame to frame.
inline int simpleVertices(const Shape& shape) {
    const auto vertices = static_cast<int>(shape.polygon.size());
    return vertices <= DetectorParams::kMostVertices ? vertices : 0;
}

// A track takes the outline (about its centre) and colour of a shape it sees whole, starts from
// or re-identifies (not one partly hidden or merged with another, whose outline and mean are
// partly another's).
inline void takeWhole(Track& t, const FloatPolygon& outline, cv::Point2d centre,
                      const std::vector<cv::Scalar>& colours, std::size_t j) {
    t.whole = shifted(outline, -centre);
    if (!colours.empty()) {
        t.colour = colours[j];
        t.coloured = true;
    }
}

// Where the tracks still in the frame are expected (`expected`, one per track), for those
// `pick` selects by index.
template <typename Pick>
std::vector<cv::Point2f> placesOf(const std::vector<Track>& tracks,
                                  const std::vector<cv::Point2d>& expected, Pick pick) {
    std::vector<cv::Point2f> places;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (!tracks[i].lookOnly && pick(i)) {
            places.emplace_back(static_cast<float>(expected[i].x),
                                static_cast<float>(expected[i].y));
        }
    }
    return places;
}

}  // namespace shapemark::track
