// Contours as the detector meets them on texture, for the tests that compare a replacement of
// a library call with the library itself on thousands of them.
#pragma once

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <vector>

namespace shapemark::testing {

// Every border cv::findContours traces (all of them, every point, shifted by `offset`) in
// uniform noise of `size`, seeded by `seed`, blurred by `sigma` and cut at its middle: blobs
// with holes and pinches, one-pixel strokes and specks. `draw` adds strokes to the binary
// image before it is traced.
template <typename Draw>
std::vector<std::vector<cv::Point>> noiseContours(int seed, cv::Size size, double sigma, Draw draw,
                                                  cv::Point offset = {}) {
    cv::RNG rng(static_cast<std::uint64_t>(seed));
    cv::Mat noise(size, CV_32F);
    rng.fill(noise, cv::RNG::UNIFORM, 0.0, 1.0);
    cv::GaussianBlur(noise, noise, cv::Size(), sigma);
    cv::Mat binary = noise > 0.5;
    draw(binary);
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(binary, contours, cv::RETR_LIST, cv::CHAIN_APPROX_NONE, offset);
    return contours;
}

}  // namespace shapemark::testing
