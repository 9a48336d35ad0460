// contourHull hands cv::convexHull only each row's outermost points of a traced contour; it
// must give the very hull the library gives for the whole contour, point for point and from
// the same first point, since overlaps and the hull's own polygon are measured on it.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <vector>

#include "detector/contour_hull.hpp"
#include "noise_contours.hpp"

namespace shapemark::robust {
namespace {

// Noise contours with a row, a column and a slope drawn in: lines, specks and thin strokes
// (every point twice) beside blobs.
std::vector<std::vector<cv::Point>> contoursOf(int seed) {
    auto strokes = [seed](cv::Mat& binary) {
        cv::line(binary, {5, 5 + seed}, {150, 5 + seed}, cv::Scalar(255));          // a row
        cv::line(binary, {3 + seed, 20}, {3 + seed, 110}, cv::Scalar(255));         // a column
        cv::line(binary, {20, 100}, {20 + 2 * seed, 100 - seed}, cv::Scalar(255));  // a slope
    };
    return testing::noiseContours(seed, {160, 120 + seed}, 0.6 + seed % 5, strokes);
}

// Catches a corner of the hull dropped with the inner points of its row, a hull listed from
// another first point or the other way round (the points reordered instead of kept in the
// contour's order), and lines, specks and thin strokes (every point twice) handled otherwise.
TEST(ContourHull, IsTheLibrarysHullOfTheWholeContour) {
    std::size_t compared = 0;
    for (int seed = 0; seed < 40; ++seed) {
        for (const std::vector<cv::Point>& contour : contoursOf(seed)) {
            std::vector<cv::Point> expected;
            std::vector<cv::Point> hull;
            cv::convexHull(contour, expected);
            contourHull(contour, hull);
            ASSERT_EQ(hull, expected) << "seed " << seed << ", contour of " << contour.size();
            ++compared;
        }
    }
    EXPECT_GT(compared, 1000U);  // enough contours of every kind
}

// The width test fits the library's minimum-area rectangle to the outermost points alone.
// Catches a corner of the hull missing from them, or a hull the library would start from
// another point (the rectangle's angle and corner order would change), on every kind of contour.
TEST(ContourHull, OutermostPointsGiveTheLibrarysRectangle) {
    std::size_t compared = 0;
    for (int seed = 0; seed < 40; ++seed) {
        for (const std::vector<cv::Point>& contour : contoursOf(seed)) {
            const cv::RotatedRect expected = cv::minAreaRect(contour);
            const cv::RotatedRect rect =
                cv::minAreaRect(outermostPoints(contour, cv::boundingRect(contour)));
            ASSERT_EQ(rect.center, expected.center) << "seed " << seed;
            ASSERT_EQ(rect.size, expected.size) << "seed " << seed;
            ASSERT_EQ(rect.angle, expected.angle) << "seed " << seed;
            ++compared;
        }
    }
    EXPECT_GT(compared, 1000U);
}

}  // namespace
}  // namespace shapemark::robust
