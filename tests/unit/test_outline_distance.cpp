// outlineDistance stands in for cv::pointPolygonTest's measured distance where a contour's
// every point is measured against its polygon; the roundness test compares sums of its
// squares, so it must be the library's value bit for bit.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <cstring>
#include <vector>

#include "detector/outline_distance.hpp"

namespace shapemark::robust {
namespace {

std::uint64_t bits(double value) {
    std::uint64_t out = 0;
    std::memcpy(&out, &value, sizeof out);
    return out;
}

// Catches a sign turned at the outline or on a horizontal edge (the ray's crossing rule), an
// edge's end taken for its inside, a distance rounded otherwise than the library's (compared
// to the last bit), and a polygon traversed from another first edge.
TEST(OutlineDistance, IsTheLibrarysMeasureBitForBit) {
    cv::RNG rng(7);
    std::size_t compared = 0;
    for (int shape = 0; shape < 200; ++shape) {
        std::vector<cv::Point> polygon;
        const int n = rng.uniform(1, 9);
        polygon.reserve(static_cast<std::size_t>(n) + 1);
        for (int k = 0; k < n; ++k) {  // convex or not, with repeated and collinear vertices
            polygon.emplace_back(rng.uniform(0, 40) * (shape % 3 + 1), rng.uniform(0, 40));
        }
        if (shape % 4 == 0) {
            polygon.push_back(polygon.front());
        }
        for (int y = -3; y < 45; y += 2) {
            for (int x = -3; x < 125; x += 3) {
                const double expected = cv::pointPolygonTest(
                    polygon, cv::Point2f(static_cast<float>(x), static_cast<float>(y)), true);
                const double found = outlineDistance(polygon, {x, y});
                ASSERT_EQ(bits(found), bits(expected))
                    << expected << " against " << found << " at " << x << ", " << y;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 100000U);
}

}  // namespace
}  // namespace shapemark::robust
