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

// Catches a corner of the hull dropped with the inner points of its row, a hull listed from
// another first point or the other way round (the points reordered instead of kept in the
// contour's order), and lines, specks and thin strokes (every point twice) handled otherwise.
TEST(ContourHull, IsTheLibrarysHullOfTheWholeContour) {
    std::size_t compared = 0;
    for (int seed = 0; seed < 40; ++seed) {
        auto strokes = [seed](cv::Mat& binary) {
            cv::line(binary, {5, 5 + seed}, {150, 5 + seed}, cv::Scalar(255));          // a row
            cv::line(binary, {3 + seed, 20}, {3 + seed, 110}, cv::Scalar(255));         // a column
            cv::line(binary, {20, 100}, {20 + 2 * seed, 100 - seed}, cv::Scalar(255));  // a slope
        };
        for (const std::vector<cv::Point>& contour :
             testing::noiseContours(seed, {160, 120 + seed}, 0.6 + seed % 5, strokes)) {
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

}  // namespace
}  // namespace shapemark::robust
