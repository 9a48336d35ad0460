// Pieces of partly hidden shapes: where their whole shape lies, and which a track takes.
#pragma once

#include <shapemark/shapemark.hpp>

#include <opencv2/core.hpp>

#include <vector>

#include "track/polygon_overlap.hpp"
#include "track/track.hpp"

namespace shapemark::track {

// A piece of a shape lies inside it: a whole shape's centre, thought to be at `centre`, is at
// most its outline's radius (`whole`, about its centre) from the centre of a piece of it seen
// at `piece`; the point within that reach nearest `centre`. A shape turning behind something
// comes out where its motion did not lead, and its track, left moving as expected, takes
// another shape that comes out nearer that prediction.
cv::Point2d withinReach(const FloatPolygon& whole, cv::Point2d centre, cv::Point2d piece);

// Whether a piece of a track's shape (centre `piece`, area `area`) is that shape coming out from
// behind something, the track having taken a smaller piece (`lastArea`) in the frame before and
// being expected at t.centre: the piece has grown and moved on the way the track goes (a shape
// coming out shows more of itself ahead) and lies within twice the shape's radius of where it is
// expected (the shape lies within its radius of any piece of it: farther off, it cannot be both
// there and where expected). Such a piece says where the shape is better than a prediction made
// before it went behind. A shrinking piece (going behind) or one standing or moving against the
// track (another shape coming out where it went) says nothing.
bool comesOut(const Track& t, cv::Point2d piece, double area, double lastArea);

// Whether a shape of `area` at `piece` is another one coming out where a track's shape is going
// behind something: the track, seen in the frame before (`missed` false) and moving faster than
// kSlowestGoingBehind, took a shape that shrank faster than the detector's jitter
// kLeavingShrinks processed frames in a row while looking partly hidden (`t.hiding`), or once
// when this one is larger than the track's whole shape, and this one has grown by more than a
// quarter on its last (`lastArea`) and stepped from it against the track's way. Sliding behind an
// edge, a shape only shows less of itself, and one that stops or turns back there regains less than
// a quarter in a frame (as at the frame's border: see entersWhereLeft); a piece grown by more,
// stepping back out, is another shape coming out there (scene 4 frame 186: a piece of 883 px²
// coming out of the band, after the pieces of 846, 740 and 420 px² of a shape going down into it,
// took that shape's id). A slow shape's pieces shrink as another moves over it, and grow again as
// that moves off: they say nothing. One shrink is enough for a shape larger than the track's own:
// no piece of it shows more than the whole (scene 1504 frame 39: pieces of 503 and 359 px² of a
// shape of 546, the first under a tenth smaller, then one of 778 px² standing at the band's edge
// took its id).
bool comesOutWhereGoing(const Track& t, double area, double lastArea, cv::Point2d piece,
                        bool missed);

// Whether a track's shape, taken as `area` at `piece` after its last of `lastArea`, went further
// behind something: it shrank faster than the detector's jitter, looks partly hidden, and lies
// within the shape's radius of the last piece (farther, it is a piece coming out elsewhere).
bool goesFurtherBehind(const Track& t, double area, double lastArea, cv::Point2d piece);

// The end of step 3: a track paired with a shape that looks partly hidden takes instead the
// nearest shape left unpaired that looks whole to it (neither hidden nor grown past
// kMergedGrowth times its whole area) and lies nearer where it is expected, if the pairing
// allows that pair. A track lost a while takes a piece of another shape come out near where it
// went for a hidden piece of its own; the piece then overlaps the track's last outline, itself,
// better than its own shape does when that shows again whole where expected, which took a new
// id. Left unpaired, the piece starts a track of its own.
void preferWhole(const std::vector<Track>& tracks, const std::vector<cv::Point2d>& expected,
                 const std::vector<Shape>& shapes, const std::vector<double>& areas,
                 const cv::Mat& cost, std::vector<int>& columnOfRow);

}  // namespace shapemark::track
