// Small helpers for the detector's unit tests: synthetic binary and colour images with known
// geometry, and the checks that compare a marked image with what the library draws.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <vector>

#include "detector/detector.hpp"

namespace shapemark::testing {

const cv::Vec3b kGreen(0, 255, 0);

// A black binary image, as the contour scan reads it.
inline cv::Mat blackIat(cv::Size size = {240, 240}) {
    return cv::Mat(size, CV_8UC1, cv::Scalar(0));
}

// A colour frame of pseudo-random pixels with no pure green, so that every outline pixel and
// every untouched pixel can be told apart.
inline cv::Mat texturedFrame(cv::Size size = {240, 240}) {
    cv::Mat frame(size, CV_8UC3);
    cv::RNG rng(20240611);
    rng.fill(frame, cv::RNG::UNIFORM, 0, 250);  // green channel never reaches 255
    return frame;
}

inline int differingPixels(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    return cv::countNonZero(diff.reshape(1));
}

// Pixels that differ from `before` and are not exactly pure green.
inline int strayPixels(const cv::Mat& before, const cv::Mat& after) {
    int stray = 0;
    for (int y = 0; y < after.rows; ++y) {
        for (int x = 0; x < after.cols; ++x) {
            const cv::Vec3b px = after.at<cv::Vec3b>(y, x);
            if (px != before.at<cv::Vec3b>(y, x) && px != kGreen) {
                ++stray;
            }
        }
    }
    return stray;
}

// The library's own rendering of a closed outline, segment by segment in the given order.
inline cv::Mat libraryOutline(const cv::Mat& base, const std::vector<cv::Point>& vertices,
                              int thickness = 4) {
    cv::Mat out = base.clone();
    const std::size_t n = vertices.size();
    for (std::size_t k = 0; k < n; ++k) {
        cv::line(out, vertices[k], vertices[(k + 1) % n], cv::Scalar(0, 255, 0, 0), thickness,
                 cv::LINE_8, 0);
    }
    return out;
}

// Outlines the polygons that the scan kept, in its order.
inline void drawMarked(cv::Mat& img, const Storage& storage) {
    for (const Mark& mark : storage.marked) {
        drawPolygonOutline(img, storage.polygons[mark.polygon]);
    }
}

// Runs the scan on a copy of `Iat` and returns the marked copy of `frame`.
inline cv::Mat scanned(const cv::Mat& Iat, const cv::Mat& frame, int areaSize, Storage& storage) {
    cv::Mat work = Iat.clone();
    cv::Mat img = frame.clone();
    storage = Storage();
    DetectorParams params;
    params.minArea = areaSize;
    scanContours(work, params, storage);
    drawMarked(img, storage);
    return img;
}

}  // namespace shapemark::testing
