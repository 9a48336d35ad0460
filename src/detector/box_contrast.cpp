#include "detector/box_contrast.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace shapemark::robust {
namespace {

// OpenCV divides a box's integer sum by its area in single precision. For an odd area N every
// exact quotient lies at least 1/(2N) from a half, and single precision strays by at most
// about sum × 2^-23, so below 2^22 for the largest sum (255 N) its rounding is the exact one,
// which is what the pass below computes. Wider windows take OpenCV's own path.
constexpr int kLargestExactWindow = 127;

void referenceContrast(const cv::Mat& plane, int window, cv::Mat& contrast) {
    cv::boxFilter(plane, contrast, CV_16S, cv::Size(window, window), cv::Point(-1, -1), true,
                  cv::BORDER_REPLICATE);
    cv::subtract(plane, contrast, contrast, cv::noArray(), CV_16S);
}

}  // namespace

cv::Mat boxContrast(const cv::Mat& plane, int window) {
    CV_Assert(plane.type() == CV_8UC1 && window > 0 && window % 2 == 1);
    cv::Mat contrast;
    if (window > kLargestExactWindow || plane.empty()) {
        referenceContrast(plane, window, contrast);
        return contrast;
    }
    contrast.create(plane.size(), CV_16S);
    const int radius = window / 2;
    const int cols = plane.cols;

    // The filter reads the parent image beyond a region of interest and replicates only the
    // parent's own edge: rows and columns are clamped to the parent.
    cv::Size whole;
    cv::Point offset;
    plane.locateROI(whole, offset);
    const int top = -offset.y;
    const int bottom = whole.height - offset.y - 1;
    const auto row = [&](int y) {
        return plane.data + static_cast<std::ptrdiff_t>(std::clamp(y, top, bottom)) *
                                static_cast<std::ptrdiff_t>(plane.step[0]);
    };
    // Column sums over the box's rows, for the columns x - radius .. x + radius of every x;
    // those beyond the parent's edge copy its edge column.
    const int first = std::max(-radius, -offset.x);
    const int last = std::min(cols - 1 + radius, whole.width - offset.x - 1);
    std::vector<int> sums(static_cast<std::size_t>(cols + 2 * radius), 0);
    int* const sum = sums.data() + radius;  // sum[c] for column c
    for (int y = -radius; y <= radius; ++y) {
        const uchar* const src = row(y);
        for (int c = first; c <= last; ++c) {
            sum[c] += src[c];
        }
    }
    std::vector<int> boxes(static_cast<std::size_t>(cols));
    const double perPixel = 1.0 / (static_cast<double>(window) * window);
    for (int y = 0; y < plane.rows; ++y) {
        std::fill(sum - radius, sum + first, sum[first]);
        std::fill(sum + last + 1, sum + cols + radius, sum[last]);
        int box = 0;
        for (int c = -radius; c <= radius; ++c) {
            box += sum[c];
        }
        boxes[0] = box;
        for (int x = 1; x < cols; ++x) {
            box += sum[x + radius] - sum[x - radius - 1];
            boxes[static_cast<std::size_t>(x)] = box;
        }
        // Sums are never negative, so truncating after adding a half rounds to nearest; the
        // quotient is never within double precision's error of a half.
        const uchar* const src = plane.ptr<uchar>(y);
        auto* const out = contrast.ptr<short>(y);
        for (int x = 0; x < cols; ++x) {
            const auto mean = static_cast<int>(
                static_cast<double>(boxes[static_cast<std::size_t>(x)]) * perPixel + 0.5);
            out[x] = static_cast<short>(src[x] - mean);
        }
        const uchar* const enter = row(y + radius + 1);
        const uchar* const leave = row(y - radius);
        for (int c = first; c <= last; ++c) {
            sum[c] += enter[c] - leave[c];
        }
    }
    return contrast;
}

}  // namespace shapemark::robust
