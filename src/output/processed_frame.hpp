// What the outputs receive of one processed frame.
#pragma once

#include <opencv2/core.hpp>

#include <shapemark/shapemark.hpp>

#include <vector>

namespace shapemark {

struct ProcessedFrame {
    long long frameCount = 0;   // the counter's value: the frame's 1-based position in the input
    double timeMs = 0.0;        // the capture's time stamp of the frame
    cv::Mat img;                // the marked copy; nobody writes to it once handed over
    std::vector<Shape> shapes;  // in drawing order
    // With tracking, each shape's id (0 while it has none yet); empty without.
    std::vector<int> ids;
    // With tracking, each shape's mean colour, sampled before the outlines were drawn; empty
    // without.
    std::vector<cv::Scalar> colours;
};

}  // namespace shapemark
