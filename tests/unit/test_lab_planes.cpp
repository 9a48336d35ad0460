// The detector's own Lab conversion against OpenCV's, on every 8-bit colour.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <vector>

#include "detector/lab_planes.hpp"

namespace shapemark::robust {
namespace {

// Each of the 2^24 colours once, row after row of a 4096 x 4096 image.
cv::Mat everyColour() {
    cv::Mat bgr(4096, 4096, CV_8UC3);
    for (int y = 0; y < bgr.rows; ++y) {
        auto* row = bgr.ptr<cv::Vec3b>(y);
        for (int x = 0; x < bgr.cols; ++x) {
            const int colour = y * bgr.cols + x;
            row[x] = cv::Vec3b(colour & 0xff, (colour >> 8) & 0xff, colour >> 16);
        }
    }
    return bgr;
}

void expectSameAsOpenCv(const cv::Mat& bgr) {
    cv::Mat lab;
    cv::cvtColor(bgr, lab, cv::COLOR_BGR2Lab);
    std::vector<cv::Mat> expected;
    cv::split(lab, expected);
    const std::vector<cv::Mat> planes = labPlanes(bgr);
    ASSERT_EQ(planes.size(), 3U);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(planes[i].size(), bgr.size());
        EXPECT_EQ(cv::countNonZero(planes[i] != expected[i]), 0) << "all planes, plane " << i;
        EXPECT_EQ(cv::countNonZero(labPlane(bgr, i) != expected[i]), 0) << "plane " << i;
    }
}

// Catches any table entry or rounding off by one (gamma, matrix, cube root, the L/a/b
// descaling, an a or b that would need saturating, a channel order swapped): every colour
// reaches every entry it can.
TEST(LabPlanes, EveryColourAsOpenCv) {
    expectSameAsOpenCv(everyColour());
}

// Catches rows read as if contiguous: a region of interest of odd width in a wider image.
TEST(LabPlanes, RegionOfInterestAsOpenCv) {
    const cv::Mat all = everyColour();
    expectSameAsOpenCv(all(cv::Rect(3, 1001, 517, 263)));
}

// Rows are converted four pixels a step: catches a row's last one to three pixels skipped or
// read from the wrong place, on every width up to 12 (random colours).
TEST(LabPlanes, EveryNarrowWidthAsOpenCv) {
    cv::RNG rng(7);
    for (int width = 1; width <= 12; ++width) {
        cv::Mat bgr(3, width, CV_8UC3);
        rng.fill(bgr, cv::RNG::UNIFORM, 0, 256);
        expectSameAsOpenCv(bgr);
    }
}

}  // namespace
}  // namespace shapemark::robust
