// Identities: a Tracker gives each shape one id that it keeps from frame to frame.
//
// Feed it every processed frame's shapes, in frame order. It returns the same shapes, in the same
// order, each with an id: 0 while its track is tentative, then 1, 2, 3, ... in the order tracks
// are confirmed, with no gaps. Ids start at 1 in each Tracker, are never shared between two
// Trackers, and a confirmed id is never given again. One Tracker must not be used from two
// threads at once; separate Trackers share nothing.
#pragma once

#include <opencv2/core.hpp>

#include <memory>
#include <vector>

#include <shapemark/shapemark.hpp>

namespace shapemark {

// Plain data with defaults that suit the tool's own shapes (about 30 to 100 pixels across,
// moving up to 8 pixels a frame). Ranges are checked by validate().
struct TrackerParams {
    // YAML `min_overlap`: the least intersection over union between a shape and its track's
    // polygon (the last it took, or its outline when last seen whole, whichever overlaps more),
    // moved to where the track is expected, for the two to be the same shape. 0 to 1.
    // At the default, 0, overlap only ranks the pairs the centre gate allows: on the moving
    // scenes of docs/DETECTION.md any floor lost shapes that turn fast or merge for a while.
    // A track missed in the frame before needs no overlap in any case.
    double minOverlap = 0.0;
    // YAML `centre_gate`: the farthest, in pixels, a shape's centre may lie from where its track
    // is expected. Above 0, up to 100000.
    double centreGate = 80.0;
    // YAML `confirm_frames`: how many processed frames in a row a new track must be seen before
    // it gets an id. 1 (at once) to 1000. At the default, 1, a one-frame blip takes an id too,
    // yet IDF1 on the scenes of docs/DETECTION.md is higher than at 2 on every set, on true
    // polygons and on detected shapes: a shape's frames before its id count as lost.
    int confirmFrames = 1;
    // YAML `keep_lost_frames`: how many input frames a confirmed track that was not seen is kept,
    // so a shape hidden for a while comes back under its id. Counted in input frames, so a skip
    // rate does not change its meaning, from the last frame it was seen in or, later, the last
    // where one of the frame's shapes covered where it was expected (merged into that shape by
    // the detector, or under it, it is not gone). 0 to 1000000. Past it, the track is kept three
    // times as long again, but takes only a shape that looks like it near where it was last seen
    // (or where it is expected) and does not touch the border (the detector can miss a shape for
    // longer). When update() is given the frame's size, so is a track expected outside the
    // frame; without the size, tracks of shapes that left may take the id of shapes entering
    // there.
    int keepLostFrames = 20;
    // YAML `shape_weight`: how much a pair costs for each way the shape's outline differs from
    // its track's: a different vertex count (both whole), and the ratio of their areas (its
    // natural logarithm, up to 1). 0 (position and overlap only) to 10. At the default, a
    // triangle rarely takes the id of a hexagon beside it, yet a shape partly hidden or merged
    // with another for a while still follows its track.
    double shapeWeight = 0.5;
    // YAML `colour_weight`: how much a pair costs when the shape's mean colour differs from its
    // track's: their distance in BGR units over 20, up to 1 (on the moving scenes of
    // docs/DETECTION.md a shape's mean colour stays within about 1 of itself, while two shapes'
    // lie about 60 apart). 0 (colour not used) to 10. It counts only when update() is given the
    // shapes' colours (Tracker::colours), sampled from the frame as captured, before anything
    // is drawn on it; then it weighs re-identification too. Off by default: at 2, the best on
    // the tuning scenes, ids on detected shapes improve at skip rate 1 on every set but lose up
    // to 0.025 IDF1 at skip rate 2 on held-out ones, where colour hands a merged region to the
    // wrong track (docs/DETECTION.md).
    double colourWeight = 0.0;

    // Whether update() has any use for the shapes' colours: callers sample them only then.
    [[nodiscard]] bool usesColour() const { return colourWeight > 0.0; }

    // Throws std::invalid_argument naming the field (snake_case) and the range it breaks.
    SHAPEMARK_API void validate() const;
};

// A shape of one frame, with its track's id: 0 while the track is tentative.
struct TrackedShape {
    Shape shape;
    int id = 0;
};

class SHAPEMARK_API Tracker {
  public:
    explicit Tracker(const TrackerParams& params = {});  // validates; throws std::invalid_argument
    ~Tracker();
    Tracker(Tracker&&) noexcept;
    Tracker& operator=(Tracker&&) noexcept;
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    [[nodiscard]] const TrackerParams& params() const;

    // Every shape of the frame, in the given order, with its id. Frame numbers count input
    // frames and must increase from call to call (a skip rate leaves gaps); a number that does
    // not throws std::invalid_argument. Shapes are matched one to one to tracks by the overlap
    // of their polygons, within the centre gate, at the least total cost (see tracker.cpp).
    std::vector<TrackedShape> update(long long frameNumber, const std::vector<Shape>& shapes);
    // The same, knowing the frame's size (as the tool and frames(track=True) do): a lost track
    // expected outside the frame has left it, so a shape entering there (touching the border)
    // starts its own track, as does one touching the border where no track is expected. An
    // empty size is the call above.
    std::vector<TrackedShape> update(long long frameNumber, const std::vector<Shape>& shapes,
                                     cv::Size frameSize);
    // The same, with each shape's mean colour (`colours[j]` for `shapes[j]`, as colours()
    // gives them): a shape unlike a track in colour costs up to colour_weight more to pair with
    // it.
    // Empty colours are the call above; any other count throws std::invalid_argument.
    std::vector<TrackedShape> update(long long frameNumber, const std::vector<Shape>& shapes,
                                     cv::Size frameSize, const std::vector<cv::Scalar>& colours);

    // Each shape's mean colour in `image` (the frame the shapes were found in, before outlines
    // are drawn on it), inside its polygon shrunk by 2 pixels (the whole polygon for a shape
    // too thin for that), so that the outline's blur and the ground do not count. Any number of
    // channels; a shape outside the image gets 0. Throws std::invalid_argument for an empty
    // image.
    static std::vector<cv::Scalar> colours(const cv::Mat& image, const std::vector<Shape>& shapes);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The tracker's parameters as the `tracker:` map of a parameters file (snake_case keys, each
// optional). Throws std::invalid_argument naming an unknown or repeated key, a value of the
// wrong kind, or one out of range.
SHAPEMARK_API TrackerParams readTrackerParams(const cv::FileNode& node);

// Writes `tracker:` with every key, so a file printed this way reads back the same.
SHAPEMARK_API void writeTrackerParams(cv::FileStorage& fs, const TrackerParams& params);

}  // namespace shapemark
