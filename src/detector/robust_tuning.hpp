// Every tuning value of the robust detector, in one place. Lengths are in pixels of the
// working image, which is the frame scaled so that its longer side is at most kWorkingWidth.
#pragma once

#include <array>
#include <cstddef>

namespace shapemark::robust::tuning {

// Candidate search runs on at most a 1280-pixel-wide image: a 1080p frame costs then what a
// 720p one does, and a 30-pixel shape still spans 20 pixels.
constexpr int kWorkingWidth = 1280;
// The colour-opponent planes are searched at this share of the working scale: cameras and
// JPEG keep colour at half resolution anyway, and those planes then cost a quarter as much.
constexpr double kColourUnit = 0.5;
// Pre-smoothing of each plane against sensor noise and compression blocks.
constexpr double kSmoothSigma = 1.2;
// Threshold windows: a narrow one for small and low-contrast shapes, a wide one for the
// outer edge of large shapes. Only outer contours are kept, so a window narrower than a
// shape only makes it a ring, whose outer edge is still the shape's.
constexpr std::array<int, 2> kWindows = {31, 101};
// How far a region must stand out of its surroundings: grey levels of lightness, and units of
// the colour-opponent planes (which carry less noise but also less range).
constexpr double kLightnessOffset = 7.0;
constexpr double kColourOffset = 7.0;
// Darker regions are searched on smoothed lightness mapped towards a logarithm, 255·ln(1 + L/c) /
// ln(1 + 255/c), where a shadow lowers a shape and its ground alike instead of shrinking their
// difference. The floor c (8-bit lightness levels) bounds the stretch of the darkest levels,
// whose sensor grain would otherwise become texture.
constexpr double kShadowFloor = 60.0;
// The colour-opponent planes' distance from grey is multiplied, where lightness L (8-bit) lies
// below the lit level, by (lit + c) / (L + c): a shadow scales chroma with the light, and a
// same-grey colour shape in it would fall under kColourOffset. The floor c bounds the stretch
// of the darkest levels, whose colour is mostly noise.
constexpr double kChromaLitLevel = 130.0;
constexpr double kChromaFloor = 40.0;
// A region narrower than this is a line or a letter stroke, not a shape.
constexpr double kMinWidth = 7.0;
// Contour points within this distance of the frame's border lie on it: the border cuts the
// shape there, so they are no evidence of its edges.
constexpr int kBorderMargin = 2;
// A shape cut by the border must keep at least this share of its contour off the border: a
// region that is mostly border (the background, a vignetted corner) is no shape.
constexpr double kMinOwnEdge = 0.5;
// Polygon tolerances tried, as shares of the perimeter (never below the contour's own noise);
// the vertex count that holds over most of them is the shape's.
constexpr std::array<double, 8> kApproxShares = {0.01, 0.015, 0.02, 0.025, 0.03, 0.035, 0.04, 0.05};
constexpr double kApproxFloor = 1.0;
// A polygon's vertex count holds over at least this many of them; a circle's drifts.
constexpr std::size_t kMinStableRun = 3;
// Corners against curves: the contour's median distance to its polygon, measured along the
// middle of each edge (away from its rounded ends), may be at most this share of the shape's
// size (square root of its area) plus the edge noise, in pixels; an arc bulges further.
constexpr double kCurveShare = 0.02;
constexpr double kEdgeNoise = 0.8;
constexpr double kEdgeEnds = 0.2;
// Round against polygonal: a contour whose root mean square distance to its fitted ellipse is
// at most this share of its distance to its polygon is a circle or an ellipse, however many
// corners its polygon has. Scale-free, so it holds where the size-based test above is blind.
constexpr double kRoundRatio = 0.6;
// A contour filling less of its convex hull than this is concave (star, L, arrow).
constexpr double kMinSolidity = 0.85;
// A notch (a hole reaching the edge) starts this share of the shape's size (square root of its
// area) plus the edge noise inside its hull's polygon, and follows a circle to within this
// share of its radius (root mean square).
constexpr double kNotchDepth = 0.03;
constexpr double kNotchRoundness = 0.05;
// A contour must run along an edge at least this steep (levels per pixel of the smoothed
// plane, at Sobel's scale of 8) for at least this share of its length; a halo's contour runs
// through flat background, and a piece cut out of a larger shape partly through its inside.
constexpr double kMinEdgeStrength = 20.0;
constexpr double kMinEdgeShare = 0.7;
// A region that fails as a shape is cut again at this share of its upper quartile of local
// contrast: a shape joined to texture by faint bridges comes free of it.
constexpr double kSplitLevel = 0.625;
// A piece cut out of a ragged region must run along an edge for this share of its length: a
// shape cut free of texture does, while a star's point, cut off its body, does not. So must a
// contour the frame's border cuts, over its part off the border: a cut shape's edge is sharp all
// along, a blob of texture at the border mostly is not. So must the hull's outline that stands
// for a ring of contrast opened inside a shape wider than the window (an arrow's head, whose
// ring opens at the shaft, has a hull off the edge there).
constexpr double kSplitEdgeShare = 0.95;
// A piece that fails the edge test stands for the hull of its points on an edge (the cut ran
// through the shape's inside, or a spur of texture stayed joined) only when at least this share
// of it runs along an edge (a spur or a cut is short beside the outline; most pieces of texture
// fall short, and cost no hull), and when that hull's fill stands out of the ground around it by
// kFlatFill times its own grain: a painted shape's fill is flat, a blob of texture varies
// inside about as much as against its ground.
constexpr double kEdgeHullShare = 0.85;
constexpr double kFlatFill = 12.0;
// The fill is read this far (the plane's pixels) inside the hull, and the ground in a ring this
// far outside it and as wide again: clear of the edge's own blur.
constexpr int kFillMargin = 2;
// A shape wider than the window whose ring of contrast texture joins, so that neither the ring's
// hull nor a cut outlines it, is found by its flat fill: grown from the hull's centre, when the
// square of this radius (the plane's pixels) around it spans at most kFloodSeedSpread levels, by
// steps of at most kFloodStep levels (the grain of a flat fill, which a step edge and the grain
// of texture exceed); it stands for the shape when it covers at least kFloodShare of the hull.
constexpr int kFloodSeedRadius = 3;
constexpr double kFloodSeedSpread = 4.0;
constexpr double kFloodStep = 1.0;
constexpr double kFloodShare = 0.5;
// A fill that fails inside its hull's box, and that box cuts, is grown again in that box widened
// on each side by this share of its size: a shadow across a shape breaks its ring, whose hull
// then covers part of the shape only.
constexpr double kFloodRoom = 1.0;
// A fill smaller than this (square root of its area) is no shape: a pixel of grain where the
// fill stopped rounds a small shape's corners off (small triangles came out as 4- and 5-gons).
constexpr double kMinFillSize = 50.0;
// The first fill, grown in its ring's box, is kept inside the ring's hull too: where it leaks out
// at a vertex into ground of its own level, the hull still runs along the shape's edge. A small
// fill that leaks past its hull is mostly part of a larger flat body, though (an arrow's shaft or
// head, whose fill runs on into the rest of the arrow with no edge between them, clips to a
// 50-56 px quadrangle or triangle): a clipped fill must be this large.
constexpr double kClippedFillSize = 70.0;
// The fill's outline must run along an edge for this share of its length: it stops where the
// edge's blur begins, so that a stretch of the edge fainter than the edge test (where the ground
// nears the fill) still counts against it, but it never runs through a flat inside.
constexpr double kFillEdgeShare = 0.85;
// The fill's outline is ragged by the grain where it stopped, which a fitted ellipse follows
// worse than a traced circle's: a flat filled circle passes kRoundRatio as an octagon, so the
// fill's outline is round at this ratio.
constexpr double kFillRoundRatio = 0.9;
// Traced again at full resolution, such a piece must keep at least this share of its area.
constexpr double kSamePiece = 0.5;
// A full-resolution trace overlapping the candidate less than this (IoU) is another region, as
// when a small shape touches texture there but not on the working image; the candidate then
// keeps its working-scale corners.
constexpr double kSameTrace = 0.5;
// A downscaled candidate smaller than this (square root of its area) is traced again and must
// pass at full resolution, where a small circle no longer looks like an octagon; a larger one
// keeps its working-scale corners. Candidates of 50-60 gained nothing from their traces, which
// cost the most.
constexpr double kRefineSize = 50.0;
// The full-resolution trace narrows the candidate's threshold window to the shape's longer side,
// but not below this (working pixels; 51 lost vertex accuracy): a window as wide as the shape
// spares it the ring effect, and a wider one only widens the box traced (cost grows with its area).
constexpr int kMaxRefineWindow = 61;
// A triangle is not traced again: no circle looks like one, and its working-scale corners scored
// at least as well as the full-resolution ones, for the cost of a trace.
constexpr std::size_t kMinRefinedVertices = 4;
// A shape seen on the colour-opponent planes only (no lightness candidate in its group) and
// smaller there than this (square root of its area, in the plane's pixels) spans so few of them
// that its outline's corners come and go between windows and cuts: such a member failing does
// not vote against one that passes. A circle or an ellipse that passes once is still outvoted
// wherever lightness sees it.
constexpr double kCoarseColourSize = 16.0;
// Candidates overlapping this much are one physical shape.
constexpr double kSameShapeIou = 0.6;
// A polygon this much inside a larger accepted one is its inner edge or a hole; so is one this
// much inside a stroke of the opposite lightness that is no polygon (a ring; strokeAround).
constexpr double kInsideShare = 0.8;
// A thick stroke rounds off the outer edge of an outline's corners sharper than this (degrees),
// so that it fails as a curve; the polygonal ground a ring encloses has none so sharp.
constexpr double kAcuteCorner = 75.0;
// A stroke around a hole is one outline when its widths across the hole's sides differ by at most
// this (working pixels).
constexpr double kStrokeUnevenness = 2.0;
// The share of the stroke's width the hole's sides move out by: the outline was drawn along its
// middle.
constexpr double kStrokeReach = 0.5;

}  // namespace shapemark::robust::tuning
