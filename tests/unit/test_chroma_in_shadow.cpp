// The colour-opponent planes' shadow stretch, over every pair of levels it can meet.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark {
namespace {

// Every (lightness, opponent) pair, a row of 256 lightness levels per opponent level, each
// row's columns holding its pairs shifted by 7 per column: 40 columns take the vector paths
// (AVX2's last vector overlapping, or 16 at a time and 8 left per pixel), a single column the
// per-pixel one. The faults caught: the paths disagreeing on a pair (a seam, columns out of
// order), lit pixels or grey touched, a chroma shrunk or flipped in shadow.
TEST(ChromaInShadow, AllPathsAgreeAndOnlyShadowedChromaIsStretched) {
    cv::Mat level(256 * 256, 40, CV_8UC1);
    cv::Mat light(level.size(), CV_8UC1);
    for (int row = 0; row < level.rows; ++row) {
        for (int x = 0; x < level.cols; ++x) {
            const int pair = (row + 7 * x) % level.rows;
            light.at<uchar>(row, x) = static_cast<uchar>(pair / 256);
            level.at<uchar>(row, x) = static_cast<uchar>(pair % 256);
        }
    }
    const cv::Mat out = robust::chromaInShadow(level, light);
    for (int x = 0; x < level.cols; ++x) {
        const cv::Mat single = robust::chromaInShadow(level.col(x).clone(), light.col(x).clone());
        ASSERT_EQ(cv::countNonZero(out.col(x) != single), 0) << "column " << x;
    }
    for (int row = 0; row < out.rows; ++row) {
        const int l = row / 256;
        const int a = row % 256 - 128;
        const int got = out.at<uchar>(row, 0) - 128;
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
