// closedPolygonFits shares the far points and the splits between tolerances; each of its
// polygons must be the library's own fit at that tolerance, point for point, since the corner
// tests count and compare them.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <vector>

#include "detector/polygon_fits.hpp"
#include "noise_contours.hpp"

namespace shapemark::robust {
namespace {

// Catches a split found or kept otherwise than the library (a stretch measured once but judged
// with the wrong tolerance, halves visited in the other order), the far points of the start
// taken from another iteration, and the last stage's straight vertices dropped differently;
// specks and strokes traced twice over (points repeated) are among the contours.
TEST(PolygonFits, AreTheLibrarysFitsAtEveryTolerance) {
    std::size_t compared = 0;
    cv::RNG rng(20261209);
    for (int seed = 0; seed < 40; ++seed) {
        auto strokes = [seed](cv::Mat& binary) {
            cv::line(binary, {20, 100}, {20 + 2 * seed, 100 - seed}, cv::Scalar(255));
            cv::circle(binary, {80, 60}, 10 + seed, cv::Scalar(255), 2);
        };
        for (const std::vector<cv::Point>& contour :
             testing::noiseContours(seed, {160, 120 + seed}, 0.6 + seed % 7, strokes)) {
            const double perimeter = cv::arcLength(contour, true);
            std::vector<double> tolerances = {0.0, 0.5, 1.0, 0.01 * perimeter, 0.03 * perimeter};
            for (int k = 0; k < 4; ++k) {
                tolerances.push_back(rng.uniform(0.0, 0.1) * perimeter);  // any order
            }
            std::vector<std::vector<cv::Point>> polygons;
            closedPolygonFits(contour, tolerances, polygons);
            ASSERT_EQ(polygons.size(), tolerances.size());
            for (std::size_t i = 0; i < tolerances.size(); ++i) {
                std::vector<cv::Point> expected;
                cv::approxPolyDP(contour, expected, tolerances[i], true);
                ASSERT_EQ(polygons[i], expected)
                    << "seed " << seed << ", contour of " << contour.size() << ", tolerance "
                    << tolerances[i];
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 10000U);  // thousands of contours of every kind
}

}  // namespace
}  // namespace shapemark::robust
