// The snapshot's PNG writer: the cheapest of three PNG filters for the image, chosen from a
// sample of its rows, then one fast deflate stream in one IDAT chunk.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

namespace shapemark::png {

// Replaces `png` with the PNG of `img`: 8 bits per sample, gray, BGR or BGRA in the library's
// order, any size a PNG holds. False, with `png` unspecified, for any other image or when the
// compressor fails.
bool encodePng(const cv::Mat& img, std::vector<std::uint8_t>& png);

}  // namespace shapemark::png
