// The driver's pure rules: the decimal parser, the property truncation and the pacing wait;
// and the pool that marks frames ahead.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "cli/command_line.hpp"
#include "driver/detect_ahead.hpp"
#include "driver/pacing.hpp"
#include "input/input_properties.hpp"

namespace {

using shapemark::pacingWaitMs;
using shapemark::truncateProperty;
using shapemark::cli::parseDecimal;

TEST(ParseDecimal, ReadsLeadingDigitsAndIgnoresTheRest) {
    EXPECT_EQ(parseDecimal("12abc"), 12);
    EXPECT_EQ(parseDecimal("100"), 100);
    EXPECT_EQ(parseDecimal("007"), 7);
    EXPECT_EQ(parseDecimal("3 4"), 3);
}

TEST(ParseDecimal, TakesOneOptionalSign) {
    EXPECT_EQ(parseDecimal(" -5"), -5);
    EXPECT_EQ(parseDecimal("+7"), 7);
    EXPECT_EQ(parseDecimal("-"), 0);
    EXPECT_EQ(parseDecimal("+-3"), 0);
    EXPECT_EQ(parseDecimal("--3"), 0);
    EXPECT_EQ(parseDecimal("- 3"), 0);
}

TEST(ParseDecimal, WithoutDigitsGivesZero) {
    EXPECT_EQ(parseDecimal("abc"), 0);
    EXPECT_EQ(parseDecimal(""), 0);
    EXPECT_EQ(parseDecimal("   "), 0);
}

TEST(ParseDecimal, SkipsEveryKindOfLeadingWhiteSpace) {
    EXPECT_EQ(parseDecimal(" \t\n\v\f\r42"), 42);
    EXPECT_EQ(parseDecimal("\t-8"), -8);
    // White space after the sign ends the number.
    EXPECT_EQ(parseDecimal("+ 8"), 0);
}

TEST(ParseDecimal, ReachesBothBoundsExactly) {
    EXPECT_EQ(parseDecimal("2147483647"), INT_MAX);
    EXPECT_EQ(parseDecimal("-2147483648"), INT_MIN);
    EXPECT_EQ(parseDecimal("2147483646"), INT_MAX - 1);
    EXPECT_EQ(parseDecimal("-2147483647"), INT_MIN + 1);
}

TEST(ParseDecimal, SaturatesBeyondThirtyTwoBits) {
    EXPECT_EQ(parseDecimal("2147483648"), INT_MAX);
    EXPECT_EQ(parseDecimal("-2147483649"), INT_MIN);
    EXPECT_EQ(parseDecimal("99999999999999999999999999999"), INT_MAX);
    EXPECT_EQ(parseDecimal("-99999999999999999999999999999x"), INT_MIN);
    EXPECT_EQ(parseDecimal("4294967296"), INT_MAX);  // 2^32 must not wrap to 0
}

TEST(TruncateProperty, DropsTheFractionTowardZero) {
    EXPECT_EQ(truncateProperty(29.97), 29);
    EXPECT_EQ(truncateProperty(25.0), 25);
    EXPECT_EQ(truncateProperty(0.999), 0);
    EXPECT_EQ(truncateProperty(-0.5), 0);
    EXPECT_EQ(truncateProperty(-29.97), -29);
}

TEST(TruncateProperty, KeepsTheIntRangeAndZeroesTheRest) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(truncateProperty(std::nan("")), 0);
    EXPECT_EQ(truncateProperty(inf), 0);
    EXPECT_EQ(truncateProperty(-inf), 0);
    EXPECT_EQ(truncateProperty(2147483648.0), 0);  // 2^31
    EXPECT_EQ(truncateProperty(1e300), 0);
    EXPECT_EQ(truncateProperty(-2147483648.0), INT_MIN);  // -2^31 fits
    EXPECT_EQ(truncateProperty(-2147483648.5), INT_MIN);  // truncates into the range
    EXPECT_EQ(truncateProperty(-2147483649.0), 0);
    EXPECT_EQ(truncateProperty(2147483647.9), INT_MAX);
}

// Catches a slow input recorded at a rate of 0 (no recording at all), and any change to the
// whole-number rate of every other input.
TEST(RecordingRate, IsTheWholeRateOrBelowOneFpsTheInputsOwn) {
    EXPECT_EQ(shapemark::recordingRate(29.97), 29.0);
    EXPECT_EQ(shapemark::recordingRate(1.5), 1.0);
    EXPECT_EQ(shapemark::recordingRate(0.5), 0.5);
    EXPECT_EQ(shapemark::recordingRate(0.0), 0.0);
    EXPECT_EQ(shapemark::recordingRate(-0.5), 0.0);
    EXPECT_EQ(shapemark::recordingRate(std::nan("")), 0.0);
}

TEST(PacingWaitMs, IsOneFramePeriodInWholeMilliseconds) {
    EXPECT_EQ(pacingWaitMs(1), 1000);
    EXPECT_EQ(pacingWaitMs(25), 40);
    EXPECT_EQ(pacingWaitMs(29), 34);
    EXPECT_EQ(pacingWaitMs(30), 33);
    EXPECT_EQ(pacingWaitMs(1000), 1);
}

TEST(PacingWaitMs, NeverWaitsForEver) {
    EXPECT_EQ(pacingWaitMs(0), 40);
    EXPECT_EQ(pacingWaitMs(-1), 40);
    EXPECT_EQ(pacingWaitMs(INT_MIN), 40);
    EXPECT_EQ(pacingWaitMs(1001), 1);
    EXPECT_EQ(pacingWaitMs(INT_MAX), 1);
}

// Frames marked ahead come back in the order they went in, each as marking it at once gives;
// a frame whose marking fails is rethrown at its turn and the frames after it are dropped, so
// that no output skips a frame.
TEST(DetectAhead, GivesFramesBackInOrderAndStopsAtAFailure) {
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 9; ++i) {
        cv::Mat frame(240, 320, CV_8UC3, cv::Scalar(200, 200, 200));
        cv::rectangle(frame, cv::Rect(20 + 25 * i, 40, 60, 60 + 5 * i), cv::Scalar(30, 30, 30),
                      cv::FILLED);
        frames.push_back(frame);
    }
    // Several threads, so that the order is at stake.
    shapemark::DetectAhead ahead(shapemark::Detector({shapemark::DetectorKind::Classic, 100}), 4);
    for (int i = 0; i < 10; ++i) {
        shapemark::ProcessedFrame copy;
        copy.frameCount = i + 1;
        // The seventh cannot be marked: the detector refuses a grey image.
        copy.img = i == 6 ? cv::Mat(240, 320, CV_8UC1, cv::Scalar(0)) : frames[i % 9].clone();
        ahead.submit(std::move(copy));
    }
    std::vector<shapemark::ProcessedFrame> back;
    for (int i = 0; i < 6; ++i) {
        back.push_back(ahead.takeFront());
    }
    EXPECT_THROW(ahead.takeFront(), std::invalid_argument);
    EXPECT_TRUE(ahead.empty());
    ASSERT_EQ(back.size(), 6U);
    for (std::size_t i = 0; i < back.size(); ++i) {
        shapemark::ProcessedFrame serial;
        serial.img = frames[i].clone();
        shapemark::markFrame(serial, shapemark::Detector({shapemark::DetectorKind::Classic, 100}));
        EXPECT_EQ(back[i].frameCount, static_cast<long long>(i) + 1);
        ASSERT_EQ(back[i].shapes.size(), 1U) << i;
        EXPECT_EQ(back[i].shapes[0].polygon, serial.shapes[0].polygon) << i;
        EXPECT_EQ(cv::norm(back[i].img, serial.img, cv::NORM_INF), 0.0) << i;
    }
}

}  // namespace
