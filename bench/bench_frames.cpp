#include "bench_frames.hpp"

#include <spawn.h>
#include <sys/wait.h>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "detector/detector.hpp"
#include "scene_geometry.hpp"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX declares it nowhere

namespace shapemark::bench {

namespace {
constexpr int kFramesPerSet = 6;
constexpr int kFootageFrames = 30;      // a second of the street scene: people walk through it
constexpr int kSampleVideoFrames = 24;  // long enough for the decode benchmark to loop rarely
constexpr int kCell = 110;
constexpr int kAreaSize = 100;

using scene::Lcg;

void runMakeTestVideo(const std::string& path, cv::Size size) {
    const std::string frames = std::to_string(kSampleVideoFrames);
    const std::string geometry = std::to_string(size.width) + "x" + std::to_string(size.height);
    std::vector<std::string> words = {SHAPEMARK_MAKE_TEST_VIDEO,
                                      path,
                                      "--frames",
                                      frames,
                                      "--fps",
                                      "25",
                                      "--size",
                                      geometry,
                                      "--scene",
                                      "sample"};
    std::vector<char*> argv(words.size() + 1, nullptr);  // ends with the null pointer
    std::transform(words.begin(), words.end(), argv.begin(),
                   [](std::string& word) { return word.data(); });
    pid_t child = 0;
    int status = 0;
    if (::posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0 ||
        ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("make_test_video failed for " + path);
    }
}

std::vector<cv::Mat> decodeFrames(const std::string& path, int count) {
    cv::VideoCapture capture(path);
    std::vector<cv::Mat> frames;
    cv::Mat frame;
    while (static_cast<int>(frames.size()) < count && capture.read(frame)) {
        frames.push_back(frame.clone());
    }
    if (frames.empty()) {
        throw std::runtime_error("no frame decoded from " + path);
    }
    return frames;
}

void prepare(FrameSet& set) {
    std::size_t contours = 0;
    for (const cv::Mat& frame : set.frames) {
        cv::Mat img;
        cv::Mat grey;
        cv::Mat binary;
        Storage storage;
        cloneFrame(frame, img);
        binariseFrame(img, grey, binary);
        set.binary.push_back(binary.clone());
        scanContours(binary, DetectorParams{DetectorKind::Classic, kAreaSize}, storage);
        for (const Mark& mark : storage.marked) {
            drawPolygonOutline(img, storage.polygons[mark.polygon]);
        }
        contours += storage.contours.size();
        set.marked.push_back(img);
    }
    set.contoursPerFrame = static_cast<double>(contours) / static_cast<double>(set.frames.size());
}
}  // namespace

std::string footageVideo() {
    const char* chosen = std::getenv("SHAPEMARK_BENCH_FOOTAGE");
    return chosen != nullptr && *chosen != '\0' ? chosen : kFootageVideo;
}

const char* sourceName(Source source) {
    switch (source) {
        case Source::Synthetic:
            return "synthetic";
        case Source::Decoded:
            return "decoded";
        case Source::Footage:
            return "footage";
    }
    return "";
}

cv::Mat syntheticFrame(cv::Size size, int index) {
    // Light falls off from left to right, so the threshold has to follow a gradient.
    cv::Mat row(1, size.width, CV_8UC3);
    for (int x = 0; x < size.width; ++x) {
        const auto v = static_cast<uchar>(215 - 70 * x / size.width);
        row.at<cv::Vec3b>(0, x) = cv::Vec3b(v, v, static_cast<uchar>(v - 10));
    }
    cv::Mat frame;
    cv::repeat(row, size.height, 1, frame);
    Lcg shapes{7U};
    for (int top = 0; top + kCell <= size.height; top += kCell) {
        for (int left = 0; left + kCell <= size.width; left += kCell) {
            const int vertices = 3 + shapes.below(10);  // 3 to 12: some pass, some are too round
            const double radius = 14.0 + shapes.below(31);
            const double drift = 1.5 * index;
            const cv::Point2d centre(left + kCell / 2.0 + drift, top + kCell / 2.0 + 0.5 * drift);
            const cv::Scalar colour(40 + shapes.below(60), 50 + shapes.below(40), 90);
            const int kind = shapes.below(8);
            if (kind == 0) {
                cv::circle(frame, centre, static_cast<int>(radius), colour, 8);  // a ring
            } else {
                const double turn = 0.05 * index + 0.1 * shapes.below(30);
                cv::fillConvexPoly(frame, scene::regularPolygon(centre, radius, vertices, turn),
                                   colour);
            }
        }
    }
    // Mild noise: one pixel in sixty-four nudged by up to 12 grey levels.
    auto noise = Lcg{static_cast<std::uint32_t>(1000 + index)};
    for (int i = 0; i < size.area() / 64; ++i) {
        auto& px = frame.at<cv::Vec3b>(noise.below(size.height), noise.below(size.width));
        const int delta = noise.below(25) - 12;
        for (int c = 0; c < 3; ++c) {
            px[c] = cv::saturate_cast<uchar>(px[c] + delta);
        }
    }
    return frame;
}

const std::string& FrameBank::sampleVideo(cv::Size size) {
    const auto key = std::make_pair(size.width, size.height);
    auto found = videos_.find(key);
    if (found == videos_.end()) {
        const std::string path = folder_ + "/sample_" + std::to_string(size.width) + "x" +
                                 std::to_string(size.height) + ".avi";
        runMakeTestVideo(path, size);
        found = videos_.emplace(key, path).first;
    }
    return found->second;
}

const FrameSet& FrameBank::footage() {
    const auto key = std::make_tuple(0, 0, Source::Footage);
    auto found = sets_.find(key);
    if (found == sets_.end()) {
        FrameSet set;
        set.frames = decodeFrames(footageVideo(), kFootageFrames);
        prepare(set);
        found = sets_.emplace(key, std::move(set)).first;
    }
    return found->second;
}

const FrameSet& FrameBank::get(cv::Size size, Source source) {
    if (source == Source::Footage) {
        return footage();
    }
    const auto key = std::make_tuple(size.width, size.height, source);
    auto found = sets_.find(key);
    if (found != sets_.end()) {
        return found->second;
    }
    FrameSet set;
    if (source == Source::Synthetic) {
        for (int i = 0; i < kFramesPerSet; ++i) {
            set.frames.push_back(syntheticFrame(size, i));
        }
    } else {
        set.frames = decodeFrames(sampleVideo(size), kFramesPerSet);
    }
    prepare(set);
    return sets_.emplace(key, std::move(set)).first->second;
}

}  // namespace shapemark::bench
