#include <opencv2/imgproc.hpp>

#include <cmath>

#include "detector/lab_planes.hpp"
#include "detector/linear_downscale.hpp"
#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"
#include "detector/smooth_plane.hpp"
#include "detector/wide_rows.hpp"

namespace shapemark::robust {

cv::Mat lightnessInShadow(const cv::Mat& lightness) {
    // A constant of the tuning: made once, not on every frame and every refined shape.
    static const cv::Mat table = [] {
        const double c = tuning::kShadowFloor;
        const double scale = 255.0 / std::log1p(255.0 / c);
        cv::Mat levels(1, 256, CV_8U);
        for (int level = 0; level < 256; ++level) {
            levels.at<uchar>(level) = cv::saturate_cast<uchar>(scale * std::log1p(level / c));
        }
        return levels;
    }();
    cv::Mat mapped;
    if (!wideRows() || lightness.type() != CV_8UC1) {
        cv::LUT(lightness, table, mapped);
        return mapped;
    }
    // At AVX2 width a row costs a third of the library's scalar lookups.
    mapped.create(lightness.size(), CV_8UC1);
    for (int y = 0; y < lightness.rows; ++y) {
        const auto* const in = lightness.ptr<uchar>(y);
        auto* const out = mapped.ptr<uchar>(y);
        for (int x = avx2::lookupRow(in, table.ptr<uchar>(), out, lightness.cols);
             x < lightness.cols; ++x) {
            out[x] = table.at<uchar>(in[x]);
        }
    }
    return mapped;
}

std::vector<cv::Mat> candidatePlanes(const cv::Mat& bgr, double scale) {
    const cv::Mat working = scale < 1.0 ? linearDownscale(bgr, scale) : bgr;
    // Lab separates lightness from the two colour-opponent axes, so a shape that only differs
    // in hue from its background stands out on a plane of its own.
    std::vector<cv::Mat> planes = labPlanes(working);
    cv::Mat colourLight;  // lightness at the colour planes' scale
    cv::resize(planes[0], colourLight, cv::Size(), tuning::kColourUnit, tuning::kColourUnit,
               cv::INTER_AREA);
    for (std::size_t i = 0; i < planes.size(); ++i) {
        if (planeUnit(i) < 1.0) {
            cv::resize(planes[i], planes[i], cv::Size(), planeUnit(i), planeUnit(i),
                       cv::INTER_AREA);
        }
        if (colourPlane(i)) {
            planes[i] = chromaInShadow(planes[i], colourLight);
        }
        planes[i] = smoothPlane(planes[i], tuning::kSmoothSigma * planeUnit(i));
    }
    planes.push_back(lightnessInShadow(planes[0]));
    return planes;
}

bool colourPlane(std::size_t plane) {
    return plane != 0 && plane != kShadowPlane;
}

double planeUnit(std::size_t plane) {
    return colourPlane(plane) ? tuning::kColourUnit : 1.0;
}

std::vector<double> planeOffsets(std::size_t plane) {
    // Lightness finds brighter regions and its shadow mapping darker ones: a dark shape in a
    // shadow lies at the darkest levels, which the mapping stretches most, while it would
    // compress the lit levels where bright shapes lie.
    if (plane == 0) {
        return {tuning::kLightnessOffset};
    }
    if (plane == kShadowPlane) {
        return {-tuning::kLightnessOffset};
    }
    return {tuning::kColourOffset, -tuning::kColourOffset};
}

}  // namespace shapemark::robust
