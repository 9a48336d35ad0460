// Shape detector: the steps behind detect() and draw() of <shapemark/shapemark.hpp>.
// Detection (binarise, scan) stays apart from drawing, so each can be checked on its own.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace shapemark {

// Every tuning value of the detector, in pipeline order, so that none is written twice.
namespace params {
// Threshold: a 71-pixel block is wider than the shapes sought (under 100 pixels across),
// so the local mean follows the lighting, not the shape itself.
constexpr int kThresholdBlock = 71;
// A pixel must be 15 grey levels darker than its surroundings to count as shape; this
// keeps sensor noise and soft shading out of the binary image.
constexpr double kThresholdOffset = 15.0;
constexpr double kThresholdMax = 255.0;
// Two erosions then two dilations by 3x3: an opening by a 5x5 square, which removes
// specks and strips thinner than 5 pixels.
constexpr int kMorphologyIterations = 2;
constexpr int kMedianAperture = 3;
// Douglas-Peucker tolerance as a share of the closed perimeter: 2% keeps real corners and
// drops the staircase of a digitised edge.
constexpr double kApproxAccuracy = 0.02;
// Contours of 10000 square pixels or more are background or frame-sized blobs, not shapes.
constexpr double kMaxContourArea = 10000.0;
// Triangles to octagons; beyond 8 vertices a polygon is taken for a circle-like blob.
constexpr std::size_t kMinVertices = 3;
constexpr std::size_t kMaxVertices = 8;
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
// 1. Grey, median-smoothed image and the opened adaptive-threshold binary image.
void binariseFrame(const cv::Mat& img, cv::Mat& imgGrayScale, cv::Mat& Iat);

// 2. Finds the contours of `Iat` (which it may overwrite), keeps the convex polygons of
//    3 to 8 vertices whose contour area lies strictly between `areaSize` and the upper bound,
//    and lists each in `storage.marked`, in drawing order.
void scanContours(cv::Mat& Iat, int areaSize, Storage& storage);

// Drawing:
// 1. The working copy: a deep copy, so that `frame` stays as captured.
void cloneFrame(const cv::Mat& frame, cv::Mat& img);

// 2. Draws the closed outline of a polygon of 3 to 8 vertices; any other count draws nothing.
void drawPolygonOutline(cv::Mat& img, const Polygon& approx);

// The centroid of a polygon's area; the mean of its vertices when it encloses no area.
cv::Point2d polygonCentre(const Polygon& polygon);

}  // namespace shapemark
