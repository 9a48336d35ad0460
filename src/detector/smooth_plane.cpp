#include "detector/smooth_plane.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "detector/robust_tuning.hpp"
#include "detector/wide_rows.hpp"

namespace shapemark::robust {
namespace {

// The library smooths an 8-bit plane in fixed point, exactly: across each row with taps of 8
// fractional bits summing to 256 (16-bit sums), then down the columns (32-bit sums) rounded
// off 16 bits, its borders mirrored without repeating the edge (BORDER_REFLECT_101).
constexpr int kUnit = 256;  // the taps' sum
constexpr int kLevel = 255;

int mirrored(int i, int size) {
    return i < 0 ? -i : (i >= size ? 2 * (size - 1) - i : i);
}

// The library's taps, read back from its smoothing of a bright row across a dark plane: each
// row off the bright one holds its tap times 255, rounded, which is the tap where it is below
// 128 (every tap but the centre's); the centre takes the rest of 256. Empty if the read taps
// are not symmetric.
std::vector<std::uint16_t> libraryTaps(double sigma, int radius) {
    cv::Mat line = cv::Mat::zeros(4 * radius + 3, 2 * radius + 3, CV_8UC1);
    const int middle = line.rows / 2;
    line.row(middle).setTo(kLevel);
    cv::Mat smoothed;
    cv::GaussianBlur(line, smoothed, cv::Size(), sigma);
    std::vector<std::uint16_t> taps(static_cast<std::size_t>(radius + 1));
    int rest = kUnit;
    for (int i = 1; i <= radius; ++i) {
        const uchar tap = smoothed.at<uchar>(middle + i, 0);
        if (tap != smoothed.at<uchar>(middle - i, 0) || tap >= kUnit / 2) {
            return {};
        }
        taps[static_cast<std::size_t>(i)] = tap;
        rest -= 2 * tap;
    }
    taps[0] = static_cast<std::uint16_t>(rest);
    // The outer taps may round to nothing: the sums skip them.
    while (taps.size() > 1 && taps.back() == 0) {
        taps.pop_back();
    }
    return taps;
}

void acrossRow(const std::uint8_t* src, int cols, const std::uint16_t* taps, int radius,
               std::uint16_t* out) {
    const auto at = [&](int x) {
        int sum = taps[0] * src[x];
        for (int i = 1; i <= radius; ++i) {
            sum += taps[i] * (src[mirrored(x - i, cols)] + src[mirrored(x + i, cols)]);
        }
        out[x] = static_cast<std::uint16_t>(sum);
    };
    int x = 0;
    for (; x < radius; ++x) {
        at(x);
    }
    for (x = avx2::smoothAcross(src, taps, radius, out, x, cols - radius); x < cols; ++x) {
        at(x);
    }
}

void downRow(const std::uint16_t* const* rows, const std::uint16_t* taps, int radius,
             std::uint8_t* out, int count) {
    for (int x = avx2::smoothDown(rows, taps, radius, out, count); x < count; ++x) {
        std::uint32_t sum = taps[0] * std::uint32_t{rows[radius][x]};
        for (int i = 1; i <= radius; ++i) {
            sum += taps[i] * (std::uint32_t{rows[radius - i][x]} + rows[radius + i][x]);
        }
        out[x] = static_cast<std::uint8_t>((sum + (1U << 15)) >> 16);
    }
}

// The taps to smooth `plane` with here; none (`own`, empty) where the library must: no AVX2,
// another type, a window into a larger image, a plane within the kernel's reach. The detector's
// own two widths' taps are read once, constants of the tuning; any other width's into `own`.
const std::vector<std::uint16_t>& tapsFor(const cv::Mat& plane, double sigma, int radius,
                                          std::vector<std::uint16_t>& own) {
    if (!wideRows() || plane.type() != CV_8UC1 || plane.isSubmatrix() ||
        std::min(plane.rows, plane.cols) <= 2 * radius) {
        return own;
    }
    const double working = tuning::kSmoothSigma;
    const double colour = tuning::kSmoothSigma * tuning::kColourUnit;
    if (sigma == working) {
        static const std::vector<std::uint16_t> taps = libraryTaps(working, radius);
        return taps;
    }
    if (sigma == colour) {
        static const std::vector<std::uint16_t> taps = libraryTaps(colour, radius);
        return taps;
    }
    own = libraryTaps(sigma, radius);
    return own;
}

}  // namespace

cv::Mat smoothPlane(const cv::Mat& plane, double sigma) {
    cv::Mat out;
    // Wider than the library's kernel, whose radius is that of cvRound(6 sigma + 1) | 1 taps.
    const int radius = static_cast<int>(std::ceil(3.0 * sigma)) + 1;
    std::vector<std::uint16_t> own;
    const std::vector<std::uint16_t>& taps = tapsFor(plane, sigma, radius, own);
    if (taps.empty()) {
        cv::GaussianBlur(plane, out, cv::Size(), sigma);
        return out;
    }
    const int reach = static_cast<int>(taps.size()) - 1;
    out.create(plane.size(), CV_8UC1);
    // The rows smoothed across, in a ring of 2 reach + 1: row r in slot r mod its size holds
    // every row one output row mirrors into, as they lie within reach of it.
    const int ring = 2 * reach + 1;
    std::vector<std::uint16_t> smoothed(static_cast<std::size_t>(ring) * plane.cols);
    const auto slot = [&](int row) {
        return smoothed.data() + static_cast<std::size_t>(row % ring) * plane.cols;
    };
    std::vector<const std::uint16_t*> rows(static_cast<std::size_t>(ring));
    int next = 0;  // the next row to smooth across
    for (int y = 0; y < plane.rows; ++y) {
        for (; next < plane.rows && next <= y + reach; ++next) {
            acrossRow(plane.ptr<std::uint8_t>(next), plane.cols, taps.data(), reach, slot(next));
        }
        for (int j = 0; j < ring; ++j) {
            rows[static_cast<std::size_t>(j)] = slot(mirrored(y + j - reach, plane.rows));
        }
        downRow(rows.data(), taps.data(), reach, out.ptr<std::uint8_t>(y), plane.cols);
    }
    return out;
}

}  // namespace shapemark::robust
