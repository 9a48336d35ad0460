// The feed of a source that may drop: every frame keeps its place, whatever is dropped.
#include <gtest/gtest.h>

#include <opencv2/videoio.hpp>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>

#include "input/frame_feed.hpp"

namespace {

constexpr int kFrames = 40;
constexpr int kStep = 6;  // grey level per frame, far above what JPEG loses

long long threads() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return std::distance(tasks, std::filesystem::directory_iterator());
}

// Catches dropped frames that renumber the frames after them, a queue that keeps more than its
// bound, and counts that lose the dropped frames (the run's counter would then stop short).
TEST(FrameFeed, KeepsEachFrameInItsPlaceWhenTheOldestAreDropped) {
    const std::string path = ::testing::TempDir() + "feed_frames.avi";
    {
        cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25,
                               cv::Size(64, 48));
        for (int i = 1; i <= kFrames; ++i) {
            writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(i * kStep)));
        }
    }
    auto source = shapemark::FrameSource::open(path);
    const long long before = threads();
    shapemark::FrameFeed feed(*source, true);
    const long long started = threads();  // a sanitizer may start a thread of its own too
    // The reader thread reads the whole file and ends before anything is taken: the run is as
    // far behind as it can be. Polled, bounded.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (threads() > before && threads() >= started && std::chrono::steady_clock::now() < limit) {
        std::this_thread::yield();
    }
    long long position = 0;
    long long images = 0;
    for (;;) {
        const shapemark::FrameRead got = feed.read();
        ++position;
        if (got.kind == shapemark::FrameRead::Kind::End) {
            break;
        }
        if (got.kind == shapemark::FrameRead::Kind::Frame) {
            ++images;
            EXPECT_NEAR(cv::mean(got.frame)[0], static_cast<double>(position * kStep), 2.0);
        }
    }
    EXPECT_EQ(position, kFrames + 1);
    EXPECT_EQ(images, shapemark::FrameFeed::kWaitingFrames);
    EXPECT_EQ(feed.frames(), kFrames);
    EXPECT_EQ(feed.dropped(), kFrames - shapemark::FrameFeed::kWaitingFrames);
    std::filesystem::remove(path);
}

}  // namespace
