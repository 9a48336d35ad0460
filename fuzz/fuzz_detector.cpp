// Fuzzes the detector and the drawing on small images made from the bytes:
//   byte 0: width - 1 (mod 64)      byte 1: height - 1 (mod 64)
//   byte 2: bit 0 picks colour (3 bytes a pixel) or binary (1 bit a pixel, black or white)
//   bytes 3-6: areaSize, a little-endian 32-bit signed integer
//   the rest: the pixels, row by row; missing ones are black.
// Checks that the captured frame is never written and that the marked copy differs from it
// only by pure green outline pixels.
#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <shapemark/shapemark.hpp>

#include "detector/detector.hpp"

namespace {

constexpr std::size_t kHeaderBytes = 7;
constexpr int kMaxSide = 64;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

cv::Mat makeFrame(const std::uint8_t* data, std::size_t size) {
    const int width = 1 + data[0] % kMaxSide;
    const int height = 1 + data[1] % kMaxSide;
    const bool colour = (data[2] & 1U) != 0;
    const std::uint8_t* pixels = data + kHeaderBytes;
    const std::size_t count = size - kHeaderBytes;
    cv::Mat frame(height, width, CV_8UC3, cv::Scalar::all(0));
    std::size_t next = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, ++next) {
            auto& px = frame.at<cv::Vec3b>(y, x);
            if (colour) {
                for (int c = 0; c < 3; ++c) {
                    const std::size_t at = next * 3 + static_cast<std::size_t>(c);
                    px[c] = at < count ? pixels[at] : 0;
                }
            } else {
                const std::size_t at = next / 8;
                const bool white = at < count && ((pixels[at] >> (next % 8)) & 1U) != 0;
                px = white ? cv::Vec3b(255, 255, 255) : cv::Vec3b(0, 0, 0);
            }
        }
    }
    return frame;
}

int readAreaSize(const std::uint8_t* data) {
    const auto bits =
        static_cast<std::uint32_t>(data[3]) | static_cast<std::uint32_t>(data[4]) << 8U |
        static_cast<std::uint32_t>(data[5]) << 16U | static_cast<std::uint32_t>(data[6]) << 24U;
    return static_cast<std::int32_t>(bits);
}

// Pixels where the marked copy differs from the frame must be exactly the outline's green.
bool onlyGreenChanged(const cv::Mat& frame, const cv::Mat& img) {
    const cv::Vec3b green(0, 255, 0);
    for (int y = 0; y < frame.rows; ++y) {
        for (int x = 0; x < frame.cols; ++x) {
            const auto& after = img.at<cv::Vec3b>(y, x);
            if (after != frame.at<cv::Vec3b>(y, x) && after != green) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes) {
        return 0;
    }
    const cv::Mat frame = makeFrame(data, size);
    const cv::Mat original = frame.clone();
    const int areaSize = readAreaSize(data);

    cv::Mat imgGrayScale;
    cv::Mat Iat;
    shapemark::binariseFrame(frame, imgGrayScale, Iat);
    require(imgGrayScale.size() == frame.size() && imgGrayScale.type() == CV_8UC1);
    require(Iat.size() == frame.size() && Iat.type() == CV_8UC1);
    require(cv::countNonZero(Iat == 0) + cv::countNonZero(Iat == 255) == Iat.rows * Iat.cols);
    shapemark::Storage storage;
    shapemark::DetectorParams params;
    params.minArea = areaSize;
    shapemark::scanContours(Iat, params, storage);
    require(storage.polygons.size() == storage.contours.size());

    const std::vector<shapemark::Shape> shapes = shapemark::detect(frame, areaSize);
    require(shapes.size() == storage.marked.size());
    cv::Mat img;
    shapemark::cloneFrame(frame, img);
    require(img.data != frame.data && img.size() == frame.size() && img.type() == CV_8UC3);
    shapemark::draw(img, shapes);

    require(cv::norm(frame, original, cv::NORM_INF) == 0.0);
    require(onlyGreenChanged(frame, img));
    // A contour's area is below the image's, so an areaSize that large marks nothing.
    if (static_cast<long long>(areaSize) >= static_cast<long long>(frame.rows) * frame.cols) {
        require(shapes.empty() && cv::norm(frame, img, cv::NORM_INF) == 0.0);
    }
    return 0;
}
