// The robust detector against frames whose true polygon is known: one polygon per physical
// shape, by its outer edge, with the right vertex count, and nothing for a curve.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "detector/robust_detect.hpp"
#include "scene_geometry.hpp"

namespace shapemark {
namespace {

const cv::Scalar kBackground(140, 140, 140);
const cv::Scalar kOrange(40, 120, 215);  // BGR; its luma is within a level of the background's

// A camera-like frame: the shapes drawn (with round holes of the background, if any), then
// optics blur and sensor noise.
cv::Mat cameraFrame(cv::Size size, const std::vector<std::vector<cv::Point>>& filled,
                    const cv::Scalar& colour, int outline = 0,
                    const std::vector<cv::Vec3i>& holes = {},
                    const cv::Scalar& background = kBackground) {
    cv::Mat frame(size, CV_8UC3, background);
    if (outline > 0) {
        cv::polylines(frame, filled, true, colour, outline, cv::LINE_AA);
    } else {
        cv::fillPoly(frame, filled, colour, cv::LINE_AA);
    }
    for (const cv::Vec3i& hole : holes) {
        cv::circle(frame, {hole[0], hole[1]}, hole[2], background, cv::FILLED, cv::LINE_AA);
    }
    cv::GaussianBlur(frame, frame, cv::Size(), 0.9);
    cv::Mat noise(size, CV_16SC3);
    cv::RNG rng(7);
    rng.fill(noise, cv::RNG::NORMAL, 0, 3);
    cv::Mat noisy;
    frame.convertTo(noisy, CV_16SC3);
    noisy += noise;
    noisy.convertTo(frame, CV_8UC3);
    return frame;
}

DetectorParams window(int minArea) {
    DetectorParams params;
    params.detector = DetectorKind::Robust;
    params.minArea = minArea;
    params.maxArea.reset();
    return params;
}

// Exactly one shape, with the true vertex count, covering the true polygon.
void expectOnly(const std::vector<Shape>& shapes, const std::vector<cv::Point>& truth) {
    ASSERT_EQ(shapes.size(), 1U);
    EXPECT_EQ(shapes[0].polygon.size(), truth.size());
    const std::vector<cv::Point2f> found(shapes[0].polygon.begin(), shapes[0].polygon.end());
    const std::vector<cv::Point2f> known(truth.begin(), truth.end());
    EXPECT_GT(robust::convexIou(found, known), 0.75);  // a halo or an inner edge scores far less
}

std::vector<cv::Point> square(cv::Point2d centre, double side) {
    return scene::regularPolygon(centre, side / std::sqrt(2.0), 4, M_PI / 4);
}

// A filled square wider than any threshold window: the fault is a ring, reported as the
// square plus a phantom polygon inside it.
TEST(RobustDetect, FilledSquareIsOneSquareNotARing) {
    const auto truth = square({320, 240}, 200);
    expectOnly(detectRobust(cameraFrame({640, 480}, {truth}, cv::Scalar(60, 60, 60)), window(300)),
               truth);
}

// An outlined hexagon: the fault is its inner edge reported as a second hexagon.
TEST(RobustDetect, OutlinedHexagonIsReportedOnceByItsOuterEdge) {
    const auto centre = scene::regularPolygon({320, 240}, 100, 6, 0.2);
    const auto outer = scene::regularPolygon({320, 240}, 104, 6, 0.2);
    expectOnly(
        detectRobust(cameraFrame({640, 480}, {centre}, cv::Scalar(40, 40, 40), 8), window(300)),
        outer);
}

// An orange pentagon of the background's grey level: the fault is a detector that sees
// brightness only.
TEST(RobustDetect, ShapeOfTheBackgroundsGreyButAnotherColourIsFound) {
    ASSERT_NEAR(0.114 * kOrange[0] + 0.587 * kOrange[1] + 0.299 * kOrange[2], kBackground[0], 1.5);
    const auto truth = scene::regularPolygon({320, 240}, 70, 5, 0.3);
    expectOnly(detectRobust(cameraFrame({640, 480}, {truth}, kOrange), window(300)), truth);
}

// A grey square darker than its ground, both in a shadow that keeps 30 % of the light: the
// fault is lightness searched as it is, where the shadow shrinks their difference below the
// offset, and the square is lost.
TEST(RobustDetect, DarkSquareInDeepShadowIsFound) {
    const auto truth = square({320, 240}, 120);
    const cv::Scalar shadow = cv::Scalar::all(0.3);
    expectOnly(detectRobust(cameraFrame({640, 480}, {truth}, cv::Scalar::all(100).mul(shadow), 0,
                                        {}, kBackground.mul(shadow)),
                            window(300)),
               truth);
}

// The same orange pentagon, both it and its ground in a shadow that keeps 30 % of the light:
// the fault is the colour planes searched as they are, where the shadow shrinks the pentagon's
// chroma with the light until it no longer stands out, and the pentagon is lost.
TEST(RobustDetect, SameGreyColourShapeInDeepShadowIsFound) {
    const cv::Scalar shadow = cv::Scalar::all(0.3);
    const auto truth = scene::regularPolygon({320, 240}, 70, 5, 0.3);
    expectOnly(detectRobust(cameraFrame({640, 480}, {truth}, kOrange.mul(shadow), 0, {},
                                        kBackground.mul(shadow)),
                            window(300)),
               truth);
}

// A circle: the fault is its polygon approximation (an octagon or so) reported as a shape.
TEST(RobustDetect, CircleIsNotReported) {
    const auto circle = scene::regularPolygon({320, 240}, 80, 180, 0.0);
    EXPECT_TRUE(detectRobust(cameraFrame({640, 480}, {circle}, cv::Scalar(40, 40, 40)), window(300))
                    .empty());
}

// Ellipses and a small circle, where a polygon bulges by about a pixel only: the fault is
// their 6- to 8-gon taken for a shape because it follows the contour within the noise.
TEST(RobustDetect, EllipsesAndSmallCircleAreNotReported) {
    std::vector<std::vector<cv::Point>> round;
    cv::ellipse2Poly(cv::Point(120, 120), cv::Size(60, 28), 20, 0, 360, 2, round.emplace_back());
    cv::ellipse2Poly(cv::Point(320, 120), cv::Size(36, 18), 70, 0, 360, 2, round.emplace_back());
    cv::ellipse2Poly(cv::Point(520, 120), cv::Size(20, 20), 0, 0, 360, 2, round.emplace_back());
    EXPECT_TRUE(
        detectRobust(cameraFrame({640, 240}, round, cv::Scalar(40, 40, 40)), window(300)).empty());
}

// The smallest and the largest squares: the faults are noise corners on a small shape (an
// 8-gon for a 20-pixel square) and a size bound or window that loses the large one.
TEST(RobustDetect, SquareIsAFourGonAt20And400Pixels) {
    const auto small = square({100, 100}, 20);
    expectOnly(detectRobust(cameraFrame({320, 240}, {small}, cv::Scalar(40, 40, 40)), window(100)),
               small);
    const auto large = square({640, 360}, 400);
    expectOnly(detectRobust(cameraFrame({1280, 720}, {large}, cv::Scalar(40, 40, 40)), window(300)),
               large);
}

// A triangle whose round hole reaches through its base, beside an L: the faults are the notched
// triangle lost as concave, and an L's inner corner taken for such a notch.
TEST(RobustDetect, HoleThroughTheEdgeKeepsTheShapeButAnLStaysConcave) {
    const auto triangle = scene::regularPolygon({200, 240}, 110, 3, -M_PI / 2);  // base at y 295
    const std::vector<cv::Point> ell = {{400, 150}, {450, 150}, {450, 280},
                                        {560, 280}, {560, 330}, {400, 330}};
    const cv::Mat frame =
        cameraFrame({640, 480}, {triangle, ell}, cv::Scalar(40, 40, 40), 0, {{200, 265, 38}});
    expectOnly(detectRobust(frame, window(300)), triangle);
}

// A faint filled triangle wider than the narrow window: the window's ring of contrast inside it
// opens, and its outer contour turns in through the flat fill, failing the edge test. The fault
// is that contour dropped as a halo; the shape is its hull, which runs along the edge.
TEST(RobustDetect, FaintShapeWhoseRingOpenedIsItsHull) {
    const std::vector<cv::Point> triangle = {{118, 96}, {202, 96}, {160, 168}};
    const cv::Mat frame = cameraFrame({320, 240}, {triangle}, cv::Scalar::all(164));
    const std::vector<cv::Mat> planes = robust::candidatePlanes(frame, 1.0);
    constexpr int kNarrow = 33;  // the narrow window, in a plane of working pixels
    const cv::Rect all(cv::Point(), planes[0].size());
    const std::vector<cv::Point2f> known(triangle.begin(), triangle.end());
    std::size_t opened = 0;
    for (const robust::Contour& contour : robust::allOuterContours(
             robust::localContrast(planes[0], kNarrow), robust::planeOffsets(0)[0])) {
        if (robust::cornerCandidate(contour, planes[0], all, 1.0, 3, 8).onEdge) {
            continue;
        }
        const robust::Candidate c =
            robust::openRingCandidate(contour, planes[0], all, 1.0, kNarrow, 3, 8);
        if (c.passes) {
            ++opened;
            EXPECT_EQ(c.polygon.size(), 3U);
            EXPECT_GT(robust::convexIou(c.hull, known), 0.8);
        }
    }
    EXPECT_EQ(opened, 1U);
}

// A plane of flat ground (level 100) with a square filled at level 160 and `grain` of noise,
// `groundInside` (if any) cut back to the ground, then blurred as the detector's planes are.
cv::Mat squareOnGround(int side, const cv::Rect& square, double grain, std::uint64_t seed,
                       const cv::Rect& groundInside = cv::Rect()) {
    cv::Mat plane(side, side, CV_8UC1, cv::Scalar(100));
    cv::Mat fill(square.size(), CV_8UC1);
    cv::RNG(seed).fill(fill, cv::RNG::NORMAL, 160, grain);
    fill.copyTo(plane(square));
    if (!groundInside.empty()) {
        plane(groundInside).setTo(100);
    }
    cv::GaussianBlur(plane, plane, cv::Size(), 1.2);
    return plane;
}

// A piece cut out of a ragged region that keeps a spur of the ground (off any edge) fails the
// edge test as a whole; the hull of its points on an edge is the square. The faults: that piece
// dropped as a halo; and a blob of texture (a grainy fill) taken the same way.
TEST(RobustDetect, PieceWithASpurIsTheHullOfItsEdgeButTextureIsNot) {
    const cv::Rect square(50, 50, 60, 60);
    cv::Mat mask = cv::Mat::zeros(160, 160, CV_8UC1);
    cv::rectangle(mask, square, 255, cv::FILLED);
    cv::line(mask, {110, 80}, {124, 80}, 255, 2);  // the spur, into flat ground
    std::vector<robust::Contour> contours;
    cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    ASSERT_EQ(contours.size(), 1U);
    const cv::Rect all(0, 0, 160, 160);
    auto pieceOn = [&](double grain) {
        return robust::pieceCandidate(contours[0], squareOnGround(160, square, grain, 3), all, 1.0,
                                      3, 8);
    };
    const robust::Candidate flat = pieceOn(1.0);
    ASSERT_TRUE(flat.passes);
    EXPECT_EQ(flat.polygon.size(), 4U);
    EXPECT_FALSE(pieceOn(20.0).passes);
}

// A square that a crack of the ground runs into: its outline follows the edge all along, the
// crack's sides included, but its polygon has the crack's corners and is not convex. The hull of
// its points on an edge is the square, whether it is a whole region or a piece cut out of one.
// The faults: such a contour dropped as jagged; and a blob of texture (a grainy fill) taken so.
TEST(RobustDetect, CrackedSquareIsTheHullOfItsEdgeButTextureIsNot) {
    const cv::Rect square(40, 40, 100, 100);
    const cv::Rect crack(114, 89, 26, 2);  // from the right side, 26 deep
    cv::Mat mask = cv::Mat::zeros(180, 180, CV_8UC1);
    cv::rectangle(mask, square, 255, cv::FILLED);
    cv::rectangle(mask, crack, 0, cv::FILLED);
    std::vector<robust::Contour> contours;
    cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    ASSERT_EQ(contours.size(), 1U);
    const cv::Rect all(0, 0, 180, 180);
    const cv::Mat flat = squareOnGround(180, square, 1.0, 5, crack);
    ASSERT_TRUE(robust::cornerCandidate(contours[0], flat, all, 1.0, 3, 8).jagged);
    for (const robust::Candidate& c : {robust::wholeCandidate(contours[0], flat, all, 1.0, 3, 8),
                                       robust::pieceCandidate(contours[0], flat, all, 1.0, 3, 8)}) {
        ASSERT_TRUE(c.passes);
        EXPECT_EQ(c.polygon.size(), 4U);
    }
    const cv::Mat grainy = squareOnGround(180, square, 20.0, 5, crack);
    EXPECT_FALSE(robust::wholeCandidate(contours[0], grainy, all, 1.0, 3, 8).passes);
    EXPECT_FALSE(robust::pieceCandidate(contours[0], grainy, all, 1.0, 3, 8).passes);
}

// A filled square wider than the window whose ring of contrast is joined at a corner to a strand
// of texture: the ring's hull takes the strand in and runs off the edge, but the square's flat
// fill, grown from the hull's centre, stops at its edge. The faults: the contour dropped (no
// fill grown); and a blob of texture (a grainy fill) grown the same way, as steps as coarse as
// its grain would.
TEST(RobustDetect, RingJoinedToTextureIsItsFlatFill) {
    const cv::Rect square(50, 50, 100, 100);
    cv::Mat mask = cv::Mat::zeros(240, 240, CV_8UC1);
    cv::rectangle(mask, square, 255, cv::FILLED);
    cv::line(mask, {145, 145}, {200, 200}, 255, 10);  // the strand
    std::vector<robust::Contour> contours;
    cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    ASSERT_EQ(contours.size(), 1U);
    const cv::Rect all(0, 0, 240, 240);
    const std::vector<cv::Point2f> known = {{50, 50}, {149, 50}, {149, 149}, {50, 149}};
    constexpr int kNarrow = 33;
    auto ringOn = [&](double grain) {
        cv::Mat plane(all.size(), CV_8UC1, cv::Scalar(100));
        cv::Mat texture(all.size(), CV_8UC1);
        cv::RNG(11).fill(texture, cv::RNG::NORMAL, 130, 25);
        texture.copyTo(plane, mask);
        cv::Mat fill(square.size(), CV_8UC1);
        cv::RNG(13).fill(fill, cv::RNG::NORMAL, 160, grain);
        fill.copyTo(plane(square));
        cv::GaussianBlur(plane, plane, cv::Size(), 1.2);
        return robust::openRingCandidate(contours[0], plane, all, 1.0, kNarrow, 3, 8);
    };
    const robust::Candidate flat = ringOn(1.0);
    ASSERT_TRUE(flat.passes);
    EXPECT_EQ(flat.polygon.size(), 4U);
    EXPECT_GT(robust::convexIou(flat.hull, known), 0.9);
    EXPECT_FALSE(ringOn(20.0).passes);
    // A shadow broke the ring: its region covers the square's top part only. The fault: the
    // fill kept in that region's box, which cuts it off the edge, so that the square is lost.
    cv::Mat top = cv::Mat::zeros(all.size(), CV_8UC1);
    cv::rectangle(top, cv::Rect(50, 50, 100, 55), 255, cv::FILLED);
    std::vector<robust::Contour> part;
    cv::findContours(top, part, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    ASSERT_EQ(part.size(), 1U);
    cv::Mat plane(all.size(), CV_8UC1, cv::Scalar(100));
    plane(square).setTo(160);
    cv::GaussianBlur(plane, plane, cv::Size(), 1.2);
    const robust::Candidate whole =
        robust::filledRingCandidate(part[0], plane, all, 1.0, kNarrow, 3, 8);
    ASSERT_TRUE(whole.passes);
    EXPECT_GT(robust::convexIou(whole.hull, known), 0.9);
}

// A diamond whose fill leaks out at a vertex into a patch of ground at its own level, its ring's
// region the diamond. The fault: the fill grown past the diamond's edge, so that the diamond is
// lost. An arrow's shaft, whose fill runs on into the head: the fault, the shaft's fill kept
// inside its region's hull and reported as a quadrangle.
TEST(RobustDetect, FillLeakingAtAVertexIsKeptInsideItsRingsHullButAnArrowsShaftIsNot) {
    const cv::Rect all(0, 0, 240, 240);
    auto fillOf = [&](const std::vector<cv::Point>& ring, const std::vector<cv::Point>& body,
                      const cv::Vec3i& patch) {
        cv::Mat mask = cv::Mat::zeros(all.size(), CV_8UC1);
        cv::fillConvexPoly(mask, ring, 255);
        std::vector<robust::Contour> contours;
        cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
        cv::Mat plane(all.size(), CV_8UC1, cv::Scalar(100));
        cv::fillPoly(plane, std::vector<std::vector<cv::Point>>{body}, 160);
        if (patch[2] > 0) {
            cv::circle(plane, {patch[0], patch[1]}, patch[2], 160, cv::FILLED);
        }
        cv::GaussianBlur(plane, plane, cv::Size(), 1.2);
        return robust::filledRingCandidate(contours[0], plane, all, 1.0, 33, 3, 8);
    };
    const std::vector<cv::Point> diamond = {{120, 50}, {190, 120}, {120, 190}, {50, 120}};
    const robust::Candidate kept = fillOf(diamond, diamond, {180, 90, 22});
    ASSERT_TRUE(kept.passes);
    EXPECT_EQ(kept.polygon.size(), 4U);
    const std::vector<cv::Point2f> known(diamond.begin(), diamond.end());
    EXPECT_GT(robust::convexIou(kept.hull, known), 0.9);
    // Turned, so that the shaft's box takes in some of the head.
    const std::vector<cv::Point> shaft = {{51, 77}, {145, 111}, {133, 143}, {39, 109}};
    const std::vector<cv::Point> arrow = {{51, 77},   {145, 111}, {153, 89}, {186, 144},
                                          {125, 164}, {133, 143}, {39, 109}};
    EXPECT_FALSE(fillOf(shaft, arrow, {0, 0, 0}).passes);
}

// Shapes the frame's border cuts, on a 1080p frame: a large square and a small one are reported
// by their visible part; circles cut the same way are not. The faults: shapes touching the
// border dropped, as they once were; the straight run along the border judged as part of the
// outline, which makes a cut circle look like a polygon.
TEST(RobustDetect, ShapesCutByTheBorderAreTheirVisiblePart) {
    const cv::Size size(1920, 1080);
    const auto large = scene::regularPolygon({1890, 700}, 80, 180, 0.0);
    const auto small = scene::regularPolygon({1905, 300}, 30, 180, 0.0);
    const cv::Mat frame =
        cameraFrame(size, {square({-20, 540}, 120), square({960, -8}, 60), large, small},
                    cv::Scalar(40, 40, 40));
    const std::vector<std::vector<cv::Point>> visible = {
        {{0, 480}, {40, 480}, {40, 600}, {0, 600}}, {{930, 0}, {990, 0}, {990, 22}, {930, 22}}};
    const std::vector<Shape> shapes = detectRobust(frame, window(300));
    ASSERT_EQ(shapes.size(), visible.size());
    for (const auto& truth : visible) {
        const std::vector<cv::Point2f> known(truth.begin(), truth.end());
        EXPECT_TRUE(std::any_of(
            shapes.begin(), shapes.end(),
            [&](const Shape& shape) {
                const std::vector<cv::Point2f> found(shape.polygon.begin(), shape.polygon.end());
                return shape.polygon.size() == 4 && robust::convexIou(found, known) > 0.75;
            }))
            << "visible part at " << truth[0];
    }
}

// The contour filter's shortcuts decide as the measures they stand for: a contour enclosing more
// than an area is never dropped on its length (a perimeter bound too tight would drop round
// shapes), and the width proved by area agrees with the minimum-area rectangle (a bound on the
// box's longer side instead of its diagonal would pass a thin diagonal bar).
TEST(RobustDetect, ContourShortcutsAgreeWithTheMeasuresTheyStandFor) {
    cv::Mat noise(400, 400, CV_8U);
    cv::RNG(11).fill(noise, cv::RNG::UNIFORM, 0, 256);
    cv::GaussianBlur(noise, noise, cv::Size(), 6);
    cv::Mat binary = noise > 128;
    // A disc and a thin diagonal bar, each on a clear patch.
    binary(cv::Rect(50, 50, 100, 100)).setTo(0);
    cv::circle(binary, {100, 100}, 40, cv::Scalar(255), cv::FILLED);
    binary(cv::Rect(190, 190, 200, 200)).setTo(0);
    cv::line(binary, {200, 380}, {380, 200}, cv::Scalar(255), 6);
    std::vector<robust::Contour> contours;
    cv::findContours(binary, contours, cv::RETR_LIST, cv::CHAIN_APPROX_NONE);
    for (const robust::Contour& contour : contours) {
        const double area = cv::contourArea(contour);
        EXPECT_TRUE(area == 0.0 || robust::mayEncloseMore(contour.size(), area * 0.999));
        const cv::Size2f rect = cv::minAreaRect(contour).size;
        for (const double width : {3.0, 6.0, 7.0, 12.0}) {
            EXPECT_EQ(robust::wideEnough(contour, area, cv::boundingRect(contour), width),
                      std::min(rect.width, rect.height) >= width);
        }
    }
}

// A long bar at 22.5°, halfway between the directions the diameter bound measures. Catches that
// bound taken from the widest extent alone, without its factor for the directions between,
// which passes the bar for a width 1 % above its own.
TEST(RobustDetect, WidthShortcutAgreesWithTheRectangleHalfwayBetweenAxesAndDiagonals) {
    cv::Mat bar = cv::Mat::zeros(200, 420, CV_8U);
    std::array<cv::Point2f, 4> corners;
    cv::RotatedRect({210.0F, 100.0F}, {380.0F, 30.0F}, 22.5F).points(corners.data());
    cv::fillConvexPoly(bar, std::vector<cv::Point>(corners.begin(), corners.end()),
                       cv::Scalar(255));
    std::vector<robust::Contour> contours;
    cv::findContours(bar, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    ASSERT_EQ(contours.size(), 1U);
    const double area = cv::contourArea(contours[0]);
    const cv::Size2f rect = cv::minAreaRect(contours[0]).size;
    const double width = std::min(rect.width, rect.height);
    for (const double tried : {width * 0.99, width * 1.01}) {
        EXPECT_EQ(robust::wideEnough(contours[0], area, cv::boundingRect(contours[0]), tried),
                  width >= tried);
    }
}

// A candidate as the search makes it, of the given outline, along an edge; how it fails, if it
// does, is set by the caller.
robust::Candidate candidate(const std::vector<cv::Point>& outline, bool passes) {
    robust::Candidate c;
    c.polygon = outline;
    c.hull.assign(outline.begin(), outline.end());
    c.area = cv::contourArea(outline);
    c.onEdge = true;
    c.passes = passes;
    return c;
}

// One shape as the search finds it in texture: the region it is joined to fails, as does the
// same region found at the other window, and the piece cut out of the first passes. The fault
// is the region outvoting the piece cut out of it (the shape lost); the control, a region no
// passing piece came out of, must still count against it (or circles joined to texture pass).
TEST(RobustMerge, RaggedRegionDoesNotOutvoteThePieceCutOutOfIt) {
    const auto shape = square({100, 100}, 100);
    const std::vector<cv::Point> joined = {{50, 50}, {190, 60}, {190, 140}, {50, 150}};
    for (const bool cutFromIt : {true, false}) {
        robust::Candidate region = candidate(joined, false);
        region.cut = cutFromIt;
        robust::Candidate piece = candidate(shape, true);
        piece.split = true;
        const auto kept =
            robust::mergeCandidates({region, candidate(joined, false), std::move(piece)});
        ASSERT_EQ(kept.size(), cutFromIt ? 1U : 0U) << "cut from the region: " << cutFromIt;
        if (cutFromIt) {
            EXPECT_EQ(kept[0].polygon, shape);
            // Alone (its piece grouped elsewhere), a cut region is still no shape.
            EXPECT_TRUE(robust::mergeCandidates({region}).empty());
        }
    }
}

// A shape in texture as the search finds it: one window's region passes; the other window's
// region, joined to specks, fails as jagged, and so does the piece cut out of it. The fault is
// that region and its piece voting twice, outvoting the shape (lost). The controls: two regions
// of their own still vote twice, and failures of another kind (a curve, a drifting vertex
// count, as a circle joined to texture gives at every cut) still count each, or circles pass.
TEST(RobustMerge, JaggedRegionAndItsPieceVoteOnce) {
    auto member = [](const std::vector<cv::Point>& outline, std::size_t region, bool passes,
                     bool jagged) {
        robust::Candidate c = candidate(outline, passes);
        c.jagged = jagged;
        c.region = region;
        return c;
    };
    const auto shape = square({100, 100}, 100);
    const auto joined = square({102, 100}, 104);
    auto kept = [&](std::size_t pieceRegion, bool jagged) {
        robust::Candidate piece = member(square({101, 100}, 98), pieceRegion, false, jagged);
        piece.split = true;
        return robust::mergeCandidates(
                   {member(shape, 0, true, false), member(joined, 1, false, jagged), piece})
            .size();
    };
    EXPECT_EQ(kept(1, true), 1U);
    EXPECT_EQ(kept(2, true), 0U);
    EXPECT_EQ(kept(1, false), 0U);
}

// What a region fails on, as the vote reads it: an L (concave) is jagged; a circle, whose
// vertex count drifts or whose polygon curves, is not. The fault: a circle counted as jagged,
// so that it and its pieces vote once and it passes.
TEST(RobustMerge, ConcaveRegionIsJaggedButACircleIsNot) {
    cv::Mat plane(240, 400, CV_8U, cv::Scalar(60));
    const std::vector<cv::Point> ell = {{40, 40},   {80, 40},   {80, 160},
                                        {160, 160}, {160, 200}, {40, 200}};
    cv::fillPoly(plane, std::vector<std::vector<cv::Point>>{ell}, cv::Scalar(200), cv::LINE_AA);
    cv::circle(plane, {290, 120}, 70, cv::Scalar(200), cv::FILLED, cv::LINE_AA);
    cv::GaussianBlur(plane, plane, cv::Size(), 1.2);
    std::vector<robust::Contour> contours;
    cv::findContours(plane > 130, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    ASSERT_EQ(contours.size(), 2U);
    for (const robust::Contour& contour : contours) {
        const robust::Candidate c =
            robust::cornerCandidate(contour, plane, cv::Rect(cv::Point(), plane.size()), 1.0, 3, 8);
        const bool isL = cv::boundingRect(contour).x < 200;
        ASSERT_TRUE(c.onEdge);
        EXPECT_FALSE(c.passes);
        EXPECT_EQ(c.jagged, isL) << (isL ? "the L" : "the circle");
    }
}

// A small same-grey colour shape as the search finds it on the half-resolution colour planes:
// one member passes, two fail (as a curve: the plane's few pixels round its corners). The fault
// is those coarse failures outvoting it (the shape lost). The controls: a failing lightness
// member still votes (an ellipse lightness sees, passing once on a colour plane, is outvoted),
// and so do colour members large enough there to judge.
TEST(RobustMerge, CoarseColourFailuresDoNotOutvoteAPassingColourShape) {
    auto kept = [](double side, std::size_t failingPlane) {
        auto member = [&](std::size_t plane, bool passes) {
            robust::Candidate c = candidate(square({100, 100}, side), passes);
            c.plane = plane;
            c.region = plane + (passes ? 10 : 20);
            return c;
        };
        return robust::mergeCandidates(
                   {member(1, true), member(2, false), member(failingPlane, false)})
            .size();
    };
    EXPECT_EQ(kept(24, 1), 1U);  // 12 pixels across on the colour planes
    EXPECT_EQ(kept(24, 0), 0U);
    EXPECT_EQ(kept(24, robust::kShadowPlane), 0U);
    EXPECT_EQ(kept(80, 1), 0U);  // 40 pixels across there
}

// A dark ring, or a thick outline whose stroke rounds its acute corners off, as the search finds
// it: the stroke's outer edge (darker, on the shadow plane) fails as a curve, and the ground it
// encloses (brighter) passes as a polygon. The fault is that hole reported as a shape. The
// controls: a stroke failing for texture (jagged), one of the same contrast (a region a shape
// was cut out of), and a hole seen on a colour-opponent plane (a colour shape inside a
// lightness region) leave it standing.
TEST(RobustMerge, GroundInsideAStrokeThatIsNoPolygonIsNoShape) {
    auto kept = [](bool jagged, double holeOffset, std::size_t holePlane) {
        robust::Candidate stroke = candidate(square({100, 100}, 120), false);
        stroke.plane = robust::kShadowPlane;
        stroke.offset = -7.0;
        stroke.jagged = jagged;
        stroke.region = 1;
        robust::Candidate hole = candidate(square({100, 100}, 80), true);
        hole.plane = holePlane;
        hole.offset = holeOffset;
        return robust::mergeCandidates({stroke, hole}).size();
    };
    EXPECT_EQ(kept(false, 7.0, 0), 0U);
    EXPECT_EQ(kept(true, 7.0, 0), 1U);
    EXPECT_EQ(kept(false, -7.0, 0), 1U);
    EXPECT_EQ(kept(false, 7.0, 1), 1U);
}

// A thick outlined triangle as the search finds it: its stroke rounds the acute corners of its
// outer edge off, which fails as a curve, and the ground it encloses passes as a triangle. The
// fault is that triangle lost with the hole (or reported as the hole, half its size): it must
// come out once, midway through the stroke, the hole's sides each moved out by half its width.
TEST(RobustMerge, ThickOutlineWhoseStrokeRoundsItsCornersIsItsMidline) {
    const std::vector<cv::Point> drawn = {{100, 20}, {180, 160}, {20, 160}};
    const std::vector<cv::Point> hole = {{100, 36}, {166, 152}, {34, 152}};  // 8 inside it
    std::vector<cv::Point> outer;  // the drawn triangle grown by 8, its corners rounded
    cv::ellipse2Poly({100, 20}, {8, 8}, 0, 0, 360, 10, outer);
    std::vector<cv::Point> corner;
    cv::ellipse2Poly({180, 160}, {8, 8}, 0, 0, 360, 10, corner);
    outer.insert(outer.end(), corner.begin(), corner.end());
    cv::ellipse2Poly({20, 160}, {8, 8}, 0, 0, 360, 10, corner);
    outer.insert(outer.end(), corner.begin(), corner.end());
    std::vector<cv::Point> rounded;
    cv::convexHull(outer, rounded);
    robust::Candidate stroke = candidate(rounded, false);
    stroke.plane = robust::kShadowPlane;
    stroke.offset = -7.0;
    robust::Candidate ground = candidate(hole, true);
    ground.offset = 7.0;
    const std::vector<robust::Candidate> kept = robust::mergeCandidates({stroke, ground});
    ASSERT_EQ(kept.size(), 1U);
    ASSERT_EQ(kept[0].polygon.size(), 3U);
    const std::vector<cv::Point2f> truth(drawn.begin(), drawn.end());
    EXPECT_GT(robust::convexIou(kept[0].hull, truth), 0.9);
}

}  // namespace
}  // namespace shapemark
