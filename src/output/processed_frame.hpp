// What the outputs receive of one processed frame.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

#include "detector/detector.hpp"

namespace shapemark {

// One outlined shape: its polygon, vertex by vertex, and the area of its contour.
struct MarkedShape {
    Polygon polygon;
    double area = 0.0;
};

struct ProcessedFrame {
    long long frameCount = 0;  // the counter's value: the frame's 1-based position in the input
    double timeMs = 0.0;       // the capture's time stamp of the frame
    cv::Mat img;               // the marked copy; nobody writes to it once handed over
    std::vector<MarkedShape> shapes;  // in drawing order
};

}  // namespace shapemark
