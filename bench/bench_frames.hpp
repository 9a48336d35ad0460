// Input frames for the stage benchmarks: synthetic shape boards and frames decoded from a
// generated sample video. Each set holds a few consecutive frames, so that the video encoder
// sees motion between frames, as it does in a real run.
#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace shapemark::bench {

// Footage: real camera frames, decoded from a video of their own size (see kFootageVideo).
enum class Source { Synthetic, Decoded, Footage };

// Real camera footage: by default Debian's opencv-doc street scene (768x576, sensor noise);
// SHAPEMARK_BENCH_FOOTAGE names another video, such as a camera-like 1920x1080 ground-truth
// scene, whose decoding, video write and snapshot cost far more than the sample scenes'.
inline const char* const kFootageVideo = "/usr/share/doc/opencv-doc/examples/data/vtest.avi";
std::string footageVideo();

const char* sourceName(Source source);

// Consecutive frames of one size and source, with each one's binary image and marked copy
// prepared, so that every stage can be timed alone on the input it gets in a run.
struct FrameSet {
    std::vector<cv::Mat> frames;  // as captured
    std::vector<cv::Mat> binary;  // Iat after binarisation
    std::vector<cv::Mat> marked;  // img after the contour scan and its outlines
    double contoursPerFrame = 0.0;
};

// Frames are made on first use, so a filtered run pays only for the sizes it times.
class FrameBank {
  public:
    explicit FrameBank(std::string folder) : folder_(std::move(folder)) {}

    const FrameSet& get(cv::Size size, Source source);
    // The footage's frames, at its own size; throws when the video is missing.
    const FrameSet& footage();
    // The generated sample video of this size (written on first use).
    const std::string& sampleVideo(cv::Size size);

  private:
    std::string folder_;
    std::map<std::tuple<int, int, Source>, FrameSet> sets_;
    std::map<std::pair<int, int>, std::string> videos_;
};

// A board of convex and non-convex shapes, one per 110-pixel cell, under uneven lighting and
// mild noise; `index` moves the shapes a little and changes the noise.
cv::Mat syntheticFrame(cv::Size size, int index);

}  // namespace shapemark::bench
