// The shadow plane's lookup: at AVX2 width it must give cv::LUT's bytes, in every column.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <array>
#include <cstddef>

#include "detector/robust_detect.hpp"

namespace shapemark {
namespace {

// Every level in every column of rows 1 to 70 wide (a row of fewer than 32 left to the
// library, whole vectors, the last one overlapping), each against the 1 × 1 image of that
// level, which the library maps. Catches a table of the 16 read for the wrong levels, the
// saturation letting a lane through twice, and a seam where the last vector overlaps.
TEST(LightnessInShadow, EveryLevelAsTheLibraryMapsIt) {
    std::array<uchar, 256> expected{};
    for (int level = 0; level < 256; ++level) {
        expected[static_cast<std::size_t>(level)] =
            robust::lightnessInShadow(cv::Mat(1, 1, CV_8UC1, cv::Scalar(level))).at<uchar>(0);
    }
    ASSERT_LT(expected[0], expected[255]);  // not a constant: the lookup is tested
    for (int cols = 1; cols <= 70; ++cols) {
        cv::Mat levels(256, cols, CV_8UC1);
        for (int y = 0; y < levels.rows; ++y) {
            for (int x = 0; x < cols; ++x) {
                levels.at<uchar>(y, x) = static_cast<uchar>(y + 7 * x);
            }
        }
        const cv::Mat mapped = robust::lightnessInShadow(levels);
        for (int y = 0; y < levels.rows; ++y) {
            for (int x = 0; x < cols; ++x) {
                ASSERT_EQ(mapped.at<uchar>(y, x), expected[levels.at<uchar>(y, x)])
                    << cols << " columns, at " << x << ", " << y;
            }
        }
    }
}

}  // namespace
}  // namespace shapemark
