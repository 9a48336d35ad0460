// Contour scan and polygon filter: solid white shapes on a black binary image, with areas and
// corners known in advance, against the area window, convexity and vertex-count rules.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <vector>

#include "detector/detector.hpp"
#include "scene_geometry.hpp"
#include "synthetic_shapes.hpp"

namespace shapemark {
namespace {

using testing::blackIat;
using testing::differingPixels;
using testing::libraryOutline;
using testing::scanned;

const cv::Mat kFrame = testing::texturedFrame();

cv::Mat withSquare(int side, cv::Point corner = {50, 50}) {
    cv::Mat Iat = blackIat();
    Iat(cv::Rect(corner.x, corner.y, side, side)).setTo(255);
    return Iat;
}

// A staircase right triangle of `legs` pixels: its contour has three corners and encloses
// (legs - 1)^2 / 2 square pixels, a half-integer for even `legs`.
cv::Mat withTriangle(int legs) {
    cv::Mat Iat = blackIat();
    for (int y = 0; y < legs; ++y) {
        Iat(cv::Rect(50, 50 + y, y + 1, 1)).setTo(255);
    }
    return Iat;
}

bool marked(const cv::Mat& Iat, int areaSize) {
    Storage storage;
    return differingPixels(scanned(Iat, kFrame, areaSize, storage), kFrame) > 0;
}

// Each expected corner is a vertex of the polygon, exactly once.
void expectCorners(const std::vector<cv::Point>& approx, const std::vector<cv::Point>& corners) {
    for (const cv::Point& corner : corners) {
        EXPECT_EQ(std::count(approx.begin(), approx.end(), corner), 1) << corner;
    }
}

TEST(ScanContours, AllBlackGivesNoContourAndNoDrawing) {
    Storage storage;
    const cv::Mat img = scanned(blackIat(), kFrame, INT_MIN, storage);
    EXPECT_TRUE(storage.contours.empty());
    EXPECT_EQ(differingPixels(img, kFrame), 0);
}

TEST(ScanContours, UpperBoundExcludesTenThousand) {
    Storage storage;
    EXPECT_EQ(differingPixels(scanned(withSquare(101), kFrame, 0, storage), kFrame), 0);
    ASSERT_EQ(storage.contours.size(), 1U);
    EXPECT_EQ(cv::contourArea(storage.contours[0]), 10000.0);
    EXPECT_EQ(storage.polygons.size(), 1U);  // measured and approximated all the same

    const cv::Mat img = scanned(withSquare(100), kFrame, 0, storage);
    ASSERT_EQ(storage.contours.size(), 1U);
    EXPECT_EQ(cv::contourArea(storage.contours[0]), 9801.0);
    const std::vector<cv::Point>& approx = storage.polygons[0];
    ASSERT_EQ(approx.size(), 4U);
    expectCorners(approx, {{50, 50}, {149, 50}, {149, 149}, {50, 149}});
    EXPECT_EQ(differingPixels(img, libraryOutline(kFrame, approx)), 0);
}

TEST(ScanContours, LowerBoundIsStrict) {
    EXPECT_TRUE(marked(withSquare(100), 9800));
    EXPECT_FALSE(marked(withSquare(100), 9801));  // area 9801 equals areaSize
    Storage storage;
    scanned(withTriangle(40), kFrame, 0, storage);
    ASSERT_EQ(storage.contours.size(), 1U);
    ASSERT_EQ(cv::contourArea(storage.contours[0]), 760.5);
    EXPECT_TRUE(marked(withTriangle(40), 760));  // areaSize + 0.5
    EXPECT_FALSE(marked(withTriangle(40), 761));
}

TEST(ScanContours, AreaSizeExtremes) {
    for (const int areaSize : {10000, 10001, INT_MAX}) {
        EXPECT_FALSE(marked(withSquare(100), areaSize)) << areaSize;
    }
    // The smallest positive area, a 2x2 block enclosing 1 square pixel, passes any areaSize
    // below 1; a single pixel (area 0) is measured but never marked.
    const cv::Mat block = withSquare(2);
    for (const int areaSize : {INT_MIN, -1, 0}) {
        EXPECT_TRUE(marked(block, areaSize)) << areaSize;
    }
    EXPECT_FALSE(marked(block, 1));
    Storage storage;
    EXPECT_EQ(differingPixels(scanned(withSquare(1), kFrame, INT_MIN, storage), kFrame), 0);
    ASSERT_EQ(storage.contours.size(), 1U);
    EXPECT_EQ(cv::contourArea(storage.contours[0]), 0.0);
}

TEST(ScanContours, ConcaveAndManySidedPolygonsAreNotMarked) {
    cv::Mat ell = blackIat();
    const std::vector<cv::Point> corners = {{40, 40},  {70, 40},   {70, 90},
                                            {110, 90}, {110, 120}, {40, 120}};
    cv::fillPoly(ell, std::vector<std::vector<cv::Point>>{corners}, 255, cv::LINE_8);
    Storage storage;
    EXPECT_EQ(differingPixels(scanned(ell, kFrame, 0, storage), kFrame), 0);
    ASSERT_EQ(storage.polygons.size(), 1U);
    EXPECT_EQ(storage.polygons[0].size(), 6U);

    for (const int n : {8, 9}) {
        cv::Mat Iat = blackIat();
        cv::fillConvexPoly(Iat, scene::regularPolygon({120, 120}, 45.0, n, 0.0), 255, cv::LINE_8);
        const cv::Mat img = scanned(Iat, kFrame, 0, storage);
        ASSERT_EQ(storage.polygons.size(), 1U);
        ASSERT_EQ(storage.polygons[0].size(), static_cast<std::size_t>(n));
        ASSERT_TRUE(cv::isContourConvex(storage.polygons[0]));
        EXPECT_EQ(differingPixels(img, kFrame) > 0, n == 8) << n << " vertices";
    }
}

TEST(ScanContours, RingContoursAreJudgedEachOnItsOwn) {
    // Outer boundary and hole of a square ring; the probes sit on each boundary's outline.
    const cv::Point outerProbe(20, 70);
    const cv::Point innerProbe(44, 65);
    auto ring = [](int outer) {
        cv::Mat Iat = blackIat();
        Iat(cv::Rect(20, 20, outer, outer)).setTo(255);
        Iat(cv::Rect(45, 45, 40, 40)).setTo(0);
        return Iat;
    };
    struct Case {
        int outer;
        int areaSize;
        bool outerMarked;
        bool innerMarked;
    };
    // Outer areas 7921 and 10000, hole area 1679.
    for (const Case c : {Case{90, 100, true, true}, Case{90, 5000, true, false},
                         Case{101, 100, false, true}, Case{101, 9000, false, false}}) {
        Storage storage;
        const cv::Mat img = scanned(ring(c.outer), kFrame, c.areaSize, storage);
        EXPECT_EQ(storage.contours.size(), 2U);
        EXPECT_EQ(img.at<cv::Vec3b>(outerProbe) == testing::kGreen, c.outerMarked)
            << c.outer << " " << c.areaSize;
        EXPECT_EQ(img.at<cv::Vec3b>(innerProbe) == testing::kGreen, c.innerMarked)
            << c.outer << " " << c.areaSize;
    }
}

TEST(ScanContours, RegionTouchingTheEdgeIsTracedOnePixelInside) {
    // An all-white image of 90x60: its single contour runs along the second row and column
    // from each edge, and being convex and small it is marked.
    Storage storage;
    const cv::Mat frame = testing::texturedFrame({90, 60});
    const cv::Mat img = scanned(cv::Mat(60, 90, CV_8UC1, cv::Scalar(255)), frame, 0, storage);
    ASSERT_EQ(storage.polygons.size(), 1U);
    const std::vector<cv::Point>& approx = storage.polygons[0];
    ASSERT_EQ(approx.size(), 4U);
    expectCorners(approx, {{1, 1}, {88, 1}, {88, 58}, {1, 58}});
    EXPECT_EQ(differingPixels(img, libraryOutline(frame, approx)), 0);
}

}  // namespace
}  // namespace shapemark
