// Shape detector: the steps behind detect() and draw() of <shapemark/shapemark.hpp>.
// Detection (binarise, scan) stays apart from drawing, so each can be checked on its own.
#pragma once

#include <opencv2/core.hpp>

#include <shapemark/detector_params.hpp>

#include <vector>

namespace shapemark {

// The drawing's fixed values; every tunable value is a field of DetectorParams.
namespace params {
constexpr double kThresholdMax = 255.0;
// Outline: pure green in BGR, 4 pixels wide so it stays visible after video compression,
// 8-connected without anti-aliasing so every stroke pixel is exactly this colour.
const cv::Scalar kOutlineColour(0.0, 255.0, 0.0, 0.0);
constexpr int kOutlineThickness = 4;
constexpr int kOutlineLineType = 8;
constexpr int kOutlineShift = 0;
}  // namespace params

using Polygon = std::vector<cv::Point>;

// A polygon that passed every test: which one, and the contour area that passed the area window.
struct Mark {
    std::size_t polygon;  // index into Storage::polygons
    double area;
};

// The frame's contours and their polygons; it lives for one processed frame.
struct Storage {
    std::vector<Polygon> contours;
    std::vector<Polygon> polygons;  // polygons[i] approximates contours[i]
    std::vector<Mark> marked;       // in drawing order
};

// Throws std::invalid_argument, naming `caller` and what it expected, unless `bgr` is a
// non-empty 8-bit 3-channel image.
void requireColourImage(const cv::Mat& bgr, const char* caller);

// Detection:
// 1. Grey, median-smoothed image and the opened adaptive-threshold binary image, by the
//    classic detector's values of `p`.
void binariseFrame(const cv::Mat& img, cv::Mat& imgGrayScale, cv::Mat& Iat,
                   const DetectorParams& p = {});

// 2. Finds the contours of `Iat` (which it may overwrite), keeps the convex polygons within the
//    vertex range of `p` whose contour area lies strictly inside its area window, and lists
//    each in `storage.marked`, in drawing order.
void scanContours(cv::Mat& Iat, const DetectorParams& p, Storage& storage);

// The classic detector: binariseFrame, scanContours, then each marked polygon as a Shape.
std::vector<Shape> detectClassic(const cv::Mat& bgr, const DetectorParams& p);

// Drawing:
// 1. The working copy: a deep copy, so that `frame` stays as captured.
void cloneFrame(const cv::Mat& frame, cv::Mat& img);

// 2. Draws the closed outline of a polygon of 3 to 8 vertices (DetectorParams::kFewestVertices
//    to kMostVertices); any other count draws nothing.
void drawPolygonOutline(cv::Mat& img, const Polygon& approx);

// The centroid of a polygon's area; the mean of its vertices when it encloses no area.
cv::Point2d polygonCentre(const Polygon& polygon);

}  // namespace shapemark
