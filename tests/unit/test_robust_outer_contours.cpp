// outerContours traces with the library's contour scanner and copies out only contours long
// enough to matter; it must keep exactly what cv::findContours and the same tests keep, in the
// same order, since later steps depend on the order of the candidates.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {
namespace {

// What outerContours kept when it listed every contour with cv::findContours.
std::vector<Contour> listedThenKept(const cv::Mat& contrast, double offset, double minArea,
                                    double maxArea) {
    std::vector<Contour> contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(standsOut(contrast, offset), contours, hierarchy, cv::RETR_CCOMP,
                     cv::CHAIN_APPROX_NONE);
    std::vector<Contour> kept;
    for (std::size_t i = 0; i < contours.size(); ++i) {
        const Contour& c = contours[i];
        const double area = cv::contourArea(c);
        if (hierarchy[i][3] < 0 && mayEncloseMore(c.size(), minArea) && area > minArea &&
            area < maxArea && wideEnough(c, area, cv::boundingRect(c), tuning::kMinWidth)) {
            kept.push_back(c);
        }
    }
    return kept;
}

// Nested rings, islands in holes, specks, regions cut by every border, and blurred noise whose
// blobs have holes of their own; as a 16-bit contrast image around 0.
cv::Mat scene(int seed) {
    cv::Mat contrast(240, 320, CV_16SC1);
    cv::RNG rng(static_cast<std::uint64_t>(seed));
    rng.fill(contrast, cv::RNG::UNIFORM, -100, 100);
    cv::GaussianBlur(contrast, contrast, cv::Size(), 1.0 + seed % 3);
    for (int r = 60; r > 4; r -= 8) {  // rings, each one with an island inside its hole
        cv::circle(contrast, {90, 90}, r, cv::Scalar((r / 8) % 2 == 0 ? 90 : -90), cv::FILLED);
    }
    cv::rectangle(contrast, {200, 20}, {300, 120}, cv::Scalar(90), 6);
    cv::rectangle(contrast, {230, 50}, {270, 90}, cv::Scalar(90), cv::FILLED);
    cv::rectangle(contrast, {-5, 150}, {40, 260}, cv::Scalar(90), cv::FILLED);
    cv::rectangle(contrast, {280, -5}, {330, 30}, cv::Scalar(-90), cv::FILLED);
    for (int i = 0; i < 40; ++i) {
        contrast.at<short>(rng.uniform(0, 240), rng.uniform(0, 320)) = 90;
    }
    return contrast;
}

// Catches kept contours listed in the scanner's order instead of cv::findContours' order, a
// hole taken for an outer contour, a contour shifted by the padding, and a speck or a long
// contour dropped by the length test.
TEST(RobustOuterContours, KeepsWhatFindContoursKeepsInItsOrder) {
    std::size_t compared = 0;
    for (int seed = 0; seed < 12; ++seed) {
        const cv::Mat contrast = scene(seed);
        for (const double offset : {20.0, -20.0, 45.0}) {
            for (const double minArea : {4.0, 60.0}) {
                std::vector<Contour> kept;
                outerContours(contrast, offset, minArea, 40000.0, 1.0, kept);
                const std::vector<Contour> expected =
                    listedThenKept(contrast, offset, minArea, 40000.0);
                ASSERT_EQ(kept.size(), expected.size()) << "seed " << seed << ", offset " << offset;
                ASSERT_TRUE(kept == expected) << "seed " << seed << ", offset " << offset;
                compared += kept.size();
            }
        }
    }
    EXPECT_GT(compared, 150U);  // enough contours kept for their order to matter
}

// Catches the threshold written for the tracer drifting from the library's comparison: a
// fractional offset rounded the wrong way, or an offset's sign choosing the wrong side.
TEST(RobustOuterContours, StandsOutAsTheLibraryCompares) {
    const cv::Mat contrast = scene(1);
    for (const double offset : {7.0, -7.0, 6.5, -6.5, 0.25, -0.25}) {
        cv::Mat expected;
        cv::compare(contrast, cv::Scalar::all(offset), expected,
                    offset > 0 ? cv::CMP_GT : cv::CMP_LT);
        EXPECT_EQ(cv::countNonZero(standsOut(contrast, offset) != expected), 0) << offset;
    }
}

// Catches the area summed in a type that wraps, halved or signed differently from the library's,
// or taken from the wrong starting point: every contour of the scenes, clockwise or not.
TEST(RobustOuterContours, AreaAsTheLibraryMeasuresIt) {
    std::size_t compared = 0;
    for (int seed = 0; seed < 4; ++seed) {
        std::vector<Contour> contours;
        cv::findContours(standsOut(scene(seed), 20.0), contours, cv::RETR_LIST,
                         cv::CHAIN_APPROX_NONE);
        for (Contour& c : contours) {
            ASSERT_EQ(contourAreaOf(c), cv::contourArea(c));
            std::reverse(c.begin(), c.end());
            ASSERT_EQ(contourAreaOf(c), cv::contourArea(c));
            compared += 1;
        }
    }
    EXPECT_GT(compared, 100U);
}

}  // namespace
}  // namespace shapemark::robust
