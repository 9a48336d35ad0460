// Writes deterministic test videos: the bundled sample scene, numbered frames whose index can
// be read back after lossy coding, or plain grey frames.
//
//   make_test_video OUT [--frames N] [--fps F] [--size WxH] [--codec FOURCC] [--scene NAME]
//
// Scenes: sample (moving convex polygons of 3 to 12 vertices, a concave shape, a ring, mild
// noise), numbered (the frame index as 12 black or white blocks on grey), plain (even grey).
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scene_geometry.hpp"

namespace {

struct Options {
    std::string path;
    int frames = 250;
    double fps = 25.0;
    cv::Size size{640, 480};
    std::string codec = "MJPG";
    std::string scene = "sample";
};

constexpr int kIndexBits = 12;

void drawSample(cv::Mat& frame, int index, scene::Lcg& noise) {
    frame.setTo(cv::Scalar(200, 200, 200));
    const double t = index / 25.0;
    const cv::Size s = frame.size();
    // Ten convex polygons, 3 to 12 vertices, each on its own slow orbit.
    for (int n = 3; n <= 12; ++n) {
        const int slot = n - 3;
        const int row = slot / 5;  // two rows of five
        const double cx = s.width * (0.12 + 0.19 * (slot % 5)) + 18.0 * std::sin(t + slot);
        const double cy = s.height * (0.28 + 0.42 * row) + 14.0 * std::cos(0.7 * t + slot);
        const cv::Scalar colour(40 + 9 * slot, 60, 110 - 7 * slot);
        cv::fillConvexPoly(frame, scene::regularPolygon({cx, cy}, 26.0 + slot, n, 0.3 * t), colour,
                           cv::LINE_8);
    }
    // A concave L and a ring, drifting across the lower band.
    // The L drifts across the frame; at a width of 160 it has no room to drift (and fmod by
    // zero would be NaN).
    const double travel = s.width - 160.0;
    const int x = static_cast<int>(40 + (travel != 0.0 ? std::fmod(24.0 * t, travel) : 0.0));
    const std::vector<cv::Point> ell = {{x, s.height - 110},     {x + 30, s.height - 110},
                                        {x + 30, s.height - 60}, {x + 70, s.height - 60},
                                        {x + 70, s.height - 30}, {x, s.height - 30}};
    cv::fillPoly(frame, std::vector<std::vector<cv::Point>>{ell}, cv::Scalar(50, 50, 50));
    cv::circle(frame, {s.width - x - 40, s.height - 70}, 32, cv::Scalar(60, 40, 40), 12);
    // Mild noise: one pixel in sixty-four nudged by up to 12 grey levels.
    for (int i = 0; i < s.area() / 64; ++i) {
        const std::uint32_t r = noise.next();
        auto& px = frame.at<cv::Vec3b>(static_cast<int>(r % s.height),
                                       static_cast<int>((r / s.height) % s.width));
        const auto delta = static_cast<int>(noise.next() % 25) - 12;
        for (int c = 0; c < 3; ++c) {
            px[c] = cv::saturate_cast<uchar>(px[c] + delta);
        }
    }
}

void drawNumbered(cv::Mat& frame, int index) {
    frame.setTo(cv::Scalar(128, 128, 128));
    const int block = std::max(2, std::min(frame.cols / (kIndexBits + 1), frame.rows / 2) / 2 * 2);
    for (int bit = 0; bit < kIndexBits; ++bit) {
        const uchar v = ((index >> bit) & 1) != 0 ? 255 : 0;
        const cv::Rect r(bit * frame.cols / kIndexBits, 0, block, block);
        frame(r & cv::Rect(0, 0, frame.cols, frame.rows)).setTo(cv::Scalar(v, v, v));
    }
}

// Whole-word numbers only: a typo in a test's arguments must fail loudly.
bool toInt(const std::string& word, int& value) {
    char* end = nullptr;
    const long parsed = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0' || parsed < INT_MIN || parsed > INT_MAX) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

bool toDouble(const std::string& word, double& value) {
    char* end = nullptr;
    value = std::strtod(word.c_str(), &end);
    return !word.empty() && *end == '\0';
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--frames" && hasValue) {
            if (!toInt(argv[++i], o.frames)) {
                return false;
            }
        } else if (a == "--fps" && hasValue) {
            if (!toDouble(argv[++i], o.fps)) {
                return false;
            }
        } else if (a == "--size" && hasValue) {
            const std::string size = argv[++i];
            const std::size_t x = size.find('x');
            if (x == std::string::npos || !toInt(size.substr(0, x), o.size.width) ||
                !toInt(size.substr(x + 1), o.size.height)) {
                return false;
            }
        } else if (a == "--codec" && hasValue) {
            o.codec = argv[++i];
        } else if (a == "--scene" && hasValue) {
            o.scene = argv[++i];
        } else if (o.path.empty() && a.rfind("--", 0) != 0) {
            o.path = a;
        } else {
            return false;
        }
    }
    return !o.path.empty() && o.codec.size() == 4 && o.frames >= 0 && o.size.area() > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: make_test_video OUT [--frames N] [--fps F] [--size WxH] "
                     "[--codec FOURCC] [--scene sample|numbered|plain]\n");
        return 2;
    }
    cv::VideoWriter writer(o.path, cv::CAP_FFMPEG,
                           cv::VideoWriter::fourcc(o.codec[0], o.codec[1], o.codec[2], o.codec[3]),
                           o.fps, o.size, true);
    if (!writer.isOpened()) {
        std::fprintf(stderr, "make_test_video: cannot write %s\n", o.path.c_str());
        return 1;
    }
    cv::Mat frame(o.size, CV_8UC3);
    scene::Lcg noise{12345U};
    for (int i = 0; i < o.frames; ++i) {
        if (o.scene == "sample") {
            drawSample(frame, i, noise);
        } else if (o.scene == "numbered") {
            drawNumbered(frame, i + 1);
        } else {
            frame.setTo(cv::Scalar(128, 128, 128));
        }
        writer.write(frame);
    }
    writer.release();
    return 0;
}
