// The tracker. Each frame:
// 1. every track is moved to where it is expected: from its last centre, on at its velocity,
//    turning at its rate of turn, for the input frames since it was last seen (a shape on a curve
//    comes out from behind something where the curve, not its tangent, leads);
// 2. a shape and a track may be paired when the shape's centre lies within the centre gate of the
//    expected centre and their polygons overlap by at least min_overlap (intersection over union
//    with the track's last polygon moved on as the track is expected to go, or with its outline
//    when last seen whole placed at the expected centre, whichever is more: a track that took
//    another shape for a piece of itself, hidden behind it, judges by its own outline too, or it
//    would keep that shape once its own shows again); such a pair costs (1 - overlap) + distance /
//    (centre_gate * spread) + shape_weight * unlikeness, the spread being the square root of the
//    processed frames since the track was last seen: the longer a track is lost, the less sure its
//    expected place, so a shape coming out from behind something goes to the track lost there for a
//    while rather than to one missed a moment ago nearby. The unlikeness counts 1 for a vertex
//    count other than the track's (both whole; for a track seen in the frame before, other than its
//    last shape's too: following two shapes merged by the detector, it has the region's count; half
//    for a blunt corner miscounted near where the track is expected; not one more at the border,
//    which cut a corner off: see unlikeness) and the logarithm of their areas' ratio, up to 1: a
//    shape coming out beside another goes to the track that looks like it. No pair may cost more
//    than 2 (see kDearestPair). Given the shapes' mean colours, a pair then costs colour_weight
//    times how unlike the track's colour the shape's is (their distance over kColourSpan, up to 1):
//    colour ranks the pairs the rest allows, but never refuses one, as a shape partly covered by
//    another or by something in front takes on their colour for a while. A track missed in the
//    frame before needs no overlap (such a shape shows another part of itself first), but cannot
//    take a shape grown by more than half on its whole area: that is another shape come out where
//    it was lost, unless both it and the track's last shape touch the border (a shape still
//    entering the frame), or it covers where the track and another one are expected: then it is the
//    two merged (taking it keeps the id through the merge; step 4 keeps the track moving as
//    expected, where it starts again once they part); nor, lost long (counted as in step 4), a
//    shape that looks partly hidden, nor, seen in one frame only and missed since, one under a
//    third of its area (see kOnceSeenPart: a blip's piece); nor, with the frame's size known, a
//    shape touching the border when the track is expected well inside: that shape is entering the
//    frame, unless it covers where the track is expected (the track's shape merged with one
//    entering, or with one at the border) or it looks whole to a track last seen whole (a shape
//    entering shows a piece of itself; a whole one is the track's own, gone on to the border while
//    missed). A track whose last shape, taken in the frame before, has come apart (see cameApart)
//    takes only one of its parts: that shape was two merged, and a shape elsewhere is neither; a
//    track whose shape has been shrinking at the border while moving out there takes no shape at
//    the border grown by more than a quarter on its last, or off its way along the border: that is
//    another shape entering where it went out (see entersWhereLeft); nor, seen in the frame before,
//    a shape grown by more than a quarter that lies behind its shape going out there (see
//    backFromBorder); nor may a track missed while its last shape touched the border take a shape
//    at the border farther from it than its shape could have gone (see entersAway); nor may a track
//    whose shape is going behind something (its pieces shrinking frame after frame as it moves on)
//    take a piece grown by more than a quarter that steps back against its way (after one shrink, a
//    shape larger than its whole): another shape coming out there (see comesOutWhereGoing), unless
//    it covers where that track and another seen in the frame before are expected (the two merged:
//    a shape whose outline the detector cut short for a frame looks to be going behind, then meets
//    a neighbour);
// 3. the pairs are chosen one to one at the least total cost (Hungarian method), a track or a shape
//    left unpaired costing half the dearest pair: no two dear pairs are made where one cheap pair
//    would do. On the ground-truth scenes of docs/DETECTION.md this beats taking the cheapest pair
//    first, and pairing as many tracks as possible. Then a track paired with a shape that looks
//    partly hidden takes instead a shape left unpaired that looks whole to it and lies nearer where
//    it is expected (see preferWhole): the hidden-looking one was a piece of another shape. A track
//    paired with a shape that is its own merged with another's (larger than its whole shape by a
//    quarter, covering where that other track, unpaired and seen in the frame before, or no earlier
//    than the first one if that was missed too and last seen whole, is expected) gives it up to
//    that track if its whole shape is the larger, or about as large and last seen whole, and its
//    last shape, where expected, covers more of the region (see preferLarger): the region is mostly
//    that shape, and would carry the other one's id only for sharing its vertex count. A track
//    missed in the frame before and paired with a shape that looks partly hidden to it gives it up
//    to a track lost under another shape since it was last seen, to which it looks whole (see
//    preferCameOut): that one has come out from under a region the first track took and learnt;
// 4. paired tracks take the shape's polygon and centre and update their velocity (the median of the
//    last three steps measured) and rate of turn, unless the centre they step from was carried on
//    as expected (below: no step the shape made), and its vertex count once it is that of the shape
//    taken before too (not one more on a shape shrunk past the detector's jitter: its outline cut
//    by something in front, see cornerCut), unless the shape has shrunk by more than a fifth from
//    the largest the track has seen (partly hidden: its centre lags), grown by more than half at
//    once (merged with another), or grown by more than a quarter over the largest seen while
//    covering where a track unseen this frame is expected (merged with it by a little each frame)
//    or, lost a moment ago, was last seen (its prediction run off the region: see unseenPlaces):
//    then the track keeps moving as expected, except that a track missed in the frame before, lost
//    at most kBriefLoss input frames and found again as a piece of its shape (not touching the
//    border, and the only shape it could take) is put back within its own radius of that piece: a
//    piece lies inside its shape, and one turning behind something comes out off its path; so is a
//    track that took a smaller piece in the frame before, once the piece has grown and moved on the
//    way the track goes, within twice its radius of where it is expected (its shape coming out from
//    behind something, off the path it went in on: see comesOut). A shape that looks hidden but is
//    one of two or more whose centres lie in the track's last shape, and which make up nearly all
//    of it, is whole: that shape was two merged, now parted, and the track starts again from it, as
//    in step 5; a tentative track seen confirm_frames processed frames in a row gets the next id; a
//    tentative track missed once is dropped; a confirmed one is kept keep_lost_frames input frames
//    from when it was last seen or last expected inside one of the frame's shapes (under it, or
//    merged into it by the detector: not gone, however long the two stay together; see lostSince);
//    once expected outside the frame it takes no part in step 2 (it has left: a shape entering
//    there is another), nor once lost past keep_lost_frames, when it is kept kLookOnlyKeep times as
//    long for step 5 alone;
// 5. a shape still unpaired may re-identify a confirmed track lost since before the last frame (see
//    reidentify): the detector often misses a shape for longer than the prediction holds, and a
//    shape turning behind something is expected where it never goes, even outside the frame, so
//    this goes by where the shape was last seen (or lies within its radius of where it is expected)
//    and what it looks like (its colour too, when given); then a track whose last shape was a piece
//    of it (going behind something) takes a piece still unpaired that lies on its way (or its last
//    piece's) beyond that piece, within its reach (see goneBehind): its shape coming out on the far
//    side, which started a track of its own, too unlike a whole shape and too far off its
//    prediction for the pairing; it starts again from that piece; each shape still unpaired starts
//    a tentative track.
#include <shapemark/tracker.hpp>

#include <shapemark/detector_params.hpp>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include "track/assignment.hpp"
#include "track/emerging.hpp"
#include "track/frame_border.hpp"
#include "track/hidden_pieces.hpp"
#include "track/merged_shapes.hpp"
#include "track/polygon_overlap.hpp"
#include "track/reidentify.hpp"
#include "track/shape_likeness.hpp"
#include "track/track.hpp"
#include "track/track_motion.hpp"

namespace shapemark {

namespace {

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

// A track seen in one frame only and missed since is as often the detector's blip as a shape
// (scene 1802 frame 83: the band's outline, 26125 px², taken for a shape), and may be two
// shapes merged, each about half its area: it takes no shape under this share of its area. Such
// a blip took the pieces of a shape coming out of the band (156 to 988 px²), 30 px off its
// centre, from that shape's own track.
constexpr double kOnceSeenPart = 1.0 / 3.0;

// A confirmed track lost past keep_lost_frames is kept this many times as long for
// re-identification alone (step 5: a shape that looks like it, near where it was last seen). The
// detector misses a shape in a crowd for longer than a prediction holds, and it came back under a
// new id; a look-alike near its last place is far safer than the shape nearest a prediction that
// old. Any bound from 3 to 10 scores the same on the moving scenes; it keeps a long video's lost
// tracks from piling up.
constexpr long long kLookOnlyKeep = 3;

}  // namespace

struct Tracker::State {
    TrackerParams params;
    int nextId = 1;
    long long lastFrame = std::numeric_limits<long long>::min();
    std::vector<track::Track> tracks;
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
    using namespace track;  // the steps' rules, each in its own file
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
    // Where each track seen in the frame before is expected: its shape's place is known.
    const std::vector<cv::Point2f> seenExpected = placesOf(
        s.tracks, expectedAt,
        [&s, previousFrame](std::size_t i) { return s.tracks[i].lastSeen == previousFrame; });
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
        apart[i] = cameApart(s.tracks, static_cast<std::size_t>(i), expectedAt, shapes, outlines,
                             areas, previousFrame);
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
            if (missed && t.hits == 1 && areas[j] < kOnceSeenPart * t.area) {
                continue;
            }
            if (expectedInside && enters[j] && !covers(outlines[j], cv::Point2f(expected)) &&
                (!seenWhole || looksHidden(t, areas[j]))) {
                continue;
            }
            if (parted && !covers(moved, cv::Point2f(shapes[j].centre))) {
                continue;
            }
            if (missed && entering && enters[j] &&
                entersAway(t, shapes[j].centre, frameNumber - t.lastSeen)) {
                continue;
            }
            // Another shape coming out where this one goes behind, unless it covers where this
            // track and another seen in the frame before are expected: the two merged.
            if (comesOutWhereGoing(t, areas[j], lastArea, shapes[j].centre, missed) &&
                !mergesLost(outlines[j], cv::Point2f(expected), seenExpected)) {
                continue;
            }
            if (!missed && backFromBorder(t, areas[j], lastArea, shapes[j].centre, frameSize)) {
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
            const double pairCost =
                (1.0 - overlap) + distance / (p.centreGate * spread) +
                p.shapeWeight * unlikeness(t, shapes[j], areas[j], !missed, expected,
                                           !frameSize.empty() && enters[j]);
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
    preferCameOut(s.tracks, areas, enters, cost, previousFrame, p.shapeWeight, columnOfRow);
    const std::vector<bool> reidentified =
        reidentify(s.tracks, expectedAt, shapes, areas, enters, colours,
                   {frameNumber, previousFrame, p.centreGate, p.colourWeight}, columnOfRow);
    const std::vector<bool> emerged = track::takeEmerging(
        goneBehind(s.tracks, expectedAt, columnOfRow, frameNumber, p.centreGate), shapes, areas,
        enters, columnOfRow);

    const std::vector<cv::Point2f> unseen =
        unseenPlaces(s.tracks, expectedAt, columnOfRow, frameNumber);
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
            // would hold the wrong count against its own shape coming back. Nor is one learnt from
            // an outline cut by something the shape goes behind (see cornerCut).
            const int vertices = simpleVertices(shape);
            if (t.vertices == 0 || (vertices == t.lastVertices && !cornerCut(t, vertices, area))) {
                t.vertices = vertices;
            }
            takeWhole(t, outlines[j], shape.centre, colours, static_cast<std::size_t>(j));
        } else {
            // A shape stopped half out of the frame is not carried on out of it (see
            // stoppedAtBorder).
            const cv::Point2d carried = travel(t, elapsed);
            if (!(enters[j] && stoppedAtBorder(t, area, lastArea, shape.centre, carried))) {
                t.centre += carried;
            }
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
        const bool shrank = !frameSize.empty() && enters[j] && kSameSize * area < lastArea;
        t.shrinks = shrank ? t.shrinks + 1 : 0;
        t.leaving = t.shrinks >= kLeavingShrinks && looksHidden(t, area) &&
                    movesOut(outlines[j], frameSize, t.velocity);
        t.hiding = goesFurtherBehind(t, area, lastArea, shape.centre) ? t.hiding + 1 : 0;
        t.outline = std::move(outlines[j]);
        t.lastStep = t.lastSeen == previousFrame ? shape.centre - t.seen : cv::Point2d();
        t.seen = shape.centre;
        t.lastVertices = simpleVertices(shape);
        t.lookOnly = false;
        t.lastSeen = frameNumber;
        if (++t.hits >= p.confirmFrames && t.id == 0) {
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
