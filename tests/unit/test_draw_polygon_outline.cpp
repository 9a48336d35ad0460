// Outline drawing: compared with the library's own lines, drawn alone on a copy of the frame.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <vector>

#include "detector/detector.hpp"
#include "synthetic_shapes.hpp"

namespace shapemark {
namespace {

using testing::differingPixels;
using testing::libraryOutline;

const cv::Mat kFrame = testing::texturedFrame();

cv::Mat drawn(const Polygon& approx) {
    cv::Mat img = kFrame.clone();
    drawPolygonOutline(img, approx);
    return img;
}

TEST(DrawPolygonOutline, TriangleIsItsThreeSegmentsInOrder) {
    const Polygon triangle = {{30, 40}, {200, 70}, {90, 210}};
    const cv::Mat img = drawn(triangle);
    cv::Mat expected = kFrame.clone();
    const cv::Scalar green(0, 255, 0, 0);
    cv::line(expected, triangle[0], triangle[1], green, 4, cv::LINE_8, 0);
    cv::line(expected, triangle[1], triangle[2], green, 4, cv::LINE_8, 0);
    cv::line(expected, triangle[2], triangle[0], green, 4, cv::LINE_8, 0);
    EXPECT_EQ(differingPixels(img, expected), 0);
    EXPECT_GT(differingPixels(img, kFrame), 3 * 100);
}

TEST(DrawPolygonOutline, OctagonClosesFromLastVertexToFirst) {
    const Polygon octagon = {{120, 20},  {190, 50}, {220, 120}, {190, 190},
                             {120, 220}, {50, 190}, {20, 120},  {50, 50}};
    const cv::Mat img = drawn(octagon);
    EXPECT_EQ(differingPixels(img, libraryOutline(kFrame, octagon)), 0);
    cv::Mat open = kFrame.clone();  // the first seven segments only
    for (std::size_t k = 0; k + 1 < octagon.size(); ++k) {
        cv::line(open, octagon[k], octagon[k + 1], cv::Scalar(0, 255, 0, 0), 4, cv::LINE_8, 0);
    }
    EXPECT_GT(differingPixels(img, open), 0);
}

TEST(DrawPolygonOutline, EveryCountFromThreeToEightIsDrawn) {
    for (std::size_t n = 3; n <= 8; ++n) {
        const Polygon approx = {{20, 20},   {200, 25}, {220, 110}, {210, 200},
                                {120, 225}, {40, 210}, {15, 150},  {12, 80}};
        const Polygon first(approx.begin(), approx.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_EQ(differingPixels(drawn(first), libraryOutline(kFrame, first)), 0) << n;
    }
}

TEST(DrawPolygonOutline, CountsOutsideThreeToEightDrawNothing) {
    for (const int n : {0, 1, 2, 9, 12}) {
        Polygon approx;
        for (int k = 0; k < n; ++k) {
            approx.emplace_back(20 + 15 * k, 20 + (k % 2) * 150);
        }
        EXPECT_EQ(differingPixels(drawn(approx), kFrame), 0) << n << " vertices";
    }
}

TEST(DrawPolygonOutline, StrokesArePureGreenFourWideAndNotAntiAliased) {
    const Polygon square = {{60, 60}, {180, 60}, {180, 180}, {60, 180}};
    const cv::Mat img = drawn(square);
    EXPECT_EQ(testing::strayPixels(kFrame, img), 0);  // only the frame's values or pure green
    EXPECT_EQ(differingPixels(img, libraryOutline(kFrame, square, 4)), 0);
    EXPECT_GT(differingPixels(img, libraryOutline(kFrame, square, 5)), 0);
    EXPECT_GT(differingPixels(img, libraryOutline(kFrame, square, 2)), 0);
    // Across a side, the stroke covers the side's own row and 2 rows either side of it.
    for (int y = 50; y <= 70; ++y) {
        EXPECT_EQ(img.at<cv::Vec3b>(y, 120) == testing::kGreen, y >= 58 && y <= 62) << y;
    }
    // Away from the outline, the frame's pixels are kept.
    const cv::Rect inside(70, 70, 100, 100);
    EXPECT_EQ(differingPixels(img(inside), kFrame(inside)), 0);
}

}  // namespace
}  // namespace shapemark
