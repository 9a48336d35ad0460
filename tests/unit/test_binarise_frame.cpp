// Binarisation: grey conversion, median, adaptive threshold and the 5x5 opening, checked on
// frames whose binary image is known pixel for pixel.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "detector/detector.hpp"
#include "synthetic_shapes.hpp"

namespace shapemark {
namespace {

const cv::Scalar kWhite(255, 255, 255);
const cv::Scalar kBlack(0, 0, 0);

cv::Mat binarised(const cv::Mat& frame) {
    cv::Mat img;
    cv::Mat grey;
    cv::Mat Iat;
    cloneFrame(frame, img);
    binariseFrame(img, grey, Iat);
    EXPECT_EQ(grey.size(), frame.size());
    EXPECT_EQ(grey.type(), CV_8UC1);
    EXPECT_EQ(Iat.type(), CV_8UC1);
    return Iat;
}

// A white frame with a black 61x61 square centred on (cx, cy): inside the square the 71-pixel
// mean is far above black, so thresholding gives 0 there and 255 wherever the input is white.
cv::Mat darkField(cv::Point centre) {
    cv::Mat frame(200, 200, CV_8UC3, kWhite);
    cv::rectangle(frame, cv::Rect(centre.x - 30, centre.y - 30, 61, 61), kBlack, cv::FILLED);
    return frame;
}

// A white n x n patch at `corner` inside a dark field. The median would round its corners, so
// one white pixel sits diagonally off each corner: after the median the patch is an exact
// square and the extra pixels are gone, which is the binary image the opening then receives.
void putPatch(cv::Mat& frame, cv::Point corner, int n) {
    frame(cv::Rect(corner.x, corner.y, n, n)).setTo(kWhite);
    for (const cv::Point off :
         {cv::Point(-1, -1), cv::Point(n, -1), cv::Point(-1, n), cv::Point(n, n)}) {
        frame.at<cv::Vec3b>(corner + off) = cv::Vec3b(255, 255, 255);
    }
}

TEST(BinariseFrame, UniformFrameGivesAllWhite) {
    for (const cv::Size size : {cv::Size(160, 120), cv::Size(73, 41)}) {
        const cv::Mat Iat = binarised(cv::Mat(size, CV_8UC3, cv::Scalar(90, 130, 170)));
        ASSERT_EQ(Iat.size(), size);  // from the frame itself, whatever its size
        EXPECT_EQ(cv::countNonZero(Iat != 255), 0);
    }
}

TEST(BinariseFrame, OnePixelDarkLineLeavesNoTrace) {
    for (const cv::Point end : {cv::Point(150, 60), cv::Point(10, 115)}) {
        cv::Mat frame(120, 160, CV_8UC3, cv::Scalar(180, 180, 180));
        cv::line(frame, {10, 60}, end, kBlack, 1, cv::LINE_8);  // horizontal, then vertical
        EXPECT_EQ(cv::countNonZero(binarised(frame) != 255), 0);
    }
}

TEST(BinariseFrame, OpeningRemovesPatchesUnderFivePixels) {
    const cv::Point centre(100, 100);
    const cv::Rect around(centre.x - 15, centre.y - 15, 31, 31);
    for (const int n : {4, 5}) {
        cv::Mat frame = darkField(centre);
        const cv::Point corner(centre.x - 2, centre.y - 2);
        putPatch(frame, corner, n);
        const cv::Mat Iat = binarised(frame);
        cv::Mat expected(Iat.size(), CV_8UC1, cv::Scalar(0));
        if (n == 5) {
            expected(cv::Rect(corner.x, corner.y, n, n)).setTo(255);
        }
        EXPECT_EQ(cv::countNonZero(Iat(around) != expected(around)), 0) << n << "x" << n;
    }
}

TEST(BinariseFrame, OpeningJoinsRegionsAcrossStripsUnderFivePixels) {
    // Two dark fields, 20 pixels wide, separated by a white vertical strip of width w; the
    // white beyond them keeps the local mean high enough for the fields to threshold to 0.
    for (const int w : {4, 5}) {
        cv::Mat frame(200, 200, CV_8UC3, kWhite);
        const int left = 100 - w / 2;
        cv::rectangle(frame, cv::Rect(left - 20, 40, 20, 120), kBlack, cv::FILLED);
        cv::rectangle(frame, cv::Rect(left + w, 40, 20, 120), kBlack, cv::FILLED);
        const cv::Mat Iat = binarised(frame);
        const cv::Rect middle(left - 20, 60, 40 + w, 80);
        cv::Mat expected(Iat.size(), CV_8UC1, cv::Scalar(0));
        if (w == 5) {
            expected(cv::Rect(left, 0, w, 200)).setTo(255);
        }
        EXPECT_EQ(cv::countNonZero(Iat(middle) != expected(middle)), 0) << "strip " << w;
    }
}

TEST(BinariseFrame, DarkSideOfAnEdgeIsShapeWithinTheThresholdBlock) {
    // Grey 100 left of x = 100, grey 200 right of it. A dark pixel k columns from the edge
    // sees 36 - k bright columns in its 71-wide block, so its rounded local mean is
    // 100 + round((36 - k) * 100 / 71); it is shape when that is 15 or more above 100, which
    // holds for k = 1..25 and for no other pixel.
    cv::Mat frame(120, 200, CV_8UC3, cv::Scalar(200, 200, 200));
    frame.colRange(0, 100).setTo(cv::Scalar(100, 100, 100));
    cv::Mat expected(120, 200, CV_8UC1, cv::Scalar(255));
    expected.colRange(75, 100).setTo(0);
    EXPECT_EQ(cv::countNonZero(binarised(frame) != expected), 0);
}

TEST(BinariseFrame, WholeIterationLeavesCapturedFrameUntouched) {
    cv::Mat frame(240, 320, CV_8UC3, cv::Scalar(200, 200, 200));
    cv::rectangle(frame, cv::Rect(40, 40, 60, 60), cv::Scalar(40, 60, 110), cv::FILLED);
    cv::circle(frame, {220, 120}, 40, cv::Scalar(60, 40, 40), cv::FILLED);
    const cv::Mat captured = frame.clone();
    cv::Mat img;
    cv::Mat grey;
    cv::Mat Iat;
    Storage storage;
    cloneFrame(frame, img);
    binariseFrame(img, grey, Iat);
    scanContours(Iat, DetectorParams{DetectorKind::Classic, 100}, storage);
    testing::drawMarked(img, storage);
    ASSERT_GT(testing::differingPixels(img, captured), 0);  // the square was outlined
    EXPECT_EQ(frame.size(), captured.size());
    EXPECT_EQ(frame.type(), captured.type());
    EXPECT_EQ(testing::differingPixels(frame, captured), 0);
}

// The threshold is the library's mean-C adaptive threshold, pixel for pixel, also where the
// local mean is within the offset of black or white and the test sits on its boundary: noise
// in dark, mid and bright bands, against the library's own pipeline.
TEST(BinariseFrame, ThresholdEqualsTheLibrarysOnNoise) {
    cv::RNG rng(7);
    for (const cv::Size size : {cv::Size(320, 240), cv::Size(97, 61)}) {
        cv::Mat frame(size, CV_8UC3);
        const int band = size.height / 3;
        rng.fill(frame.rowRange(0, band), cv::RNG::UNIFORM, 0, 30);
        rng.fill(frame.rowRange(band, 2 * band), cv::RNG::UNIFORM, 0, 256);
        rng.fill(frame.rowRange(2 * band, size.height), cv::RNG::UNIFORM, 226, 256);
        cv::Mat grey;
        cv::Mat expected;
        cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
        cv::medianBlur(grey, grey, 3);
        cv::adaptiveThreshold(grey, expected, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY,
                              71, 15);
        cv::erode(expected, expected, cv::Mat(), cv::Point(-1, -1), 2);
        cv::dilate(expected, expected, cv::Mat(), cv::Point(-1, -1), 2);
        const cv::Mat Iat = binarised(frame);
        ASSERT_GT(cv::countNonZero(expected), 0);
        ASSERT_GT(cv::countNonZero(expected == 0), 0);
        EXPECT_EQ(cv::countNonZero(Iat != expected), 0) << size;
    }
}

}  // namespace
}  // namespace shapemark

namespace shapemark {
namespace {

// OpenCV's own pipeline with the same values: the fast threshold must match its mean-C test for
// any parameters, not only the defaults. Catches a parameter that does not reach its step, and
// an offset of 0, where grey >= mean + 1 would pass grey = mean = 255.
TEST(BinariseFrame, EveryParameterSetMatchesOpenCvsAdaptiveThreshold) {
    cv::Mat frame(120, 160, CV_8UC3);
    cv::randu(frame, cv::Scalar::all(0), cv::Scalar::all(256));
    frame(cv::Rect(0, 0, 40, 40)).setTo(cv::Scalar::all(255));  // mean 255 on a flat corner
    for (const double offset : {0.0, 0.5, 15.0, 200.0}) {
        for (const int block : {3, 31}) {
            DetectorParams p;
            p.thresholdOffset = offset;
            p.thresholdBlock = block;
            p.medianAperture = block == 3 ? 1 : 5;
            p.cleanupPasses = block == 3 ? 0 : 3;
            cv::Mat grey;
            cv::Mat Iat;
            binariseFrame(frame, grey, Iat, p);
            cv::Mat expected;
            cv::cvtColor(frame, expected, cv::COLOR_BGR2GRAY);
            if (p.medianAperture > 1) {
                cv::medianBlur(expected, expected, p.medianAperture);
            }
            cv::adaptiveThreshold(expected, expected, 255, cv::ADAPTIVE_THRESH_MEAN_C,
                                  cv::THRESH_BINARY, block, offset);
            cv::erode(expected, expected, cv::Mat(), cv::Point(-1, -1), p.cleanupPasses);
            cv::dilate(expected, expected, cv::Mat(), cv::Point(-1, -1), p.cleanupPasses);
            EXPECT_EQ(cv::countNonZero(Iat != expected), 0) << offset << " " << block;
        }
    }
}

}  // namespace
}  // namespace shapemark
