// The robust detector: several colour planes and threshold windows, each outer contour tested
// for corners, and the candidates of one physical shape merged into one polygon.
// It keeps no state between calls, so it may run on several frames at once.
#pragma once

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

#include <shapemark/detector_params.hpp>
#include <shapemark/shapemark.hpp>

namespace shapemark {

// The shapes of `bgr` (8-bit, 3 channels) inside the parameters' area window and vertex range,
// largest first; each is reported once, by its outer edge, and one the frame's border cuts by
// its visible part.
std::vector<Shape> detectRobust(const cv::Mat& bgr, const DetectorParams& params);

namespace robust {

using Contour = std::vector<cv::Point>;

// One outer contour found on one plane at one threshold window, in working-image pixels.
struct Candidate {
    Contour polygon;  // its corner polygon (approximation), convex when it passes; none when
                      // it fails as concave
    std::vector<cv::Point2f> hull;  // its contour's convex hull, for overlap
    double area = 0.0;              // contour area
    bool onEdge = false;  // it follows a real edge; a halo's contour does not count at all
    bool passes = false;  // on an edge, convex, corners not curves, vertex count in range
    // The search that found it: plane, window and signed offset (brighter > 0 > darker).
    std::size_t plane = 0;
    int window = 0;
    double offset = 0.0;
    bool split = false;  // a piece of a ragged region, cut out by splitRagged
    bool cut = false;    // a ragged region a passing piece was cut out of: the piece stands
                         // for it, so it does not vote against it
    // It fails only for its outline: concave, or its polygon not convex, as where texture
    // touches it; not for curving or for a vertex count that drifts.
    bool jagged = false;
    // The region it is, or was cut out of: a region and its pieces that fail all for their
    // outline share the same texture, and vote once.
    std::size_t region = 0;
};

// The planes searched, by index: Lab's three, then lightness mapped against shadow.
constexpr std::size_t kShadowPlane = 3;

// The planes searched, smoothed: lightness at the working scale, the two colour-opponent
// planes, so that a shape of the background's grey but another colour still stands out, at
// tuning::kColourUnit of it and through chromaInShadow, and lightnessInShadow of the first.
std::vector<cv::Mat> candidatePlanes(const cv::Mat& bgr, double scale);

// Lightness (8-bit, smoothed) mapped towards a logarithm, where a shadow, which multiplies the
// light, lowers a region and its ground alike instead of shrinking their difference. The one
// mapping for the working image and the full-resolution trace.
cv::Mat lightnessInShadow(const cv::Mat& lightness);

// A colour-opponent plane (8-bit, grey at 128) stretched away from grey where `lightness` (the
// same size) lies in shadow, where chroma shrinks with the light. The one mapping for the
// working image and the full-resolution trace.
cv::Mat chromaInShadow(const cv::Mat& opponent, const cv::Mat& lightness);

// Whether the plane is one of the two colour-opponent planes (not lightness nor its shadow map).
bool colourPlane(std::size_t plane);
// A plane's pixels per working-image pixel.
double planeUnit(std::size_t plane);

// The signed offsets a plane is searched with (brighter > 0 > darker).
std::vector<double> planeOffsets(std::size_t plane);

// How far each pixel of `plane` lies above the mean of the `window`-wide box around it
// (16-bit signed; negative below it). One per plane and window serves both signs of offset.
cv::Mat localContrast(const cv::Mat& plane, int window);

// The pixels whose local contrast exceeds `offset`: brighter than their surroundings when it is
// positive, darker when negative.
cv::Mat standsOut(const cv::Mat& contrast, double offset);

// Every outer contour of standsOut(contrast, offset) (holes left out), in the order
// cv::findContours lists the contours without a parent.
std::vector<Contour> allOuterContours(const cv::Mat& contrast, double offset);

// The outer contours of the regions of standsOut(contrast, offset). Holes are left out: a ring
// or an outline is traced by its outer edge only. Contours thinner than a shape or outside
// [minArea, maxArea] (pixels of the plane, which has `unit` pixels per
// working-image pixel) are dropped.
void outerContours(const cv::Mat& contrast, double offset, double minArea, double maxArea,
                   double unit, std::vector<Contour>& out);

// cv::contourArea of an integer contour, the same double: its sum of cross products is of
// integers far inside a double's exact range, so an integer sum gives it without the library's
// conversions.
double contourAreaOf(const Contour& contour);

// Whether the contour (8-connected, every point kept) can enclose more than `area`: its n steps
// of length 1 or √2 bound its perimeter by n√2, hence its area by n²/(2π) (isoperimetric
// inequality). Most contours of texture are specks; this spares measuring their area.
// It takes the contour's number of points, so that a contour not yet copied out can be asked.
bool mayEncloseMore(std::size_t points, double area);

// Whether the contour, of `area` (its contourArea) inside `box` (its boundingRect), is at least
// `minWidth` across: the shorter side of its minimum-area rectangle.
bool wideEnough(const Contour& contour, double area, const cv::Rect& box, double minWidth);

// The pieces of a ragged region (a shape joined to blobs of texture by thin bridges) that
// stand out once the bridges are cut; each is a contour of the plane, like outerContours'.
std::vector<Contour> splitRagged(const cv::Mat& contrast, const Contour& contour, double offset,
                                 double minArea, double unit);

// A candidate found on the downscaled working image, traced again on the full frame around it
// with the same plane and offset, and its window narrowed to the shape
// (tuning::kMaxRefineWindow), for full-resolution corners; nothing when it cannot
// be traced whole there (bar the frame's own border), or what it traces there overlaps it too
// little (tuning::kSameTrace). The result is in frame pixels. A piece cut out of a ragged region is
// cut out again there, and fails when no such piece comes out.
std::optional<Candidate> refineAtFullScale(const cv::Mat& bgr, const Candidate& found, double scale,
                                           int minVertices, int maxVertices);

// The candidate a contour of `plane` makes: whether it runs along a real edge of the plane
// (a halo, the ring of background a threshold window draws around a contrasting shape, does
// not), its polygon, and whether that polygon's corners are real corners of a convex polygon
// of minVertices..maxVertices. `unit` is the plane's pixels per working-image pixel, to which
// the tuning's lengths and gradients refer. A piece cut out of a ragged region must run along
// an edge for more of its length (kSplitEdgeShare) than a whole contour. `frame` is the frame's
// extent in the plane's pixels: where the contour runs along its border, the border cuts the
// shape, and the tests judge the rest of the contour.
Candidate cornerCandidate(const Contour& contour, const cv::Mat& plane, const cv::Rect& frame,
                          double unit, int minVertices, int maxVertices, bool piece = false);

// The candidate of a shape wider than the threshold `window` (the plane's pixels), whose ring of
// contrast opened where its ground nears its fill, so that its contour turned inside through the
// flat fill and failed the edge test: the outline of the contour's hull, when that runs along an
// edge and passes as a shape of its own; when it does not (the ring is joined to texture, which
// the hull takes in), the outline of the flat fill inside the hull (floodedFill), on the same
// terms. An empty candidate otherwise.
Candidate openRingCandidate(const Contour& contour, const cv::Mat& plane, const cv::Rect& frame,
                            double unit, double window, int minVertices, int maxVertices);

// The outline of the flat fill grown from the centre of the convex polygon `hull` (points of
// `plane`) and kept inside `room`, while each step stays within a flat fill's grain
// (tuning::kFloodStep), so that it stops at the shape's step edge and short of texture, and moved
// out by a pixel onto that edge. Nothing when the centre is not flat or the fill covers too little
// of the hull (tuning::kFloodShare). With `clip`, the fill is also kept inside the hull.
struct FloodedFill {
    std::optional<Contour> outline;
    bool cut = false;      // the fill reached a side of the room
    bool clipped = false;  // keeping it inside the hull took some of it
};
FloodedFill floodedFill(const cv::Mat& plane, const Contour& hull, const cv::Rect& room, bool clip);

// The candidate of the flat fill (floodedFill) inside the hull of a region at least `window`
// wide (a shape's ring of contrast joined to texture), when that fill is large
// (tuning::kMinFillSize), its outline runs along an edge (tuning::kFillEdgeShare), passes as a
// shape of its own, and is not round (tuning::kFillRoundRatio). The fill is kept in the hull's
// box and in the hull itself (when that clips it, it must be larger: tuning::kClippedFillSize),
// but when it fails there and that box cuts it, it is grown again in the box widened by
// tuning::kFloodRoom. An empty candidate otherwise.
Candidate filledRingCandidate(const Contour& contour, const cv::Mat& plane, const cv::Rect& frame,
                              double unit, double window, int minVertices, int maxVertices);

// The candidate a piece cut out of a ragged region makes (cornerCandidate's, as a piece); when
// that fails the edge test, or runs along an edge but fails for its outline (concave, or its
// polygon not convex), and at least tuning::kEdgeHullShare of it runs along an edge, the
// candidate of the hull of its points on an edge, if that hull's outline runs along an edge
// (tuning::kSplitEdgeShare), passes, and its fill is flat (flatFill).
Candidate pieceCandidate(const Contour& contour, const cv::Mat& plane, const cv::Rect& frame,
                         double unit, int minVertices, int maxVertices);

// The candidate a whole contour makes (cornerCandidate's); when that runs along an edge but its
// polygon, which holds, is not convex (texture touching the outline, a crack running into it),
// the candidate of the hull of its points on an edge, on pieceCandidate's terms.
Candidate wholeCandidate(const Contour& contour, const cv::Mat& plane, const cv::Rect& frame,
                         double unit, int minVertices, int maxVertices);

// Whether the inside of the convex polygon `hull` (points of `plane`, inside `frame`) stands out
// of a ring of ground around it (both within the plane) by tuning::kFlatFill times its own standard
// deviation: the flat fill of a painted shape, not a blob of texture.
bool flatFill(const cv::Mat& plane, const Contour& hull, const cv::Rect& frame);

// Whether the contour leaves `polygon` (convex, `unit` as above) at one place only, and there
// follows a circle whose centre lies inside it: the round bite a hole makes when it reaches a
// shape's edge, not an L's corner nor a star's points.
bool roundNotch(const Contour& contour, const Contour& polygon, double unit);

// Whether a fitted ellipse follows the contour clearly more closely than its polygon does (its
// root mean square distance at most `ratio` of the polygon's; tuning::kRoundRatio): a circle or
// an ellipse, whatever vertex count its polygon has.
bool looksRound(const Contour& contour, const Contour& polygon, double ratio);

// A candidate found on a plane of `unit` pixels per working-image pixel, moved to working pixels.
void toWorkingPixels(Candidate& candidate, double unit);

// One candidate per physical shape: candidates overlapping by IoU are grouped; a group whose
// members mostly pass gives its most voted vertex count's largest polygon (a ragged region a
// passing piece was cut out of does not vote, and a region whose members in the group all fail
// as jagged votes once). Polygons lying inside a larger accepted one (the
// inner edge of an outline, a hole) are dropped, as are holes of a stroke (strokeAround); the
// hole of a thick outline whose stroke rounds its acute corners off stands for the outline
// (strokeOutline).
std::vector<Candidate> mergeCandidates(std::vector<Candidate> candidates);

// The hole of a stroke: a candidate that lies inside (tuning::kInsideShare) a larger
// candidate of the opposite lightness (both off the colour-opponent planes) that runs along an
// edge but is no polygon, not for texture joined to it (a ring, or a thick outline whose acute
// corners its stroke rounds off); the ground a ring encloses stands out of it as a polygon. The
// stroke it is the hole of, or none.
const Candidate* strokeAround(const Candidate& hole, const std::vector<Candidate>& candidates);

// The shape a thick outline makes when its stroke rounds its acute corners off, so that its outer
// edge fails as a curve: the polygon midway through the stroke, the hole's sides each moved out
// by half the stroke's width across it. Nothing when the hole has no corner sharper than
// tuning::kAcuteCorner (the ground a ring encloses) or the stroke is not of one width around it.
std::optional<Candidate> strokeOutline(const Candidate& hole, const Candidate& stroke);

// The intersection over union of two convex polygons.
double convexIou(const std::vector<cv::Point2f>& a, const std::vector<cv::Point2f>& b);

}  // namespace robust
}  // namespace shapemark
