// The first frames of a video, decoded once, for benchmarks that time work on frames alone.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <string>
#include <vector>

namespace shapemark::bench {

inline std::vector<cv::Mat> firstFrames(const std::string& path, int count) {
    cv::VideoCapture capture(path);
    std::vector<cv::Mat> frames;
    cv::Mat frame;
    while (static_cast<int>(frames.size()) < count && capture.read(frame)) {
        frames.push_back(frame.clone());
    }
    return frames;
}

}  // namespace shapemark::bench
