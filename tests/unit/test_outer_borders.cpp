// outerBorders replaces the library's contour scanner for outer borders; it must give the very
// contours cv::findContours lists without a parent, point for point and in the same order.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <vector>

#include "detector/outer_borders.hpp"

namespace shapemark::robust {
namespace {

using Contours = std::vector<std::vector<cv::Point>>;

Contours listedWithoutParent(const cv::Mat& binary) {
    Contours contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(binary, contours, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_NONE);
    Contours outer;
    for (std::size_t i = 0; i < contours.size(); ++i) {
        if (hierarchy[i][3] < 0) {
            outer.push_back(contours[i]);
        }
    }
    return outer;
}

Contours listedExternal(const cv::Mat& binary) {
    Contours contours;
    cv::findContours(binary, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    return contours;
}

Contours traced(const cv::Mat& binary, Listing listing = Listing::kTwoLevel) {
    cv::Mat padded;
    cv::copyMakeBorder(binary / 255, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(0));
    return outerBorders(
        padded, [](std::size_t) { return true; }, listing);
}

// Noise of every density, blurred or raw, in images of 1 to 89 columns.
cv::Mat randomRegions(cv::RNG& rng, int trial) {
    const int cols = trial % 4 == 0 ? 1 + trial % 17 : rng.uniform(1, 90);
    cv::Mat noise(rng.uniform(1, 70), cols, CV_32F);
    rng.fill(noise, cv::RNG::UNIFORM, 0.0, 1.0);
    if (trial % 2 == 1) {
        cv::GaussianBlur(noise, noise, cv::Size(), 0.8 + trial % 3);
        cv::normalize(noise, noise, 0.0, 1.0, cv::NORM_MINMAX);
    }
    return noise > rng.uniform(0.2, 0.8);
}

// The tracer's listing against the library's on 400 noise images of `randomRegions`; counts
// the contours compared.
template <typename Library>
void compareOnNoise(std::uint64_t seed, Listing listing, Library library, std::size_t& compared) {
    cv::RNG rng(seed);
    for (int trial = 0; trial < 400; ++trial) {
        const cv::Mat binary = randomRegions(rng, trial);
        const Contours expected = library(binary);
        ASSERT_EQ(traced(binary, listing), expected) << "trial " << trial;
        compared += expected.size();
    }
}

// Rings nested in rings, `width` pixels wide, the innermost a disc.
cv::Mat rings(int width) {
    cv::Mat image(120, 130, CV_8U, cv::Scalar(255));
    for (int r = 58, i = 0; r > 2; r -= width, ++i) {
        cv::circle(image, {64, 60}, r, cv::Scalar(i % 2 == 0 ? 0 : 255), cv::FILLED);
    }
    return image;
}

// Raw and blurred noise at every density (single pixels, diagonal links, holes in holes,
// islands in them, regions on every border), narrow images (1 to 17 columns, where the scan's
// 16-pixel steps do not fit), a full image, and rings nested in rings.
// Catches a hole missed beside a border already marked, a hole taken for an outer
// border, a start missed in the scan's tail or at a row's first or last pixel, the padding's
// offset, and the listing's order.
TEST(OuterBorders, SameContoursInTheSameOrderAsTheLibrary) {
    std::size_t compared = 0;
    compareOnNoise(20261209, Listing::kTwoLevel, listedWithoutParent, compared);
    EXPECT_EQ(traced(rings(5)), listedWithoutParent(rings(5)));
    EXPECT_GT(compared, 5000U);
}

// External-only, the scanner skips what lies inside a region, except where a border's mark on
// the same row leaves it open (a thin ring's left edge), where it lists a hole's border or an
// island too. Catches an island or hole listed, or one the library lists missed, a mark met
// between two starts overlooked, and the listing's order.
TEST(OuterBorders, ExternalOnlySameContoursInTheSameOrderAsTheLibrary) {
    std::size_t compared = 0;
    compareOnNoise(20261210, Listing::kExternal, listedExternal, compared);
    for (int width = 1; width <= 5; ++width) {
        EXPECT_EQ(traced(rings(width), Listing::kExternal), listedExternal(rings(width)));
    }
    EXPECT_GT(compared, 3000U);
}

}  // namespace
}  // namespace shapemark::robust
