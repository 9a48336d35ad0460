// The working image's downscale: the library's bytes, on every size it takes its own path for.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <vector>

#include "detector/linear_downscale.hpp"

namespace shapemark {
namespace {

void expectLibraryBytes(const cv::Mat& bgr, double scale) {
    cv::Mat expected;
    cv::resize(bgr, expected, cv::Size(), scale, scale, cv::INTER_LINEAR);
    const cv::Mat got = robust::linearDownscale(bgr, scale);
    ASSERT_EQ(got.size(), expected.size()) << bgr.size();
    ASSERT_EQ(cv::norm(got, expected, cv::NORM_INF), 0.0) << bgr.size();
}

// Noise at full range on the 1080p frame (either way up), the narrowest rows of whole vectors
// and a window into a wider image. Catches a shuffle reading the wrong byte or phase of the
// period, near and far rows swapped, a rounding (3 near + far + 8) / 16 as the library's
// scalar loop has it, a seam between the kernels' blocks and a row read at the wrong stride.
TEST(LinearDownscale, TwoThirdsAsTheLibraryMakesThem) {
    cv::RNG rng(14);
    const std::vector<cv::Size> sizes = {cv::Size(1920, 1080), cv::Size(1080, 1920),
                                         cv::Size(24, 3), cv::Size(72, 9), cv::Size(96, 33)};
    for (const cv::Size& size : sizes) {
        cv::Mat bgr(size, CV_8UC3);
        rng.fill(bgr, cv::RNG::UNIFORM, 0, 256);
        expectLibraryBytes(bgr, 2.0 / 3.0);
        cv::Mat wider(size.height + 3, size.width + 5, CV_8UC3);
        rng.fill(wider, cv::RNG::UNIFORM, 0, 256);
        expectLibraryBytes(wider(cv::Rect(cv::Point(2, 1), size)), 2.0 / 3.0);
    }
}

// Sizes and scales the library keeps: a side not a multiple of 3, another scale.
TEST(LinearDownscale, OtherSizesToTheLibrary) {
    cv::Mat bgr(100, 160, CV_8UC3);
    cv::randu(bgr, 0, 256);
    expectLibraryBytes(bgr, 2.0 / 3.0);
    expectLibraryBytes(bgr(cv::Rect(0, 0, 96, 99)), 0.5);
}

}  // namespace
}  // namespace shapemark
