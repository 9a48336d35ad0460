#include "track/shape_likeness.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace shapemark::track {

namespace {

// Mean colours this far apart (BGR units) are as unlike as colours get: a shape's own mean moves
// by about 1 from frame to frame, and by up to about 13 when partly merged with another.
constexpr double kColourSpan = 20.0;

// A shape of this many corners or more has blunt ones (120 degrees or more), which the detector
// now and then splits or merges into a neighbour: a shape one corner off the count its track
// learnt counts this much as another count (scene 1501 frame 58: a hexagon seen with 7 corners
// went to a neighbour's track). Only near where the track is expected (centres within twice its
// radius: the two overlap); farther off, a shape of the next count is as often another one (scene
// 1104 frame 52: an octagon's track lost 12 frames took a heptagon 60 px off). Not against the
// last shape's count alone: that may be a miscount itself, and two miscounts apart are another
// shape (scene 803 frame 111).
constexpr int kBluntCorners = 6;
constexpr double kMiscounted = 0.5;

// Whether two vertex counts are one blunt corner apart.
bool oneBluntCornerOff(int a, int b) {
    return std::min(a, b) >= kBluntCorners && std::abs(a - b) == 1;
}

}  // namespace

double unlikeness(const Track& t, const Shape& shape, double area, bool followed,
                  cv::Point2d expected, bool atBorder) {
    const int vertices = simpleVertices(shape);
    // Grown past a quarter, a shape at the border is merged with another: its count is the
    // region's.
    const bool borderCut = atBorder && vertices == t.vertices + 1 && kHiddenShare * area <= t.area;
    const bool whole = !looksHidden(t, area);
    const auto other = [vertices](int count) { return count > 0 && vertices != count; };
    const bool differ = whole && !borderCut && vertices > 0 && other(t.vertices) &&
                        (!followed || other(t.lastVertices));
    const bool miscounted = oneBluntCornerOff(vertices, t.vertices) &&
                            cv::norm(shape.centre - expected) <= 2.0 * areaRadius(t);
    const double sizes = sizeUnlikeness(area, t.area);
    return (differ ? (miscounted ? kMiscounted : 1.0) : 0.0) + std::min(1.0, sizes);
}

double sizeUnlikeness(double area, double otherArea) {
    return area > 0.0 && otherArea > 0.0 ? std::abs(std::log(area / otherArea)) : 1.0;
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
