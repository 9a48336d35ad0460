// regionMask fills a traced contour by scanlines in place of cv::fillPoly; splitRagged reads the
// region's contrast through it, so it must cover the very pixels cv::fillPoly covers.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <vector>

#include "detector/region_mask.hpp"

namespace shapemark::robust {
namespace {

// Catches a vertex crossed twice (or not at all) by its row, a row's spans paired wrongly
// where a contour touches itself, a pixel of the contour left out at a horizontal edge, and a
// mask shifted off its box; the blobs' holes, pinches, one-pixel strokes and specks cover them.
TEST(RegionMask, CoversWhatFillPolyCovers) {
    std::size_t compared = 0;
    for (int seed = 0; seed < 40; ++seed) {
        cv::RNG rng(static_cast<std::uint64_t>(seed));
        cv::Mat noise(100 + seed, 140, CV_32F);
        rng.fill(noise, cv::RNG::UNIFORM, 0.0, 1.0);
        cv::GaussianBlur(noise, noise, cv::Size(), 0.5 + seed % 6);
        std::vector<std::vector<cv::Point>> contours;
        cv::findContours(noise > 0.5, contours, cv::RETR_LIST, cv::CHAIN_APPROX_NONE,
                         {seed, 3 * seed});
        for (const std::vector<cv::Point>& contour : contours) {
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
