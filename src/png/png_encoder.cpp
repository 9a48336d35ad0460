#include "png/png_encoder.hpp"

#include <isa-l/crc.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>

#include "png/deflate_stream.hpp"
#include "png/row_filters.hpp"

namespace shapemark::png {

namespace {
constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t kMaxChunk = 0x7FFFFFFFU;  // a chunk's length is 31 bits
// Filtered rows are handed to deflate in pieces of this size, which stay in the cache.
constexpr std::size_t kPieceBytes = std::size_t{256} * 1024;
// Rows put in PNG order by one library call.
constexpr int kOrderedRows = 16;
constexpr int kSampleBands = 3;
constexpr int kBandRows = 4;
// A short window and runs are tried on a sample only past this compression ratio under igzip;
// camera footage stays far below it. Runs are used where igzip's sample comes out more than
// this many parts in 100 larger than the library's choice would.
constexpr std::size_t kCompressibleRatio = 8;
constexpr std::size_t kRunsMarginPercent = 3;
// igzip's short window, 256 bytes. In a flat area, its full window finds each run's match far
// back, and the distance's extra bits cost about three times what the run does; a short
// window keeps the distances short. Flat frames come out at 0.84 to 0.91 of the library's
// bytes instead of 2.7 to 3.5 times, the 1920x1080 sample scene at 0.92 instead of 1.06 (Up).
// Windows of 512 and 1024 bytes are no better. Camera footage loses 3 % with it, so the
// sample decides.
constexpr unsigned kShortWindowBits = 8;

// The deflaters the encoder chooses between.
enum class Method : std::uint8_t { Fast, FastShortWindow, Runs };

std::unique_ptr<DeflateStream> openStream(Method method, std::vector<std::uint8_t>& out) {
    switch (method) {
        case Method::Fast:
            return std::make_unique<FastDeflate>(out);
        case Method::FastShortWindow:
            return std::make_unique<FastDeflate>(out, kShortWindowBits);
        case Method::Runs:
            break;
    }
    return std::make_unique<RunDeflate>(out);
}

struct Layout {
    std::size_t channels;
    std::size_t rowBytes;
    std::uint8_t colourType;  // 0 gray, 2 RGB, 6 RGBA
};

void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> static_cast<unsigned>(shift)));
    }
}

void setU32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> static_cast<unsigned>(24 - 8 * i));
    }
}

// A chunk's CRC covers its type and data: the bytes from `start` + 4 (past the length) on.
void endChunk(std::vector<std::uint8_t>& out, std::size_t start) {
    const std::uint8_t* typed = out.data() + start + 4;
    putU32(out, crc32_gzip_refl(0, typed, out.size() - start - 4));
}

void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::uint8_t* data,
              std::uint32_t size) {
    const std::size_t start = out.size();
    putU32(out, size);
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    endChunk(out, start);
}

// PNG keeps colour samples in RGB(A) order; the library keeps them in BGR(A) and swaps them
// with SIMD. Rows [first, last) into `out`, one after another; gray rows are copied.
void toPngOrder(const cv::Mat& img, int first, int last, const Layout& layout, std::uint8_t* out) {
    cv::Mat swapped(last - first, img.cols, img.type(), out);
    if (layout.channels == 1) {
        img.rowRange(first, last).copyTo(swapped);
        return;
    }
    cv::cvtColor(img.rowRange(first, last), swapped,
                 layout.channels == 3 ? cv::COLOR_BGR2RGB : cv::COLOR_BGRA2RGBA);
}

// Filters rows [first, last) into pieces for `stream`; row `first` is filtered against the row
// above it, as in the whole image. `endStream`: the last row ends the stream. Rows are put in
// PNG order a few at a time: a library call per row cost 1.8 times as much at 1920x1080, and a
// band this small stays in the cache beside the piece and igzip's tables.
bool deflateRows(const cv::Mat& img, const Layout& layout, Filter filter, int first, int last,
                 DeflateStream& stream, bool endStream = true) {
    const std::size_t lineBytes = layout.rowBytes + 1;
    const int pieceRows = static_cast<int>(std::clamp(kPieceBytes / lineBytes, std::size_t{1},
                                                      static_cast<std::size_t>(last - first)));
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(pieceRows) * lineBytes);
    const int bandRows = std::min(kOrderedRows, pieceRows);
    // A band of rows in PNG order, after the row above them.
    std::vector<std::uint8_t> ordered(static_cast<std::size_t>(bandRows + 1) * layout.rowBytes);
    const std::uint8_t* lastOrdered = nullptr;  // the band's last row, once there is one
    if (first > 0) {
        toPngOrder(img, first - 1, first, layout, ordered.data());
    }
    for (int start = first; start < last; start += pieceRows) {
        const int end = std::min(start + pieceRows, last);
        std::size_t filled = 0;
        for (int band = start; band < end; band += bandRows) {
            const int bandEnd = std::min(band + bandRows, end);
            if (lastOrdered != nullptr) {  // the previous band's last row is the row above
                std::copy_n(lastOrdered, layout.rowBytes, ordered.begin());
            }
            toPngOrder(img, band, bandEnd, layout, ordered.data() + layout.rowBytes);
            for (int y = band; y < bandEnd; ++y) {
                const std::uint8_t* row =
                    ordered.data() + static_cast<std::size_t>(y - band + 1) * layout.rowBytes;
                const std::uint8_t* above = y > 0 ? row - layout.rowBytes : nullptr;
                piece[filled] = static_cast<std::uint8_t>(filter);
                filterRow(filter, row, above, layout.rowBytes, layout.channels, &piece[filled + 1]);
                filled += lineBytes;
                lastOrdered = row;
            }
        }
        if (!stream.add(piece.data(), filled, end == last && endStream)) {
            return false;
        }
    }
    return true;
}

// What a sample of rows, spread over the image, deflates to under each filter.
struct Sample {
    std::array<std::size_t, 3> bytes{};  // by filter number
    std::size_t rawBytes = 0;            // the sample, filtered

    [[nodiscard]] Filter best() const {
        return static_cast<Filter>(std::min_element(bytes.begin(), bytes.end()) - bytes.begin());
    }
    [[nodiscard]] std::size_t bestBytes() const {
        return *std::min_element(bytes.begin(), bytes.end());
    }
};

// One stream per filter runs through every band: a stream's set-up and its Huffman tables cost
// about what a band's rows do, so a stream per band would spend most of the sample on them.
bool sampleFilters(const cv::Mat& img, const Layout& layout, Method method, Sample& sample) {
    std::vector<std::uint8_t> deflated;
    for (const Filter filter : {Filter::None, Filter::Sub, Filter::Up}) {
        deflated.clear();
        sample.rawBytes = 0;
        const std::unique_ptr<DeflateStream> stream = openStream(method, deflated);
        for (int band = 1; band <= kSampleBands; ++band) {
            const int first = img.rows * band / (kSampleBands + 1);
            const int last = std::min(first + kBandRows, img.rows);
            if (!deflateRows(img, layout, filter, first, last, *stream, band == kSampleBands)) {
                return false;
            }
            sample.rawBytes += static_cast<std::size_t>(last - first) * (layout.rowBytes + 1);
        }
        sample.bytes.at(static_cast<std::size_t>(filter)) = deflated.size();
    }
    return true;
}

bool deflateImage(const cv::Mat& img, const Layout& layout, Method method, Filter filter,
                  std::vector<std::uint8_t>& out) {
    const std::unique_ptr<DeflateStream> stream = openStream(method, out);
    return deflateRows(img, layout, filter, 0, img.rows, *stream);
}
}  // namespace

bool encodePng(const cv::Mat& img, std::vector<std::uint8_t>& png) {
    const int channels = img.channels();
    if (img.depth() != CV_8U || img.dims != 2 || img.empty() ||
        (channels != 1 && channels != 3 && channels != 4)) {
        return false;
    }
    const Layout layout{static_cast<std::size_t>(channels),
                        static_cast<std::size_t>(img.cols) * static_cast<std::size_t>(channels),
                        static_cast<std::uint8_t>(channels == 1   ? 0
                                                  : channels == 3 ? 2
                                                                  : 6)};
    // igzip is three times as fast as zlib at a similar size on camera footage. On images with
    // large flat areas its full window spends about three times the bits a run needs; there
    // its short window is tried too. Where even that would come out larger than the library's
    // PNG writer (zlib's runs after the Sub filter), zlib's runs are used, with their own best
    // filter. The filter is the one the sample deflates smallest with: camera footage favours
    // Up or Sub, dithered or synthetic images can favour None.
    Sample fast;
    if (!sampleFilters(img, layout, Method::Fast, fast)) {
        return false;
    }
    Method method = Method::Fast;
    Filter filter = fast.best();
    if (fast.bestBytes() * kCompressibleRatio < fast.rawBytes) {
        Sample near;
        Sample runs;
        if (!sampleFilters(img, layout, Method::FastShortWindow, near) ||
            !sampleFilters(img, layout, Method::Runs, runs)) {
            return false;
        }
        if (near.bestBytes() < fast.bestBytes()) {
            method = Method::FastShortWindow;
            filter = near.best();
        }
        const std::size_t igzipBytes = std::min(fast.bestBytes(), near.bestBytes());
        const std::size_t libraryBytes = runs.bytes.at(static_cast<std::size_t>(Filter::Sub));
        if (igzipBytes * 100 > libraryBytes * (100 + kRunsMarginPercent)) {
            method = Method::Runs;
            filter = runs.best();
        }
    }

    png.assign(kSignature.begin(), kSignature.end());
    std::array<std::uint8_t, 13> header{};
    setU32(header.data(), static_cast<std::uint32_t>(img.cols));
    setU32(&header[4], static_cast<std::uint32_t>(img.rows));
    header[8] = 8;  // bits per sample
    header[9] = layout.colourType;
    // compression 0 (deflate), filter method 0, no interlace
    putChunk(png, "IHDR", header.data(), header.size());

    const std::size_t idatStart = png.size();
    putU32(png, 0);  // the length, once known
    png.insert(png.end(), {'I', 'D', 'A', 'T'});
    if (!deflateImage(img, layout, method, filter, png)) {
        return false;
    }
    const std::size_t streamBytes = png.size() - idatStart - 8;
    if (streamBytes > kMaxChunk) {
        return false;
    }
    setU32(&png[idatStart], static_cast<std::uint32_t>(streamBytes));
    endChunk(png, idatStart);
    putChunk(png, "IEND", nullptr, 0);
    return true;
}

}  // namespace shapemark::png
