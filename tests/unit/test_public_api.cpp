// The public API as a program sees it: what a shape's centre is, and which images are refused.
#include <gtest/gtest.h>

#include <unistd.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <shapemark/frames.hpp>
#include <shapemark/shapemark.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// A dark right trapezoid on a light ground. Its area's centroid is (67.04, 58.52), about 6
// pixels from its corners' mean (62.5, 65): a centre taken as the vertices' mean fails here.
TEST(PublicApi, CentreIsTheCentroidOfTheArea) {
    cv::Mat img(240, 320, CV_8UC3, cv::Scalar(200, 200, 200));
    const std::vector<cv::Point> corners = {{40, 40}, {120, 40}, {50, 90}, {40, 90}};
    cv::fillConvexPoly(img, corners, cv::Scalar(40, 60, 110), cv::LINE_8);
    const std::vector<shapemark::Shape> shapes = shapemark::detect(img, 100);
    ASSERT_EQ(shapes.size(), 1U);
    EXPECT_NEAR(shapes[0].centre.x, 67.04, 0.75);
    EXPECT_NEAR(shapes[0].centre.y, 58.52, 0.75);
}

void expectRefused(const cv::Mat& img, const std::string& got) {
    cv::Mat copy = img.clone();
    for (const bool drawing : {false, true}) {
        try {
            if (drawing) {
                shapemark::draw(copy, {});
            } else {
                shapemark::detect(img, 100);
            }
            ADD_FAILURE() << "accepted " << got;
        } catch (const std::invalid_argument& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("8-bit 3-channel"), std::string::npos) << message;
            EXPECT_NE(message.find(got), std::string::npos) << message;
        }
    }
}

TEST(PublicApi, OtherImagesThanColourAreRefusedByName) {
    expectRefused(cv::Mat(), "empty");
    expectRefused(cv::Mat(40, 40, CV_8UC1, cv::Scalar(0)), "CV_8UC1");
    expectRefused(cv::Mat(40, 40, CV_8UC4, cv::Scalar(0)), "CV_8UC4");
    expectRefused(cv::Mat(40, 40, CV_32FC3, cv::Scalar(0)), "CV_32FC3");
}

bool sameShapes(const std::vector<shapemark::Shape>& a, const std::vector<shapemark::Shape>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
               return x.polygon == y.polygon && x.area == y.area && x.centre == y.centre;
           });
}

// Catches state shared between calls (under the thread sanitizer, as a race).
TEST(PublicApi, ThreadsDetectingAtOnceGetTheSerialResults) {
    std::vector<cv::Mat> images;
    for (int k = 0; k < 4; ++k) {
        cv::Mat img(240, 320, CV_8UC3, cv::Scalar(200, 200, 200));
        cv::rectangle(img, cv::Rect(30 + 10 * k, 40, 60, 50), cv::Scalar(40, 60, 110), cv::FILLED);
        cv::circle(img, {220, 150 - 10 * k}, 30, cv::Scalar(60, 40, 40), cv::FILLED);
        images.push_back(img);
    }
    std::vector<std::vector<shapemark::Shape>> serial;
    for (const cv::Mat& img : images) {
        serial.push_back(shapemark::detect(img, 100));
        ASSERT_FALSE(serial.back().empty());
    }
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < mismatches.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 10; ++round) {
                for (std::size_t k = 0; k < images.size(); ++k) {
                    mismatches[t] +=
                        sameShapes(shapemark::detect(images[k], 100), serial[k]) ? 0 : 1;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

// Catches a selection rule unlike the tool's (a negative rate refused, or taken as 1), a skip
// rate of 0 accepted, and an unopened input that does not say why.
TEST(PublicApi, FramesChooseAsTheToolDoesAndSayWhyAnInputDoesNotOpen) {
    const std::string video = ::testing::TempDir() + "frames-" + std::to_string(getpid()) + ".avi";
    {
        cv::VideoWriter writer(video, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25,
                               cv::Size(64, 48));
        for (int i = 0; i < 10; ++i) {
            writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(i * 20, 0, 0)));
        }
    }
    shapemark::Frames frames(video, 100, -3);
    std::vector<long long> numbers;
    while (const std::optional<shapemark::Frame> frame = frames.next()) {
        numbers.push_back(frame->number);
    }
    EXPECT_EQ(numbers, (std::vector<long long>{3, 6, 9}));
    EXPECT_EQ(frames.size(), cv::Size(64, 48));
    EXPECT_EQ(frames.frameCount(), 10);
    EXPECT_THROW(shapemark::Frames(video, 100, 0), std::invalid_argument);
    std::remove(video.c_str());
    try {
        shapemark::Frames missing(video, 100);
        ADD_FAILURE() << "a missing input opened";
    } catch (const shapemark::OpenError& error) {
        EXPECT_EQ(error.errorNumber(), ENOENT);
        EXPECT_EQ(std::string(error.what()), "cannot open '" + video + "': no such file");
    }
}

}  // namespace
