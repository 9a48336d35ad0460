#include "detector/linear_downscale.hpp"

#include <opencv2/imgproc.hpp>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "detector/wide_rows.hpp"

namespace shapemark::robust {
namespace {

// At two thirds each output pixel lies a quarter of the way from one source pixel to the next,
// in both directions: the library weighs them 1536 and 512 (of 2048) across, then, with its
// vector loop down the rows, shifts each row's sum right by 4, takes the high 16 bits of its
// product with the weight, adds the two and rounds off 2 bits. With 4 times a row's sum as
// 3 near + far, that is (3 near / 4 + far / 4 + 2) / 4, each division truncated.
constexpr int kChannels = 3;
constexpr int kPairValues = 2 * kChannels;
constexpr int kTripleBytes = 3 * kChannels;

// 3 near + far per value of a source row, each pair of output pixels from three source pixels.
void thirds(const std::uint8_t* src, std::uint16_t* out, int count, bool wide) {
    int x = wide ? avx2::thirdsRow(src, out, count) : 0;
    // Three source pixels of kChannels bytes for each two output pixels.
    for (src += static_cast<std::ptrdiff_t>(x / 2) * 3; x < count;
         x += kPairValues, src += kTripleBytes) {
        for (int c = 0; c < kChannels; ++c) {
            const int middle = src[kChannels + c];
            out[x + c] = static_cast<std::uint16_t>(3 * src[c] + middle);
            out[x + kChannels + c] =
                static_cast<std::uint16_t>(3 * src[2 * kChannels + c] + middle);
        }
    }
}

void blend(const std::uint16_t* near, const std::uint16_t* far, std::uint8_t* out, int count,
           bool wide) {
    for (int x = wide ? avx2::blendThirds(near, far, out, count) : 0; x < count; ++x) {
        out[x] = static_cast<std::uint8_t>((3 * near[x] / 4 + far[x] / 4 + 2) / 4);
    }
}

// Whether `scale` takes `bgr` to two thirds, where the weights are a quarter and three quarters,
// and the library's vector loop makes every byte of a row (its scalar end rounds otherwise).
bool thirdsApply(const cv::Mat& bgr, double scale) {
    constexpr int kWholeRow = 16;  // output pixels
    return bgr.type() == CV_8UC3 && scale == 2.0 / 3.0 && bgr.cols % 3 == 0 && bgr.rows % 3 == 0 &&
           bgr.rows > 0 && bgr.cols / 3 * 2 % kWholeRow == 0;
}

}  // namespace

cv::Mat linearDownscale(const cv::Mat& bgr, double scale) {
    cv::Mat out;
    if (!thirdsApply(bgr, scale)) {
        cv::resize(bgr, out, cv::Size(), scale, scale, cv::INTER_LINEAR);
        return out;
    }
    out.create(bgr.rows / 3 * 2, bgr.cols / 3 * 2, CV_8UC3);
    const int count = out.cols * kChannels;
    // Source rows 3k, 3k + 1, 3k + 2 make output rows 2k (nearest 3k) and 2k + 1 (nearest
    // 3k + 2); both lie a quarter of the way to 3k + 1.
    std::vector<std::uint16_t> rows(static_cast<std::size_t>(3 * count));
    std::uint16_t* const top = rows.data();
    std::uint16_t* const middle = top + count;
    std::uint16_t* const bottom = middle + count;
    const bool wide = wideRows();
    for (int k = 0; 3 * k < bgr.rows; ++k) {
        thirds(bgr.ptr<std::uint8_t>(3 * k), top, count, wide);
        thirds(bgr.ptr<std::uint8_t>(3 * k + 1), middle, count, wide);
        thirds(bgr.ptr<std::uint8_t>(3 * k + 2), bottom, count, wide);
        blend(top, middle, out.ptr<std::uint8_t>(2 * k), count, wide);
        blend(bottom, middle, out.ptr<std::uint8_t>(2 * k + 1), count, wide);
    }
    return out;
}

}  // namespace shapemark::robust
