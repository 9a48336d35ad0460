// Building blocks of the generated test scenes, shared by the test-video generator and the
// benchmarks so that both draw the same kinds of shapes.
#pragma once

#include <opencv2/core.hpp>

#include <cmath>
#include <cstdint>
#include <vector>

namespace scene {

// A fixed linear congruential generator: the same numbers on every platform and library
// version, unlike the standard distributions.
struct Lcg {
    std::uint32_t state;
    std::uint32_t next() {
        state = state * 1664525U + 1013904223U;
        return state >> 8;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
};

// The vertices of a regular polygon, rounded to whole pixels.
inline std::vector<cv::Point> regularPolygon(cv::Point2d centre, double radius, int vertices,
                                             double turn) {
    std::vector<cv::Point> points;
    for (int k = 0; k < vertices; ++k) {
        const double angle = turn + 2.0 * M_PI * k / vertices;
        points.emplace_back(cvRound(centre.x + radius * std::cos(angle)),
                            cvRound(centre.y + radius * std::sin(angle)));
    }
    return points;
}

}  // namespace scene
