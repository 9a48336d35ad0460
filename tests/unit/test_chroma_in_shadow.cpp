// The colour-opponent planes' shadow stretch, over every pair of levels it can meet.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark {
namespace {

// One row per (lightness, opponent) pair, the pair in every column: 16 columns take the vector
// path, the 17th the per-pixel one. The faults caught: the two paths disagreeing on a pair (a
// seam every 16 columns), lit pixels or grey touched, a chroma shrunk or flipped in shadow.
TEST(ChromaInShadow, BothPathsAgreeAndOnlyShadowedChromaIsStretched) {
    cv::Mat level(256 * 256, 17, CV_8UC1);
    cv::Mat light(level.size(), CV_8UC1);
    for (int row = 0; row < level.rows; ++row) {
        const int lightLevel = row / 256;
        light.row(row).setTo(lightLevel);
        level.row(row).setTo(row % 256);
    }
    const cv::Mat out = robust::chromaInShadow(level, light);
    for (int row = 0; row < out.rows; ++row) {
        const int l = row / 256;
        const int a = row % 256 - 128;
        const int got = out.at<uchar>(row, 16) - 128;
        ASSERT_EQ(cv::countNonZero(out.row(row) != out.at<uchar>(row, 16)), 0) << l << " " << a;
        if (l >= robust::tuning::kChromaLitLevel || a == 0) {
            ASSERT_EQ(got, a) << l;
        } else {
            ASSERT_TRUE(a > 0 ? got >= a : got <= a) << l << " " << a;
        }
    }
    // Lightness 40, chroma 10: stretched by the lit level over the light, floors added.
    const double gain = (robust::tuning::kChromaLitLevel + robust::tuning::kChromaFloor) /
                        (40 + robust::tuning::kChromaFloor);
    EXPECT_NEAR(out.at<uchar>(40 * 256 + 138, 0), 128 + 10 * gain, 0.5);
}

}  // namespace
}  // namespace shapemark
