// shapemark: finds simple convex shapes (triangles to octagons) in a colour image and outlines
// them in green, as the shapemark tool does to every processed frame of a video.
//
// Both functions keep no state between calls and may be called from several threads at once.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

#include <shapemark/export.hpp>

namespace shapemark {

// One shape found in an image.
struct Shape {
    std::vector<cv::Point> polygon;  // the outlined polygon, vertex by vertex
    double area = 0.0;               // its contour's area, as the area window tests it
    cv::Point2d centre;              // the polygon's centroid, as the detection log has it
};

// The shapes whose contour area lies strictly between `areaSize` and 10000 square pixels, in
// drawing order; empty when there are none. `bgr` (8-bit, 3 channels, not empty) is only read.
// Any other image throws an exception derived from std::invalid_argument. Detector
// (<shapemark/detector_params.hpp>) takes every other parameter.
SHAPEMARK_API std::vector<Shape> detect(const cv::Mat& bgr, int areaSize);

// A shape of one's own polygon (to track, say), its area and centre as detect() gives them.
SHAPEMARK_API Shape shapeOf(std::vector<cv::Point> polygon);

// Outlines each shape's polygon on `bgr` in green, 4 pixels wide, in the given order; polygons
// of fewer than 3 or more than 8 vertices are left out. draw(img, detect(img, a)) gives the
// tool's marked frame. Takes the same images as detect.
SHAPEMARK_API void draw(cv::Mat& bgr, const std::vector<Shape>& shapes);

}  // namespace shapemark
