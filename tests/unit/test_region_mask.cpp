// regionMask fills a traced contour by scanlines in place of cv::fillPoly; splitRagged reads the
// region's contrast through it, so it must cover the very pixels cv::fillPoly covers.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <vector>

#include "detector/region_mask.hpp"
#include "noise_contours.hpp"

namespace shapemark::robust {
namespace {

// Catches a vertex crossed twice (or not at all) by its row, a row's spans paired wrongly
// where a contour touches itself, a pixel of the contour left out at a horizontal edge, and a
// mask shifted off its box; the blobs' holes, pinches, one-pixel strokes and specks cover them.
TEST(RegionMask, CoversWhatFillPolyCovers) {
    std::size_t compared = 0;
    for (int seed = 0; seed < 40; ++seed) {
        for (const std::vector<cv::Point>& contour : testing::noiseContours(
                 seed, {140, 100 + seed}, 0.5 + seed % 6, [](cv::Mat&) {}, {seed, 3 * seed})) {
            const cv::Rect box = cv::boundingRect(contour);
            cv::Mat expected = cv::Mat::zeros(box.size(), CV_8U);
            cv::fillPoly(expected, std::vector<std::vector<cv::Point>>{contour}, cv::Scalar(255),
                         cv::LINE_8, 0, -box.tl());
            const cv::Mat mask = regionMask(contour, box);
            ASSERT_EQ(cv::countNonZero(mask != expected), 0)
                << "seed " << seed << ", contour of " << contour.size();
            ++compared;
        }
    }
    EXPECT_GT(compared, 1000U);
}

}  // namespace
}  // namespace shapemark::robust
