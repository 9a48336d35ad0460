#include "detector/outer_borders.hpp"

#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "detector/wide_rows.hpp"

namespace shapemark::robust {
namespace {

// Suzuki and Abe's border following, as the library does it. A traced border pixel is marked
// positive, or negative where the background lies to its right; the scan starts an outer border
// at a 0 → 1 step and a hole at a positive → 0 step, so only the marks' signs matter (the
// library numbers them to find parents, which outer borders of a two-level list do not need).
constexpr schar kRegion = 1;
constexpr schar kBorder = 2;
constexpr schar kRightBorder = -126;

// The eight steps by chain code: east, then counter-clockwise (y grows downwards).
constexpr std::array<int, 8> kStepX = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr std::array<int, 8> kStepY = {0, -1, -1, -1, 0, 1, 1, 1};

// A point as one word, y in the high half and x in the low: a step is then one addition, as a
// traced point never leaves the image (x and y stay non-negative, so no borrow crosses the
// halves).
using PackedPoint = std::uint64_t;

constexpr PackedPoint packed(int x, int y) {
    return (static_cast<PackedPoint>(static_cast<std::uint32_t>(y)) << 32) |
           static_cast<std::uint32_t>(x);
}

// Step i as an addition to a packed point (wrapping: a step back is 2^64 less).
constexpr PackedPoint packedStep(std::size_t i) {
    return (static_cast<PackedPoint>(static_cast<std::int64_t>(kStepY[i])) << 32) +
           static_cast<PackedPoint>(static_cast<std::int64_t>(kStepX[i]));
}
constexpr std::array<PackedPoint, 8> kPackedSteps = {packedStep(0), packedStep(1), packedStep(2),
                                                     packedStep(3), packedStep(4), packedStep(5),
                                                     packedStep(6), packedStep(7)};

// A border's points, written through a pointer held in a register: the tracer's byte stores
// may alias anything, so a vector's own ends would be read back from memory at every point.
class PointSink {
  public:
    explicit PointSink(std::vector<cv::Point>& store) : store_(store) {}

    void add(PackedPoint pt) {
        if (count_ == room_) {
            store_.resize(std::max<std::size_t>(kFirstRoom, 2 * room_));
            data_ = store_.data();
            room_ = store_.size();
        }
        data_[count_++] =
            cv::Point(static_cast<int>(static_cast<std::uint32_t>(pt)), static_cast<int>(pt >> 32));
    }
    [[nodiscard]] std::size_t count() const { return count_; }

  private:
    static constexpr std::size_t kFirstRoom = 256;
    std::vector<cv::Point>& store_;
    cv::Point* data_ = store_.data();
    std::size_t room_ = store_.size();
    std::size_t count_ = 0;
};

// Follows the border through `start`, marking it; an outer one from the west, a hole (`start`
// the region pixel left of the hole) from the east. With kCopy, hands its points from `pt` to
// `sink`.
template <bool kCopy>
void follow(schar* start, const std::array<std::ptrdiff_t, 16>& deltas, bool hole, PackedPoint pt,
            PointSink* sink) {
    const int from = hole ? 0 : 4;
    int s = from;
    schar* second = nullptr;
    do {
        s = (s - 1) & 7;
        second = start + deltas[static_cast<std::size_t>(s)];
    } while (*second == 0 && s != from);
    if (s == from) {  // a single pixel
        *start = kRightBorder;
        if constexpr (kCopy) {
            sink->add(pt);
        }
        return;
    }
    schar* here = start;
    // Unsigned, so that the search's steps index the table without widening each one.
    auto step = static_cast<std::size_t>(s);
    for (;;) {
        // Counter-clockwise from the pixel came from, the next one of the region.
        const std::size_t came = step;
        schar* next = nullptr;
        do {
            next = here + deltas[++step];
        } while (*next == 0);
        step &= 7;
        // Unsigned: at step 0 (east itself) the difference wraps to the largest value.
        if (step - 1 < came) {
            *here = kRightBorder;  // the step east was searched: background lies there
        } else if (*here == kRegion) {
            *here = kBorder;
        }
        if constexpr (kCopy) {
            sink->add(pt);
        }
        pt += kPackedSteps[step];
        if (next == start && here == second) {
            return;
        }
        here = next;
        step = (step + 4) & 7;
    }
}

bool outerStart(schar left, schar here) {
    return left == 0 && here == kRegion;
}

bool holeStart(schar left, schar here) {
    return here == 0 && left >= kRegion;
}

// A border's mark, as opposed to the background or a region's untouched pixel.
bool marked(schar value) {
    return value != 0 && value != kRegion;
}

// Where, in row[from, to), the scanner last stepped onto a border's mark; `last` if nowhere.
// The scanner notes such a step as it passes (it only stops where the value changes); read
// back only when an outer start asks for it, as no border traced since has touched these pixels.
int lastMarkStep(const schar* row, int from, int to, int last) {
    for (int x = to - 1; x >= from; --x) {
        if (row[x] != row[x - 1] && marked(row[x])) {
            return x;
        }
    }
    return last;
}

// The first x from `x` on, short of `end`, where a border starts; `end` if none. Only starts
// are looked for, 16 pixels at a time: the steps between a region's pixels and its border's
// marks, most of a textured image's, start nothing. `wide`: 32 at a time first.
int nextStart(const schar* row, int x, int end, bool wide) {
    if (wide && end > avx2::kBytes) {
        return avx2::findStart(row, x, end);
    }
    const cv::v_int8x16 zero = cv::v_setzero_s8();
    const cv::v_int8x16 region = cv::v_setall_s8(kRegion);
    constexpr int kLanes = cv::v_int8x16::nlanes;
    for (; x + kLanes <= end; x += kLanes) {
        const cv::v_int8x16 here = cv::v_load(row + x);
        const cv::v_int8x16 left = cv::v_load(row + x - 1);
        const cv::v_int8x16 starts =
            ((left == zero) & (here == region)) | ((here == zero) & (left > zero));
        if (cv::v_check_any(starts)) {
            return x + cv::v_scan_forward(starts);
        }
    }
    while (x < end && !outerStart(row[x - 1], row[x]) && !holeStart(row[x - 1], row[x])) {
        ++x;
    }
    return x;
}

}  // namespace

std::vector<std::vector<cv::Point>> outerBorders(cv::Mat& padded,
                                                 const std::function<bool(std::size_t)>& keep,
                                                 Listing listing) {
    const bool external = listing == Listing::kExternal;
    CV_Assert(padded.type() == CV_8UC1 && padded.rows >= 2 && padded.cols >= 2);
    const auto step = static_cast<std::ptrdiff_t>(padded.step[0]);
    std::array<std::ptrdiff_t, 16> deltas{};
    for (std::size_t i = 0; i < deltas.size(); ++i) {
        deltas[i] = kStepX[i % 8] + kStepY[i % 8] * step;
    }
    std::vector<std::vector<cv::Point>> found;
    std::vector<cv::Point> points;  // grown as needed and reused, never shrunk
    // The scanner visits neither the frame's last column nor its last row.
    const int end = padded.cols - 1;
    const bool wide = wideRows();
    for (int y = 1; y < padded.rows - 1; ++y) {
        auto* const row = padded.ptr<schar>(y);
        // External-only, the scanner leaves holes untraced and starts an outer border only where
        // the last mark it met on the row (`lastMark`; the frame's zero at first) is not
        // positive: a negative one closes the region on its left.
        int lastMark = 0;
        int unread = 1;  // the row's steps from here on are not yet looked at for marks
        // Each pixel is judged with its left neighbour as it stands then, marked by any border
        // traced before, as the scanner judges it.
        for (int x = nextStart(row, 1, end, wide); x < end; x = nextStart(row, x + 1, end, wide)) {
            if (outerStart(row[x - 1], row[x])) {
                if (external) {
                    lastMark = lastMarkStep(row, unread, x, lastMark);
                    unread = x + 1;
                    if (row[lastMark] > 0) {
                        continue;
                    }
                }
                PointSink sink(points);
                follow<true>(row + x, deltas, false, packed(x - 1, y - 1), &sink);
                if (keep(sink.count())) {
                    found.emplace_back(points.begin(),
                                       points.begin() + static_cast<std::ptrdiff_t>(sink.count()));
                }
            } else if (!external) {
                follow<false>(row + x - 1, deltas, true, 0, nullptr);
            } else if (marked(row[x - 1])) {
                lastMark = x - 1;
                unread = x + 1;
            }
        }
    }
    // cv::findContours lists them last found first, as the scanner links each new one in front.
    std::reverse(found.begin(), found.end());
    return found;
}

}  // namespace shapemark::robust
