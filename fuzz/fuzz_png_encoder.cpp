// Fuzzes the snapshot's PNG encoder: images of random sizes and contents must decode back, in
// the library's own PNG reader, to exactly the same pixels.
//   bytes 0-1: width - 1 (little-endian, mod 1024)     byte 2: height - 1
//   byte 3: bits 0-1 pick 1, 3 or 4 channels; bit 2 tiles the pixel bytes over the whole
//           image (flat and repeating images, where the encoder turns to igzip's short
//           window or to runs), otherwise the pixels come once, row by row, and missing ones
//           are black
//   the rest: the pixel bytes
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "png/png_encoder.hpp"

namespace {

constexpr std::size_t kHeaderBytes = 4;
constexpr int kMaxWidth = 1024;
constexpr int kChannels[4] = {1, 3, 4, 3};

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

cv::Mat makeImage(const std::uint8_t* data, std::size_t size) {
    const int width = 1 + (data[0] | data[1] << 8) % kMaxWidth;
    const int height = 1 + data[2];
    const int channels = kChannels[data[3] & 3U];
    const bool tiled = (data[3] & 4U) != 0;
    const std::uint8_t* pixels = data + kHeaderBytes;
    const std::size_t count = size - kHeaderBytes;
    cv::Mat image(height, width, CV_MAKETYPE(CV_8U, channels), cv::Scalar::all(0));
    const std::size_t total = image.total() * image.elemSize();
    std::uint8_t* out = image.ptr<std::uint8_t>();  // a new Mat is continuous
    for (std::size_t i = 0; i < total && count > 0; ++i) {
        if (tiled) {
            out[i] = pixels[i % count];
        } else if (i < count) {
            out[i] = pixels[i];
        }
    }
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes) {
        return 0;
    }
    const cv::Mat image = makeImage(data, size);
    std::vector<std::uint8_t> png;
    require(shapemark::png::encodePng(image, png));
    const cv::Mat decoded = cv::imdecode(png, cv::IMREAD_UNCHANGED);
    require(decoded.size() == image.size() && decoded.type() == image.type());
    require(cv::norm(decoded, image, cv::NORM_INF) == 0.0);
    return 0;
}
