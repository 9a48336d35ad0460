// The planes' pre-smoothing: the library's bytes, with the detector's two widths.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <vector>

#include "detector/robust_tuning.hpp"
#include "detector/smooth_plane.hpp"

namespace shapemark {
namespace {

// Noise at full range, and a bright field (every sum near the top of 16 bits), on planes from
// the smallest taken to a working image's. Catches
// a tap read back wrong (the centre's above 128), a border mirrored with its edge repeated, a
// ring slot holding another row, a seam where the kernels hand over to the scalar ends, and a
// 16-bit sum that overflows.
TEST(SmoothPlane, AsTheLibrarySmoothes) {
    cv::RNG rng(14);
    // The detector's two sigmas (taps read once) and another (read on each call).
    for (const double sigma : {robust::tuning::kSmoothSigma,
                               robust::tuning::kSmoothSigma * robust::tuning::kColourUnit, 0.9}) {
        const std::vector<cv::Size> sizes = {cv::Size(1280, 720), cv::Size(640, 360),
                                             cv::Size(11, 11), cv::Size(45, 17), cv::Size(17, 60)};
        for (const cv::Size& size : sizes) {
            for (const bool bright : {false, true}) {
                cv::Mat plane(size, CV_8UC1);
                rng.fill(plane, cv::RNG::UNIFORM, bright ? 240 : 0, 256);
                cv::Mat expected;
                cv::GaussianBlur(plane, expected, cv::Size(), sigma);
                const cv::Mat got = robust::smoothPlane(plane, sigma);
                ASSERT_EQ(cv::norm(got, expected, cv::NORM_INF), 0.0) << size << " " << sigma;
            }
        }
    }
}

}  // namespace
}  // namespace shapemark
