#include "track/shape_likeness.hpp"

#include <algorithm>
#include <cmath>

namespace shapemark::track {

namespace {

// Mean colours this far apart (BGR units) are as unlike as colours get: a shape's own mean moves
// by about 1 from frame to frame, and by up to about 13 when partly merged with another.
constexpr double kColourSpan = 20.0;

}  // namespace

double unlikeness(const Track& t, const Shape& shape, double area, bool followed, bool atBorder) {
    const int vertices = simpleVertices(shape);
    // Grown past a quarter, a shape at the border is merged with another: its count is the
    // region's.
    const bool borderCut = atBorder && vertices == t.vertices + 1 && kHiddenShare * area <= t.area;
    const bool whole = !looksHidden(t, area);
    const auto other = [vertices](int count) { return count > 0 && vertices != count; };
    const bool differ = whole && !borderCut && vertices > 0 && other(t.vertices) &&
                        (!followed || other(t.lastVertices));
    const double sizes = area > 0.0 && t.area > 0.0 ? std::abs(std::log(area / t.area)) : 1.0;
    return (differ ? 1.0 : 0.0) + std::min(1.0, sizes);
}

bool cornerCut(const Track& t, int vertices, double area) {
    return t.vertices > 0 && vertices == t.vertices + 1 && kSameSize * area < t.area;
}

double colourUnlikeness(const Track& t, const std::vector<cv::Scalar>& colours, std::size_t j) {
    if (colours.empty() || !t.coloured) {
        return 0.0;
    }
    return std::min(1.0, cv::norm(colours[j] - t.colour) / kColourSpan);
}

}  // namespace shapemark::track
