// The tracker. Each frame:
// 1. every track is moved to where it is expected: from its last centre, on at its velocity,
//    turning at its rate of turn, for the input frames since it was last seen (a shape on a
//    curve comes out from behind something where the curve, not its tangent, leads);
// 2. a shape and a track may be paired when the shape's centre lies within the centre gate of
//    the expected centre and their polygons overlap by at least min_overlap (intersection over
//    union with the track's last polygon moved on as the track is expected to go, or with its
//    outline when last seen whole placed at the expected centre, whichever is more: a track that
//    took another shape for a piece of itself, hidden behind it, judges by its own outline
//    too, or it would keep that shape once its own shows again); such a pair costs
//    (1 - overlap) + distance / (centre_gate * spread) + shape_weight * unlikeness, the spread
//    being the square root of the processed frames since the track was last seen: the longer a
//    track is lost, the less sure its expected place, so a shape coming out from behind
//    something goes to the track lost there for a while rather than to one missed a moment ago
//    nearby. The unlikeness counts 1 for a vertex count other than the track's (both whole; for a
//    track seen in the frame before, other than its last shape's too: following two shapes
//    merged by the detector, it has the region's count) and the logarithm of their areas'
//    ratio, up to 1: a shape coming out beside another goes to the track that looks like it. No
//    pair may cost more than 2 (see kDearestPair). Given the shapes' mean colours, a pair then
//    costs colour_weight times how unlike the track's colour the shape's is (their distance over
//    kColourSpan, up to 1): colour ranks the pairs the rest allows, but never refuses one, as a
//    shape partly covered by another or by something in front takes on their colour for a while. A
//    track missed in the frame before needs no overlap (such a shape shows another part of itself
//    first), but cannot take a shape grown by more than half on its whole area: that is another
//    shape come out where it was lost, unless both it and the track's last shape touch the
//    border (a shape still entering the frame), or it covers where the track and another one are
//    expected: then it is the two merged (taking it keeps the id through the merge; step 4 keeps
//    the track moving as expected, where it starts again once they part); nor, lost long (counted
//    as in step 4), a shape that looks partly hidden; nor, with the frame's size known, a shape
//    touching the border when the track is expected well inside: that shape is entering the
//    frame, unless it covers where the track is expected (the track's shape merged with one
//    entering, or with one at the border) or it looks whole to a track last seen whole (a
//    shape entering shows a piece of itself; a whole one is the track's own, gone on to the
//    border while missed). A track whose last shape, taken in the frame before, has come apart
//    (see cameApart) takes only one of its parts: that shape was two merged, and a shape
//    elsewhere is neither; a track whose shape has been shrinking at the border while moving
//    out there takes no shape at the border grown by more than a quarter on its last, or off
//    its way along the border: that is another shape entering where it went out (see
//    entersWhereLeft);
// 3. the pairs are chosen one to one at the least total cost (Hungarian method), a track or a
//    shape left unpaired costing half the dearest pair: no two dear pairs are made where one
//    cheap pair would do. On the ground-truth scenes of docs/DETECTION.md this beats taking the
//    cheapest pair first, and pairing as many tracks as possible. Then a track paired with a
//    shape that looks partly hidden takes instead a shape left unpaired that looks whole to it
//    and lies nearer where it is expected (see preferWhole): the hidden-looking one was a piece
//    of another shape. A track paired with a shape that is its own merged with another's
//    (larger than its whole shape by a quarter, covering where that other track, unpaired and
//    seen in the frame before, is expected) gives it up to that track if its whole shape is the
//    larger and its last shape, where expected, covers more of the region (see preferLarger):
//    the region is mostly that shape, and would carry the smaller one's id only for sharing its
//    vertex count;
// 4. paired tracks take the shape's polygon and centre and update their velocity (the median
//    of the last three steps measured) and rate of turn, unless the centre they step from was
//    carried on as expected (below: no step the shape made), and its vertex count once it is
//    that of the shape taken before too, unless the shape has shrunk by more than a fifth from
//    the largest the track has seen (partly hidden: its centre lags), grown by more than half at
//    once (merged with another), or grown by more than a quarter over the largest seen while
//    covering where a track unseen this frame is expected (merged with it by a little each frame):
//    then the track keeps moving as expected, except that a track missed in the frame before, lost
//    at most kBriefLoss input frames and found again as a piece of its shape (not touching the
//    border, and the only shape it could take) is put back within its own radius of that piece: a
//    piece lies inside its shape, and one turning behind something comes out off its path; so is
//    a track that took a smaller piece in the frame before, once the piece has grown and moved
//    on the way the track goes, within twice its radius of where it is expected (its shape
//    coming out from behind something, off the path it went in on: see comesOut). A shape
//    that looks hidden but is one of two or more whose centres lie in the track's last shape, and
//    which make up nearly all of it, is whole: that shape was two merged, now parted, and the track
//    starts again from it, as in step 5; a tentative track seen confirm_frames processed frames in
//    a row gets the next id; a tentative track missed once is dropped; a confirmed one is kept
//    keep_lost_frames input frames from when it was last seen or last expected inside one of the
//    frame's shapes (under it, or merged into it by the detector: not gone, however long the two
//    stay together; see lostSince); once expected outside the frame it takes no part in step 2 (it
//    has left: a shape entering there is another), nor once lost past keep_lost_frames, when it is
//    kept kLookOnlyKeep times as long for step 5 alone;
// 5. a shape still unpaired may re-identify a confirmed track lost since before the last frame
//    (see reidentify): the detector often misses a shape for longer than the prediction holds,
//    and a shape turning behind something is expected where it never goes, even outside the
//    frame, so this goes by where the shape was last seen (or lies within its radius of where
//    it is expected) and what it looks like (its colour too, when given); then a track whose
//    last shape was a piece of it (going behind something) takes a piece still unpaired that
//    lies on its way beyond the piece it showed last, within its reach (see goneBehind): its
//    shape coming out on the far side, which started a track of its own, too unlike a whole
//    shape and too far off its prediction for the pairing; it starts again from that piece;
//    each shape still unpaired starts a tentative track.
#include <shapemark/tracker.hpp>

#include <shapemark/detector_params.hpp>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include "track/assignment.hpp"
#include "track/emerging.hpp"
#include "track/polygon_overlap.hpp"
#include "track/region_share.hpp"

namespace shapemark {

namespace {
// The share of a new heading in the smoothed rate of turn: enough to follow a curve, little
// enough that a shape clipped by an edge does not throw its track off.
constexpr double kTurnUpdate = 0.5;
// Below this speed, in pixels a frame, a heading is mostly the polygon's rounding.
constexpr double kSlowestTurning = 1.0;
// A quarter turn in 8 frames: sharper measured turns are noise.
constexpr double kSharpestTurn = 0.2;
// A shape whose area falls below this share of the largest its track has seen is partly hidden;
// one whose area grows by more than this factor at once has merged with another (or, past the
// largest area its lost track had, is another shape). Entering the frame, a shape grows, but
// more slowly.
constexpr double kHiddenShare = 0.8;
constexpr double kMergedGrowth = 1.6;
// No pair may cost more: without overlap, far from where the track is expected and unlike it,
// a shape is another one (say, entering where a shape left a frame before) and starts its own
// track. Without the shape cue no pair costs more than this.
constexpr double kDearestPair = 2.0;
// Leaving a track or a shape unpaired costs half the dearest pair (and half the most colour can
// add): a pair is made only while it costs less than leaving both its track and its shape
// unpaired. Pairing every track it can, the frame's pairing would make two dear pairs rather
// than one cheap one (a track lost a while, refused its own shape because it looks partly hidden,
// would take a neighbour's shape and push the neighbour's track onto the hidden one's).
constexpr double unpairedCost(double colourWeight) {
    return (kDearestPair + colourWeight) / 2.0;
}
// A shape that really becomes smaller: the largest area seen shrinks this much a frame while
// the shape looks hidden, so the track follows it again before long.
constexpr double kForgetLargest = 0.97;
// A track lost longer than this many input frames takes only a shape that looks whole: a piece
// coming out from behind another shape so long after is more often a shape never seen before.
constexpr long long kLongLost = 15;
// With the frame's size known: a shape touching the border is entering the frame unless the
// track it would continue is expected within this many pixels of the border.
constexpr double kBorderMargin = 10.0;
// A shape's area at the border changes by up to this factor from frame to frame while it stays
// put (the detector's jitter); leaving or entering, it changes faster.
constexpr double kBorderJitter = 1.1;
// A track whose shape shrinks faster at the border this many processed frames in a row, partly
// hidden and moving out there, is leaving the frame (see entersWhereLeft).
constexpr int kLeavingShrinks = 2;
// A track re-identified by what it looks like may differ in area by this factor either way:
// a shape seen whole after a long loss is often measured partly hidden, or merged, before.
constexpr double kReidentifiedArea = 1.4;
// A track missed for at most this many input frames and found again as a piece of its shape
// (the only shape it could take, not entering the frame) is put back within its own radius of
// that piece (see withinReach), or may take a piece coming out beyond where it went behind
// something (see goneBehind). Lost longer, such a piece is as often another shape come out near
// where it went, and the track, moved onto it, keeps following the wrong shape.
constexpr long long kBriefLoss = 10;
// A confirmed track lost past keep_lost_frames is kept this many times as long for
// re-identification alone (step 5: a shape that looks like it, near where it was last seen). The
// detector misses a shape in a crowd for longer than a prediction holds, and it came back under a
// new id; a look-alike near its last place is far safer than the shape nearest a prediction that
// old. Any bound from 3 to 10 scores the same on the moving scenes; it keeps a long video's lost
// tracks from piling up.
constexpr long long kLookOnlyKeep = 3;
// Mean colours this far apart (BGR units) are as unlike as colours get: a shape's own mean moves
// by about 1 from frame to frame, and by up to about 13 when partly merged with another.
constexpr double kColourSpan = 20.0;

struct Track {
    int id = 0;    // 0 while tentative
    int hits = 0;  // processed frames seen in a row while tentative
    long long lastSeen = 0;
    track::FloatPolygon outline;
    double area = 0.0;     // the largest area seen, nearly: the shape's area when whole
    cv::Point2d centre;    // where the whole shape is thought to be
    cv::Point2d velocity;  // pixels per input frame: the median of the last three measured
    double turn = 0.0;     // radians per input frame
    int vertices = 0;      // the vertex count when last seen whole twice alike; 0: it says nothing
    int lastVertices = 0;  // that of the shape it took last, whole or not
    cv::Point2d seen;      // the centre of the shape it last took, whole or not
    std::array<cv::Point2d, 2> steps;  // the two velocities measured before, latest first
    int measured = 0;                  // how many of them there are; none: no velocity yet
    bool lookOnly = false;             // left the frame or long lost: found again by look only
    cv::Scalar colour;                 // the mean colour when last seen whole
    bool coloured = false;             // colour has been sampled
    long long lastCovered = 0;         // the last frame a shape covered where it was expected
    track::FloatPolygon whole;         // the outline when last taken whole, about its centre
    int shrinks = 0;                   // processed frames in a row its shape shrank at the border
    bool leaving = false;              // its shape shrinks at the border, moving out there
};

// The frame from which a track counts as lost: the last it was seen in, or, later, the last a
// shape covered where it was expected (under that shape, or merged into it by the detector, it
// is not gone).
long long lostSince(const Track& t) {
    return std::max(t.lastSeen, t.lastCovered);
}

// Whether a track's centre is that of the shape it took last, rather than carried on as
// expected while its shape looked hidden or merged (or put back by a piece of it).
bool centreMeasured(const Track& t) {
    return t.centre == t.seen;
}

// Whether a shape of this area looks partly hidden to a track: smaller than its whole shape by
// more than a fifth.
bool looksHidden(const Track& t, double area) {
    return area < kHiddenShare * t.area;
}

// A shape's vertex count, or 0 for a longer outline (such as the hull of a partly hidden
// shape), whose count changes from frame to frame.
int simpleVertices(const Shape& shape) {
    const auto vertices = static_cast<int>(shape.polygon.size());
    return vertices <= DetectorParams::kMostVertices ? vertices : 0;
}

// How unlike a track a shape looks, 0 to 2: a vertex count other than the track's, when both
// outlines are whole and simple, and, for a track that took a shape in the frame before
// (`followed`), other than that shape's too (a track following two shapes merged by the
// detector has the region's count, not its own); and the logarithm of their areas' ratio, up to 1.
double unlikeness(const Track& t, const Shape& shape, double area, bool followed) {
    const int vertices = simpleVertices(shape);
    const bool whole = !looksHidden(t, area);
    const auto other = [vertices](int count) { return count > 0 && vertices != count; };
    const bool differ =
        whole && vertices > 0 && other(t.vertices) && (!followed || other(t.lastVertices));
    const double sizes = area > 0.0 && t.area > 0.0 ? std::abs(std::log(area / t.area)) : 1.0;
    return (differ ? 1.0 : 0.0) + std::min(1.0, sizes);
}

// How unlike a track's colour shape j's is, 0 to 1; 0 when either was not sampled.
double colourUnlikeness(const Track& t, const std::vector<cv::Scalar>& colours, std::size_t j) {
    if (colours.empty() || !t.coloured) {
        return 0.0;
    }
    return std::min(1.0, cv::norm(colours[j] - t.colour) / kColourSpan);
}

// Where a track goes in `frames` input frames: the velocity turned by `turn` each frame.
cv::Point2d travel(const Track& t, double frames) {
    const std::complex<double> velocity(t.velocity.x, t.velocity.y);
    std::complex<double> sum = velocity * frames;
    if (std::abs(t.turn) > 1e-9) {
        const std::complex<double> step = std::polar(1.0, t.turn);
        // velocity * (step + step^2 + ... + step^frames)
        sum = velocity * step * (1.0 - std::pow(step, frames)) / (1.0 - step);
    }
    return {sum.real(), sum.imag()};
}

// A track's velocity from one just measured: the median, coordinate by coordinate, of it and the
// two measured before (fewer: the latest). A shape's centre jumps when it is partly detected
// for a frame; one step thrown off that way must not bend a prediction held for many frames
// (a smoothed mean of the steps does, and, measured, loses more ids on detected shapes).
cv::Point2d medianVelocity(Track& t, cv::Point2d measured) {
    const auto median = [](double a, double b, double c) {
        return std::max(std::min(a, b), std::min(std::max(a, b), c));
    };
    const cv::Point2d velocity = t.measured < 2
                                     ? measured
                                     : cv::Point2d(median(measured.x, t.steps[0].x, t.steps[1].x),
                                                   median(measured.y, t.steps[0].y, t.steps[1].y));
    t.steps[1] = t.steps[0];
    t.steps[0] = measured;
    t.measured = std::min(t.measured + 1, 2);
    return velocity;
}

// The measured velocity's change of heading since the last, per frame: the rate of turn,
// smoothed, and none for shapes too slow for a heading to mean anything.
void updateTurn(Track& t, cv::Point2d measured, double frames) {
    const double slowest = std::min(cv::norm(measured), cv::norm(t.velocity));
    if (slowest < kSlowestTurning) {
        t.turn = 0.0;
        return;
    }
    const double turned = std::atan2(t.velocity.cross(measured), t.velocity.dot(measured)) / frames;
    t.turn = std::clamp(t.turn + kTurnUpdate * (turned - t.turn), -kSharpestTurn, kSharpestTurn);
}

// Whether a lost track, expected at `expected`, is outside the frame, where no shape can show:
// it has left. An unknown (empty) size says it has not.
bool leftFrame(cv::Point2d expected, cv::Size frameSize) {
    if (frameSize.empty()) {
        return false;
    }
    return !cv::Rect2d(0.0, 0.0, frameSize.width, frameSize.height).contains(expected);
}

// Which of the frame's borders an outline reaches within `margin` pixels of.
struct BorderSides {
    bool left = false;
    bool top = false;
    bool right = false;
    bool bottom = false;
};

BorderSides sidesNear(const track::FloatPolygon& outline, cv::Size frameSize, double margin) {
    const cv::Rect box = cv::boundingRect(outline);
    return {box.x <= margin + 1.0, box.y <= margin + 1.0,
            box.x + box.width >= frameSize.width - 1.0 - margin,
            box.y + box.height >= frameSize.height - 1.0 - margin};
}

// Whether an outline reaches within `margin` pixels of the frame's border. An unknown (empty)
// size rules nothing out.
bool nearBorder(const track::FloatPolygon& outline, cv::Size frameSize, double margin) {
    if (frameSize.empty()) {
        return true;
    }
    const BorderSides near = sidesNear(outline, frameSize, margin);
    return near.left || near.top || near.right || near.bottom;
}

// Whether a velocity points out of the frame through a border the outline touches.
bool movesOut(const track::FloatPolygon& outline, cv::Size frameSize, cv::Point2d velocity) {
    const BorderSides at = sidesNear(outline, frameSize, 0.0);
    return (at.left && velocity.x < 0.0) || (at.top && velocity.y < 0.0) ||
           (at.right && velocity.x > 0.0) || (at.bottom && velocity.y > 0.0);
}

// Whether a shape at the border (`area`, centre `piece`) is another one entering where a leaving
// track's shape went out (its last shape of `lastArea`; `step`, where the track goes since):
// leaving, a shape only shows less of itself, and one that stops or turns back against the
// border regains less than a quarter in a frame, so a piece there grown by more is another shape
// coming in (scene 1201 frame 107); and along the border a leaving shape's piece moves as the
// shape does, so one more than kBorderMargin off that is another (frame 106: 16 px).
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

// Where and how step 5 looks: this frame, the frame before it, and the parameters it uses.
struct Reidentification {
    long long frameNumber = 0;
    long long previousFrame = 0;
    double centreGate = 0.0;
    double colourWeight = 0.0;
};

// Step 5: each confirmed track lost since before the last frame (`previousFrame`) and still
// unpaired may take one unpaired shape that looks like it (the same vertex count, both whole;
// areas within kReidentifiedArea of each other) and does not touch the frame's border,
// within reach of where the track was last seen (its own radius plus the distance it goes at
// its speed in the input frames since, up to the centre gate) or within its own radius of where
// it is expected (`expected`, one per track): a shape missed on a straight path comes back where
// its motion leads, farther from where it went than any reach from there that would not take
// shapes that merely look like it. Pairs are chosen one to one, the nearest and likest first
// (least total cost). Fills columnOfRow; returns which rows it paired.
std::vector<bool> reidentify(const std::vector<Track>& tracks,
                             const std::vector<cv::Point2d>& expected,
                             const std::vector<Shape>& shapes, const std::vector<double>& areas,
                             const std::vector<bool>& enters,
                             const std::vector<cv::Scalar>& colours, const Reidentification& at,
                             std::vector<int>& columnOfRow) {
    std::vector<bool> taken(shapes.size(), false);
    for (const int j : columnOfRow) {
        if (j >= 0) {
            taken[j] = true;
        }
    }
    cv::Mat cost(static_cast<int>(tracks.size()), static_cast<int>(shapes.size()), CV_64F,
                 cv::Scalar(track::kForbidden));
    for (int i = 0; i < cost.rows; ++i) {
        const Track& t = tracks[i];
        if (columnOfRow[i] >= 0 || t.id == 0 || t.lastSeen >= at.previousFrame || t.vertices == 0) {
            continue;
        }
        const auto lost = static_cast<double>(at.frameNumber - t.lastSeen);
        const double radius = std::sqrt(t.area / CV_PI);
        const double reach = std::min(at.centreGate, radius + cv::norm(t.velocity) * lost);
        for (int j = 0; j < cost.cols; ++j) {
            const double ratio = areas[j] / t.area;
            // How far, as a share of the reach it lies within: 1 at its edge.
            const double far = std::min(cv::norm(shapes[j].centre - t.seen) / reach,
                                        cv::norm(shapes[j].centre - expected[i]) / radius);
            if (!taken[j] && !enters[j] && simpleVertices(shapes[j]) == t.vertices &&
                ratio <= kReidentifiedArea && ratio >= 1.0 / kReidentifiedArea && far <= 1.0) {
                cost.at<double>(i, j) =
                    far + std::abs(std::log(ratio)) +
                    at.colourWeight * colourUnlikeness(t, colours, static_cast<std::size_t>(j));
            }
        }
    }
    const std::vector<int> columns = track::assignOptimal(cost);
    std::vector<bool> paired(tracks.size(), false);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i] >= 0) {
            columnOfRow[i] = columns[i];
            paired[i] = true;
        }
    }
    return paired;
}

// The tracks that may take a shape coming out from behind something (see takeEmerging): confirmed,
// unpaired, still in the frame, lost at most kBriefLoss input frames, their last shape a piece of
// theirs (going behind something). The way a track goes is its velocity; before one is measured
// (its shape was going behind something when first seen), the way its pieces went from where it was
// last whole, and it may come out anywhere within the centre gate. With a velocity, its shape comes
// out within its diameter, plus the way it goes in the frames lost, of the piece it showed last (a
// piece lies within its shape's radius of the centre).
std::vector<track::GoneBehind> goneBehind(const std::vector<Track>& tracks,
                                          const std::vector<cv::Point2d>& expected,
                                          const std::vector<int>& columnOfRow,
                                          long long frameNumber, double centreGate) {
    std::vector<track::GoneBehind> gone;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const Track& t = tracks[i];
        const long long lost = frameNumber - t.lastSeen;
        if (columnOfRow[i] >= 0 || t.id == 0 || t.lookOnly || lost > kBriefLoss ||
            !looksHidden(t, cv::contourArea(t.outline))) {
            continue;
        }
        const double radius = std::sqrt(t.area / CV_PI);
        const bool moving = t.measured > 0;
        const double travelled = cv::norm(t.velocity) * static_cast<double>(lost);
        const double reach = moving ? std::min(centreGate, 2.0 * radius + travelled) : centreGate;
        const cv::Point2d way = moving ? t.velocity : t.seen - t.centre;
        gone.push_back(
            {static_cast<int>(i), t.seen, way, radius, reach, expected[i], kHiddenShare * t.area});
    }
    return gone;
}

track::FloatPolygon shifted(const track::FloatPolygon& outline, cv::Point2d by) {
    track::FloatPolygon moved(outline.size());
    const cv::Point2f offset(static_cast<float>(by.x), static_cast<float>(by.y));
    std::transform(outline.begin(), outline.end(), moved.begin(),
                   [offset](cv::Point2f point) { return point + offset; });
    return moved;
}

// A track takes the outline (about its centre) and colour of a shape it sees whole, starts from
// or re-identifies (not one partly hidden or merged with another, whose outline and mean are
// partly another's).
void takeWhole(Track& t, const track::FloatPolygon& outline, cv::Point2d centre,
               const std::vector<cv::Scalar>& colours, std::size_t j) {
    t.whole = shifted(outline, -centre);
    if (!colours.empty()) {
        t.colour = colours[j];
        t.coloured = true;
    }
}

// The farthest a point of an outline about its centre lies from it.
double radiusOf(const track::FloatPolygon& whole) {
    double radius = 0.0;
    for (const cv::Point2f& point : whole) {
        radius = std::max(radius, cv::norm(point));
    }
    return radius;
}

// A piece of a shape lies inside it: a whole shape's centre, thought to be at `centre`, is at
// most its outline's radius (`whole`, about its centre) from the centre of a piece of it seen
// at `piece`; the point within that reach nearest `centre`. A shape turning behind something
// comes out where its motion did not lead, and its track, left moving as expected, takes
// another shape that comes out nearer that prediction.
cv::Point2d withinReach(const track::FloatPolygon& whole, cv::Point2d centre, cv::Point2d piece) {
    const double radius = radiusOf(whole);
    const cv::Point2d off = centre - piece;
    const double distance = cv::norm(off);
    return distance <= radius || radius <= 0.0 ? centre : piece + off * (radius / distance);
}

// Whether a piece of a track's shape (centre `piece`, area `area`) is that shape coming out from
// behind something, the track having taken a smaller piece (`lastArea`) in the frame before and
// being expected at t.centre: the piece has grown and moved on the way the track goes (a shape
// coming out shows more of itself ahead) and lies within twice the shape's radius of where it is
// expected (the shape lies within its radius of any piece of it: farther off, it cannot be both
// there and where expected). Such a piece says where the shape is better than a prediction made
// before it went behind. A shrinking piece (going behind) or one standing or moving against the
// track (another shape coming out where it went) says nothing.
bool comesOut(const Track& t, cv::Point2d piece, double area, double lastArea) {
    return area > lastArea && (piece - t.seen).dot(t.velocity) > 0.0 &&
           cv::norm(t.centre - piece) <= 2.0 * radiusOf(t.whole);
}

// Whether an outline covers a point.
bool covers(const track::FloatPolygon& outline, cv::Point2f at) {
    return cv::pointPolygonTest(outline, at, false) > 0.0;
}

// Whether the shape a track took last (its outline, of `area`, moved by `step`) has come apart: the
// centres of two or more of this frame's shapes lie inside it, each smaller than it by more than a
// fifth (a shape as large is that one, overlapped by another), and together they make up nearly all
// of its area. The track then took two shapes merged by the detector; the one it pairs with now
// is whole, not partly hidden, however much smaller than the area it learnt from the two.
bool cameApart(const Track& t, double area, cv::Point2d step, const std::vector<Shape>& shapes,
               const std::vector<double>& areas) {
    const track::FloatPolygon moved = shifted(t.outline, step);
    int inside = 0;
    double total = 0.0;
    for (std::size_t j = 0; j < shapes.size(); ++j) {
        if (covers(moved, cv::Point2f(shapes[j].centre))) {
            if (areas[j] >= kHiddenShare * area) {
                return false;
            }
            ++inside;
            total += areas[j];
        }
    }
    return inside >= 2 && total >= kHiddenShare * area;
}

// Whether any of the frame's shapes covers a point.
bool anyCovers(const std::vector<track::FloatPolygon>& outlines, cv::Point2d at) {
    return std::any_of(outlines.begin(), outlines.end(), [at](const track::FloatPolygon& outline) {
        return covers(outline, cv::Point2f(at));
    });
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

// Whether a shape is its track's shape merged with one unseen this frame: it is larger than the
// whole shape (as much larger as a whole shape may look smaller) and covers where another track
// that took no shape is expected. Merging by a little each frame, it never grows at once.
bool swallowsAnother(const track::FloatPolygon& outline, double area, double trackArea,
                     const std::vector<cv::Point2f>& unseen) {
    return area * kHiddenShare > trackArea &&
           std::any_of(unseen.begin(), unseen.end(),
                       [&outline](cv::Point2f at) { return covers(outline, at); });
}

// Whether a shape is two or more merged, a lost track's among them: it covers where that track
// is expected (`own`) and where another track still in the frame is (`expected` holds every
// such track's place, `own` too).
bool mergesLost(const track::FloatPolygon& outline, cv::Point2f own,
                const std::vector<cv::Point2f>& expected) {
    return covers(outline, own) &&
           std::count_if(expected.begin(), expected.end(),
                         [&outline](cv::Point2f at) { return covers(outline, at); }) >= 2;
}

// The end of step 3: a track paired with a shape that looks partly hidden takes instead the
// nearest shape left unpaired that looks whole to it (neither hidden nor grown past
// kMergedGrowth times its whole area) and lies nearer where it is expected, if the pairing
// allows that pair. A track lost a while takes a piece of another shape come out near where it
// went for a hidden piece of its own; the piece then overlaps the track's last outline, itself,
// better than its own shape does when that shows again whole where expected, which took a new
// id. Left unpaired, the piece starts a track of its own.
void preferWhole(const std::vector<Track>& tracks, const std::vector<cv::Point2d>& expected,
                 const std::vector<Shape>& shapes, const std::vector<double>& areas,
                 const cv::Mat& cost, std::vector<int>& columnOfRow) {
    std::vector<bool> taken(shapes.size(), false);
    for (const int j : columnOfRow) {
        if (j >= 0) {
            taken[j] = true;
        }
    }
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const Track& t = tracks[i];
        const int paired = columnOfRow[i];
        if (paired < 0 || !looksHidden(t, areas[paired])) {
            continue;
        }
        double nearest = cv::norm(shapes[paired].centre - expected[i]);
        int better = -1;
        for (int j = 0; j < cost.cols; ++j) {
            const double distance = cv::norm(shapes[j].centre - expected[i]);
            if (!taken[j] && distance < nearest && !looksHidden(t, areas[j]) &&
                areas[j] <= kMergedGrowth * t.area &&
                cost.at<double>(static_cast<int>(i), j) < track::kForbidden) {
                nearest = distance;
                better = j;
            }
        }
        if (better >= 0) {
            taken[paired] = false;
            taken[better] = true;
            columnOfRow[i] = better;
        }
    }
}

// After preferWhole: a shape that is its track's merged with another's goes to the larger of
// the two, if that one's last shape, moved to where it is expected, covers more of it (see
// coversMore). A region of two shapes is mostly the larger one, so it is seen as that shape partly
// covered, not as the smaller one grown; the smaller one's track waits under it (step 4). Only
// a track seen in the frame before may take it: a missed one may be going behind something
// while a shape coming out of it meets the region, and stays once it has gone.
void preferLarger(const std::vector<Track>& tracks, const std::vector<cv::Point2d>& expected,
                  const std::vector<track::FloatPolygon>& outlines,
                  const std::vector<double>& areas, const cv::Mat& cost, long long previousFrame,
                  std::vector<int>& columnOfRow) {
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const int j = columnOfRow[i];
        if (j < 0) {
            continue;
        }
        double largest = tracks[i].area;
        int larger = -1;
        for (std::size_t k = 0; k < tracks.size(); ++k) {
            const Track& t = tracks[k];
            const std::vector<cv::Point2f> place{cv::Point2f(expected[k])};
            if (columnOfRow[k] < 0 && !t.lookOnly && t.area > largest &&
                t.lastSeen >= previousFrame &&
                cost.at<double>(static_cast<int>(k), j) < track::kForbidden &&
                swallowsAnother(outlines[j], areas[j], tracks[i].area, place) &&
                track::coversMore(outlines[j], shifted(t.outline, expected[k] - t.centre),
                                  shifted(tracks[i].outline, expected[i] - tracks[i].centre))) {
                largest = t.area;
                larger = static_cast<int>(k);
            }
        }
        if (larger >= 0) {
            columnOfRow[larger] = j;
            columnOfRow[i] = -1;
        }
    }
}
}  // namespace

struct Tracker::State {
    TrackerParams params;
    int nextId = 1;
    long long lastFrame = std::numeric_limits<long long>::min();
    std::vector<Track> tracks;
};

Tracker::Tracker(const TrackerParams& params) : state_(std::make_unique<State>()) {
    params.validate();
    state_->params = params;
}

Tracker::~Tracker() = default;
Tracker::Tracker(Tracker&&) noexcept = default;
Tracker& Tracker::operator=(Tracker&&) noexcept = default;

const TrackerParams& Tracker::params() const {
    return state_->params;
}

std::vector<TrackedShape> Tracker::update(long long frameNumber, const std::vector<Shape>& shapes) {
    return update(frameNumber, shapes, cv::Size());
}

std::vector<TrackedShape> Tracker::update(long long frameNumber, const std::vector<Shape>& shapes,
                                          cv::Size frameSize) {
    return update(frameNumber, shapes, frameSize, {});
}

std::vector<TrackedShape> Tracker::update(long long frameNumber, const std::vector<Shape>& shapes,
                                          cv::Size frameSize,
                                          const std::vector<cv::Scalar>& colours) {
    State& s = *state_;
    if (!colours.empty() && colours.size() != shapes.size()) {
        throw std::invalid_argument("Tracker::update: " + std::to_string(colours.size()) +
                                    " colours for " + std::to_string(shapes.size()) +
                                    " shapes; give one colour a shape, or none");
    }
    if (frameNumber <= s.lastFrame) {
        throw std::invalid_argument("Tracker::update: frame " + std::to_string(frameNumber) +
                                    " comes after frame " + std::to_string(s.lastFrame) +
                                    "; frame numbers must increase");
    }
    const long long previousFrame = s.lastFrame;
    s.lastFrame = frameNumber;
    const TrackerParams& p = s.params;

    std::vector<track::FloatPolygon> outlines(shapes.size());
    std::transform(shapes.begin(), shapes.end(), outlines.begin(),
                   [](const Shape& shape) { return track::convexOutline(shape.polygon); });
    std::vector<double> areas(shapes.size());
    std::transform(outlines.begin(), outlines.end(), areas.begin(),
                   [](const track::FloatPolygon& outline) { return cv::contourArea(outline); });

    std::vector<bool> enters(shapes.size());
    std::transform(outlines.begin(), outlines.end(), enters.begin(),
                   [frameSize](const track::FloatPolygon& outline) {
                       return nearBorder(outline, frameSize, 0.0);
                   });

    // Where each track is expected in this frame.
    std::vector<cv::Point2d> expectedAt(s.tracks.size());
    std::transform(s.tracks.begin(), s.tracks.end(), expectedAt.begin(),
                   [frameNumber](const Track& t) {
                       return t.centre + travel(t, static_cast<double>(frameNumber - t.lastSeen));
                   });
    const std::vector<cv::Point2f> everyExpected =
        placesOf(s.tracks, expectedAt, [](std::size_t) { return true; });
    cv::Mat cost(static_cast<int>(s.tracks.size()), static_cast<int>(shapes.size()), CV_64F,
                 cv::Scalar(track::kForbidden));
    // Whether each track's last shape has come apart (see cameApart); false for look-only tracks.
    std::vector<bool> apart(s.tracks.size(), false);
    for (int i = 0; i < cost.rows; ++i) {
        const Track& t = s.tracks[i];
        if (t.lookOnly) {
            continue;
        }
        const cv::Point2d expected = expectedAt[i];
        const cv::Point2d step = expected - t.centre;
        const track::FloatPolygon moved = shifted(t.outline, step);
        const track::FloatPolygon wholeMoved = shifted(t.whole, expected);
        // Tracks exist only once a frame was seen, so previousFrame is a real frame here.
        const double spread = std::sqrt(static_cast<double>(frameNumber - t.lastSeen) /
                                        static_cast<double>(frameNumber - previousFrame));
        const bool missed = t.lastSeen < previousFrame;
        const bool longLost = frameNumber - lostSince(t) > kLongLost;
        const bool expectedInside = missed && !nearBorder(moved, frameSize, kBorderMargin);
        const double lastArea = cv::contourArea(t.outline);
        const bool seenWhole = !looksHidden(t, lastArea);
        apart[i] = cameApart(t, lastArea, step, shapes, areas);
        const bool parted = apart[i] && !missed;
        // A shape still entering the frame grows past the growth gate over a frame or two
        // missed: its last shape and the new one both touch the border.
        const bool entering = !frameSize.empty() && nearBorder(t.outline, frameSize, 0.0);
        for (int j = 0; j < cost.cols; ++j) {
            const double distance = cv::norm(shapes[j].centre - expected);
            if (distance > p.centreGate) {
                continue;
            }
            if (missed && areas[j] > kMergedGrowth * t.area && !(entering && enters[j]) &&
                !mergesLost(outlines[j], cv::Point2f(expected), everyExpected)) {
                continue;
            }
            if (longLost && looksHidden(t, areas[j])) {
                continue;
            }
            if (expectedInside && enters[j] && !covers(outlines[j], cv::Point2f(expected)) &&
                (!seenWhole || looksHidden(t, areas[j]))) {
                continue;
            }
            if (parted && !covers(moved, cv::Point2f(shapes[j].centre))) {
                continue;
            }
            if (enters[j] &&
                entersWhereLeft(t, areas[j], lastArea, shapes[j].centre, step, frameSize)) {
                continue;
            }
            const double overlap = std::max(track::intersectionOverUnion(moved, outlines[j]),
                                            track::intersectionOverUnion(wholeMoved, outlines[j]));
            if (overlap < p.minOverlap && !missed) {
                continue;
            }
            const double pairCost = (1.0 - overlap) + distance / (p.centreGate * spread) +
                                    p.shapeWeight * unlikeness(t, shapes[j], areas[j], !missed);
            if (pairCost <= kDearestPair) {
                cost.at<double>(i, j) =
                    pairCost +
                    p.colourWeight * colourUnlikeness(t, colours, static_cast<std::size_t>(j));
            }
        }
    }
    std::vector<int> columnOfRow = track::assignOptimal(cost, unpairedCost(p.colourWeight));
    preferWhole(s.tracks, expectedAt, shapes, areas, cost, columnOfRow);
    preferLarger(s.tracks, expectedAt, outlines, areas, cost, previousFrame, columnOfRow);
    const std::vector<bool> reidentified =
        reidentify(s.tracks, expectedAt, shapes, areas, enters, colours,
                   {frameNumber, previousFrame, p.centreGate, p.colourWeight}, columnOfRow);
    std::vector<bool> free(shapes.size());
    for (std::size_t j = 0; j < shapes.size(); ++j) {
        free[j] = !enters[j] && std::find(columnOfRow.begin(), columnOfRow.end(),
                                          static_cast<int>(j)) == columnOfRow.end();
    }
    std::vector<cv::Point2d> centres(shapes.size());
    std::transform(shapes.begin(), shapes.end(), centres.begin(),
                   [](const Shape& shape) { return shape.centre; });
    const std::vector<bool> emerged = track::takeEmerging(
        goneBehind(s.tracks, expectedAt, columnOfRow, frameNumber, p.centreGate), centres, areas,
        free, columnOfRow);

    const std::vector<cv::Point2f> unseen = placesOf(
        s.tracks, expectedAt, [&columnOfRow](std::size_t i) { return columnOfRow[i] < 0; });
    // A track that took no shape but is expected inside one is under it or merged into it
    // (step 4); looked at before the outlines go to their tracks.
    for (std::size_t i = 0; i < s.tracks.size(); ++i) {
        if (columnOfRow[i] < 0 && anyCovers(outlines, expectedAt[i])) {
            s.tracks[i].lastCovered = frameNumber;
        }
    }
    std::vector<int> trackOfShape(shapes.size(), -1);
    std::vector<Track> kept;
    kept.reserve(s.tracks.size() + shapes.size());
    for (std::size_t i = 0; i < s.tracks.size(); ++i) {
        Track& t = s.tracks[i];
        const int j = columnOfRow[i];
        if (j < 0) {
            const bool confirmed = t.id != 0;
            const long long lost = frameNumber - lostSince(t);
            t.lookOnly =
                t.lookOnly || leftFrame(expectedAt[i], frameSize) || lost > p.keepLostFrames;
            if (confirmed && lost <= kLookOnlyKeep * p.keepLostFrames) {
                kept.push_back(std::move(t));
            }
            continue;
        }
        const Shape& shape = shapes[j];
        const auto elapsed = static_cast<double>(frameNumber - t.lastSeen);
        const double area = areas[j];
        const double lastArea = cv::contourArea(t.outline);
        const bool split = looksHidden(t, area) && apart[i];
        if (reidentified[i] || split || emerged[i]) {
            // Found again where its motion did not lead, parted from a shape it was merged with,
            // or coming out from behind something: start again from here.
            t.centre = shape.centre;
            t.area = area;
            t.vertices = simpleVertices(shape);
            takeWhole(t, outlines[j], shape.centre, colours, static_cast<std::size_t>(j));
            if (emerged[i]) {
                // How it moved while hidden is unknown: it is followed as a shape first seen.
                t.velocity = {};
                t.turn = 0.0;
                t.measured = 0;
            }
        } else if (!looksHidden(t, area) && area <= kMergedGrowth * lastArea &&
                   !swallowsAnother(outlines[j], area, t.area, unseen)) {
            // A step from a centre carried on as expected (the shape looked hidden or merged)
            // is no step the shape made: one turn so measured sent a track lost just after in a
            // circle.
            if (centreMeasured(t)) {
                const cv::Point2d measured = (shape.centre - t.centre) / elapsed;
                if (t.measured > 0) {
                    updateTurn(t, measured, elapsed);
                }
                t.velocity = medianVelocity(t, measured);
            }
            t.centre = shape.centre;
            t.area = std::max(t.area, area);
            // A vertex count is learnt once seen in two processed frames in a row: the detector
            // miscounts a shape's corners in one frame of ten or so, and a track lost just after
            // would hold the wrong count against its own shape coming back.
            const int vertices = simpleVertices(shape);
            if (t.vertices == 0 || vertices == t.lastVertices) {
                t.vertices = vertices;
            }
            takeWhole(t, outlines[j], shape.centre, colours, static_cast<std::size_t>(j));
        } else {
            t.centre += travel(t, elapsed);
            const bool foundAsPiece =
                looksHidden(t, area) &&
                (t.lastSeen < previousFrame || comesOut(t, shape.centre, area, lastArea)) &&
                frameNumber - lostSince(t) <= kBriefLoss && !enters[j];
            if (foundAsPiece &&
                cv::countNonZero(cost.row(static_cast<int>(i)) < track::kForbidden) == 1) {
                t.centre = withinReach(t.whole, t.centre, shape.centre);
            }
            t.area *= kForgetLargest;
        }
        // Set after the velocity is learnt, which points out of the frame while the shape leaves.
        // Twice in a row, as one frame's shrinking can be the detector's jitter on a shape that
        // stays put against the border.
        const bool shrank = !frameSize.empty() && enters[j] && kBorderJitter * area < lastArea;
        t.shrinks = shrank ? t.shrinks + 1 : 0;
        t.leaving = t.shrinks >= kLeavingShrinks && looksHidden(t, area) &&
                    movesOut(outlines[j], frameSize, t.velocity);
        t.outline = std::move(outlines[j]);
        t.seen = shape.centre;
        t.lastVertices = simpleVertices(shape);
        t.lookOnly = false;
        t.lastSeen = frameNumber;
        if (t.id == 0 && ++t.hits >= p.confirmFrames) {
            t.id = s.nextId++;
        }
        trackOfShape[j] = static_cast<int>(kept.size());
        kept.push_back(std::move(t));
    }
    for (std::size_t j = 0; j < shapes.size(); ++j) {
        if (trackOfShape[j] >= 0) {
            continue;
        }
        Track born;
        born.hits = 1;
        born.id = p.confirmFrames <= 1 ? s.nextId++ : 0;
        born.lastSeen = frameNumber;
        born.area = areas[j];
        takeWhole(born, outlines[j], shapes[j].centre, colours, j);
        born.outline = std::move(outlines[j]);
        born.centre = shapes[j].centre;
        born.seen = born.centre;
        born.lastVertices = simpleVertices(shapes[j]);
        trackOfShape[j] = static_cast<int>(kept.size());
        kept.push_back(std::move(born));
    }
    s.tracks = std::move(kept);

    std::vector<TrackedShape> tracked;
    tracked.reserve(shapes.size());
    for (std::size_t j = 0; j < shapes.size(); ++j) {
        tracked.push_back({shapes[j], s.tracks[trackOfShape[j]].id});
    }
    return tracked;
}

}  // namespace shapemark
