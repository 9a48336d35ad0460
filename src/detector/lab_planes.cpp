#include "detector/lab_planes.hpp"

#include <opencv2/core/softfloat.hpp>

#include <array>
#include <cstddef>
#include <cstdint>

namespace shapemark::robust {
namespace {

// OpenCV's 8-bit BGR to Lab is fixed point: an sRGB gamma table scaled by 2^3, a matrix with
// the white point folded in scaled by 2^12, a cube-root table scaled by 2^15, then integer
// L, a, b. The tables here are built with its own soft-float arithmetic, step for step, so they
// hold the same integers; the matrix and the first descaling's rounding are folded into one
// table per source channel, so a pixel is three table rows summed (X and Z in one row).
constexpr int kMatrixShift = 12;
constexpr int kGammaShift = 3;
constexpr int kCbrtShift = kMatrixShift + kGammaShift;
constexpr int kCbrtSize = 256 * 3 / 2 * (1 << kGammaShift);

// Per source channel (B, G, R) and level: that level's share of a component, so that the three
// shares' sum, descaled, is the component's cube-root index.
using Shares = std::array<std::array<std::uint32_t, 256>, 3>;

// The descaling's offset of a and b: the middle of the byte and the rounding.
constexpr std::int32_t kOpponentOffset = (128 << kCbrtShift) + (1 << (kCbrtShift - 1));

// Y's two terms: subtracted in a; added in b, with the offset. Side by side, as a pixel reads
// both.
struct YTerms {
    std::int32_t a = 0;
    std::int32_t b = 0;
};

struct Tables {
    Shares ys{};
    // X's share in the low 32 bits, Z's in the high: one read and one sum serve both, as no sum
    // of three shares reaches 2^32.
    std::array<std::array<std::uint64_t, 256>, 3> xzs{};
    // Per cube-root index, the a and b formulas' terms, 500 and 200 times the cube root: a's
    // first term (X's) and b's (Y's) with the offset added, so that each is a difference.
    std::array<std::int32_t, kCbrtSize> aOfX{};
    std::array<YTerms, kCbrtSize> ofY{};
    std::array<std::int32_t, kCbrtSize> bOfZ{};
    // Per Y index: L, whole.
    std::array<uchar, kCbrtSize> lightness{};
};

cv::softfloat gamma(const cv::softfloat& x) {
    const cv::softdouble threshold = cv::softdouble(809) / cv::softdouble(20000);
    const cv::softdouble lowScale = cv::softdouble(323) / cv::softdouble(25);
    const cv::softdouble power = cv::softdouble(12) / cv::softdouble(5);
    const cv::softdouble shift = cv::softdouble(11) / cv::softdouble(200);
    const cv::softdouble xd = x;
    return xd <= threshold ? xd / lowScale
                           : cv::pow((xd + shift) / (cv::softdouble::one() + shift), power);
}

Tables buildTables() {
    Tables t;
    // sRGB to XYZ by rows, and the D65 white point.
    static const std::array<std::array<double, 3>, 3> kToXyz = {{{0.412453, 0.357580, 0.180423},
                                                                 {0.212671, 0.715160, 0.072169},
                                                                 {0.019334, 0.119193, 0.950227}}};
    static const std::array<double, 3> kWhite = {0.950456, 1.0, 1.088754};
    const cv::softfloat gammaScale(255 * (1 << kGammaShift));
    std::array<int, 256> linear{};
    for (int level = 0; level < 256; ++level) {
        linear[level] = cvRound(gammaScale * gamma(cv::softfloat(level) / cv::softfloat(255)));
    }
    const cv::softdouble matrixScale(1 << kMatrixShift);
    std::array<Shares, 3> share{};  // by component: X, Y, Z
    for (int row = 0; row < 3; ++row) {
        for (int rgb = 0; rgb < 3; ++rgb) {
            const int coeff = cvRound(matrixScale * cv::softdouble(kToXyz[row][rgb]) /
                                      cv::softdouble(kWhite[row]));
            const int bgr = 2 - rgb;
            for (int level = 0; level < 256; ++level) {
                // The descaling's rounding rides on the blue channel's share.
                share[row][bgr][level] = static_cast<std::uint32_t>(
                    linear[level] * coeff + (bgr == 0 ? 1 << (kMatrixShift - 1) : 0));
            }
        }
    }
    const cv::softfloat threshold = cv::softfloat(216) / cv::softfloat(24389);
    const cv::softfloat slope = cv::softfloat(841) / cv::softfloat(108);
    const cv::softfloat bias = cv::softfloat(16) / cv::softfloat(116);
    const cv::softfloat cbrtStep = cv::softfloat::one() / gammaScale;
    const cv::softfloat cbrtScale(1 << kCbrtShift);
    const int lScale = (116 * 255 + 50) / 100;
    const int lShift = -((16 * 255 * (1 << kCbrtShift) + 50) / 100);
    for (int i = 0; i < kCbrtSize; ++i) {
        const cv::softfloat x = cbrtStep * cv::softfloat(i);
        const int f =
            cvRound(cbrtScale * (x < threshold ? cv::mulAdd(x, slope, bias) : cv::cbrt(x)));
        t.aOfX[i] = 500 * f + kOpponentOffset;
        t.ofY[i] = {500 * f, 200 * f + kOpponentOffset};
        t.bOfZ[i] = 200 * f;
        const int lightness = (lScale * f + lShift + (1 << (kCbrtShift - 1))) >> kCbrtShift;
        t.lightness[i] = cv::saturate_cast<uchar>(lightness);
    }
    // The shares grow with the level, so white gives each component's largest index.
    for (const Shares& component : share) {
        CV_Assert(((std::uint64_t{component[0][255]} + component[1][255] + component[2][255]) >>
                   kMatrixShift) < kCbrtSize);
    }
    t.ys = share[1];
    for (std::size_t bgr = 0; bgr < 3; ++bgr) {
        for (std::size_t level = 0; level < 256; ++level) {
            t.xzs[bgr][level] = share[0][bgr][level] | std::uint64_t{share[2][bgr][level]} << 32;
        }
    }
    return t;
}

const Tables& tables() {
    static const Tables made = buildTables();
    return made;
}

// a or b from its two terms, the offset in the first. Not saturated: every 8-bit colour's a and
// b lie well inside a byte's range (the test on all 2^24 colours proves it), where OpenCV's
// saturation never acts.
uchar opponent(std::int32_t plus, std::int32_t minus) {
    return static_cast<uchar>((plus - minus) >> kCbrtShift);
}

// Pixel x of a row, into the planes asked for: a plane not asked for costs nothing.
template <bool kL, bool kA, bool kB>
void convertPixel(const Tables& t, const uchar* bgr, int x, uchar* l, uchar* a, uchar* b) {
    const Shares& ys = t.ys;
    const auto& xzs = t.xzs;
    const unsigned b0 = bgr[0];
    const unsigned g0 = bgr[1];
    const unsigned r0 = bgr[2];
    const unsigned yi = (ys[0][b0] + ys[1][g0] + ys[2][r0]) >> kMatrixShift;
    if constexpr (kL) {
        l[x] = t.lightness[yi];
    }
    if constexpr (kA || kB) {
        const std::uint64_t xz = xzs[0][b0] + xzs[1][g0] + xzs[2][r0];
        if constexpr (kA) {
            const unsigned xi = static_cast<std::uint32_t>(xz) >> kMatrixShift;
            a[x] = opponent(t.aOfX[xi], t.ofY[yi].a);
        }
        if constexpr (kB) {
            const auto zi = static_cast<unsigned>(xz >> (32 + kMatrixShift));
            b[x] = opponent(t.ofY[yi].b, t.bOfZ[zi]);
        }
    }
}

// One row, four pixels a step (the loop's own count and tests then shared by them).
template <bool kL, bool kA, bool kB>
void convertRow(const Tables& t, const uchar* bgr, int width, uchar* l, uchar* a, uchar* b) {
    int x = 0;
    for (; x + 3 < width; x += 4, bgr += 12) {
        convertPixel<kL, kA, kB>(t, bgr, x, l, a, b);
        convertPixel<kL, kA, kB>(t, bgr + 3, x + 1, l, a, b);
        convertPixel<kL, kA, kB>(t, bgr + 6, x + 2, l, a, b);
        convertPixel<kL, kA, kB>(t, bgr + 9, x + 3, l, a, b);
    }
    for (; x < width; ++x, bgr += 3) {
        convertPixel<kL, kA, kB>(t, bgr, x, l, a, b);
    }
}

template <bool kL, bool kA, bool kB>
void convert(const cv::Mat& bgr, cv::Mat* l, cv::Mat* a, cv::Mat* b) {
    CV_Assert(bgr.type() == CV_8UC3);
    const Tables& t = tables();
    for (cv::Mat* plane : {l, a, b}) {
        if (plane != nullptr) {
            plane->create(bgr.size(), CV_8UC1);
        }
    }
    for (int y = 0; y < bgr.rows; ++y) {
        convertRow<kL, kA, kB>(t, bgr.ptr<uchar>(y), bgr.cols, kL ? l->ptr<uchar>(y) : nullptr,
                               kA ? a->ptr<uchar>(y) : nullptr, kB ? b->ptr<uchar>(y) : nullptr);
    }
}

}  // namespace

std::vector<cv::Mat> labPlanes(const cv::Mat& bgr) {
    std::vector<cv::Mat> planes(3);
    convert<true, true, true>(bgr, planes.data(), &planes[1], &planes[2]);
    return planes;
}

cv::Mat labPlane(const cv::Mat& bgr, int plane) {
    cv::Mat out;
    switch (plane) {
        case 0:
            convert<true, false, false>(bgr, &out, nullptr, nullptr);
            break;
        case 1:
            convert<false, true, false>(bgr, nullptr, &out, nullptr);
            break;
        case 2:
            convert<false, false, true>(bgr, nullptr, nullptr, &out);
            break;
        default:
            CV_Error(cv::Error::StsOutOfRange, "a Lab plane is 0, 1 or 2");
    }
    return out;
}

}  // namespace shapemark::robust
