#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <optional>
#include <vector>

#include "detector/contour_hull.hpp"
#include "detector/polygon_fits.hpp"
#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

namespace {

// How far the contour strays from its polygon along the middle of the polygon's edges (the
// median, so that a speck of texture touching an edge does not count): a fraction of a pixel
// for the straight edges of a true polygon, whose rounded corners do not count, and most of
// the arc's height along a curve.
double midEdgeDeviation(const Contour& contour, const Contour& polygon) {
    std::vector<double> deviations;
    deviations.reserve(contour.size());
    const std::size_t n = polygon.size();
    // Each edge's start, direction and squared length, the same for every point.
    struct Edge {
        cv::Point2d a;
        cv::Point2d ab;
        double length2 = 0.0;
    };
    std::vector<Edge> edges(n);
    for (std::size_t k = 0; k < n; ++k) {
        edges[k].a = cv::Point2d(polygon[k]);
        edges[k].ab = cv::Point2d(polygon[(k + 1) % n]) - edges[k].a;
        edges[k].length2 = edges[k].ab.dot(edges[k].ab);
    }
    for (const cv::Point& point : contour) {
        const cv::Point2d p(point);
        double nearest = std::numeric_limits<double>::max();
        bool middle = false;
        for (const Edge& edge : edges) {
            const cv::Point2d& a = edge.a;
            const cv::Point2d& ab = edge.ab;
            const double length2 = edge.length2;
            const double t = length2 > 0.0 ? std::clamp((p - a).dot(ab) / length2, 0.0, 1.0) : 0.0;
            const cv::Point2d d = p - (a + t * ab);
            const double distance = std::sqrt(d.dot(d));
            if (distance < nearest) {
                nearest = distance;
                middle = t > tuning::kEdgeEnds && t < 1.0 - tuning::kEdgeEnds;
            }
        }
        if (middle) {
            deviations.push_back(nearest);
        }
    }
    if (deviations.empty()) {
        return 0.0;
    }
    const auto half = deviations.begin() + static_cast<std::ptrdiff_t>(deviations.size() / 2);
    std::nth_element(deviations.begin(), half, deviations.end());
    return *half;
}

// The polygon whose vertex count holds over the widest range of tolerances: a corner stays a
// vertex until the tolerance reaches its depth, while the vertices of a rounded corner or a
// curve come and go as the tolerance grows. `run` is how many tolerances agree on it.
Contour stablePolygon(const Contour& contour, double unit, std::size_t& run) {
    const double perimeter = cv::arcLength(contour, true);
    std::vector<double> tolerances(tuning::kApproxShares.size());
    for (std::size_t i = 0; i < tolerances.size(); ++i) {
        tolerances[i] = std::max(tuning::kApproxShares[i] * perimeter, tuning::kApproxFloor * unit);
    }
    std::vector<Contour> polygons;
    closedPolygonFits(contour, tolerances, polygons);
    std::size_t best = 0;
    std::size_t bestRun = 0;
    for (std::size_t start = 0; start < polygons.size();) {
        std::size_t end = start;
        while (end < polygons.size() && polygons[end].size() == polygons[start].size()) {
            ++end;
        }
        if (end - start > bestRun) {
            bestRun = end - start;
            best = (start + end - 1) / 2;
        }
        start = end;
    }
    run = bestRun;
    return polygons[best];
}

// The square of the plane's Sobel gradient at one pixel, which lies at least one pixel inside
// it: an integer, exact.
int squaredGradientAt(const cv::Mat& plane, cv::Point p) {
    const auto* above = plane.ptr<uchar>(p.y - 1) + p.x;
    const auto* row = plane.ptr<uchar>(p.y) + p.x;
    const auto* below = plane.ptr<uchar>(p.y + 1) + p.x;
    const int gx = above[1] + 2 * row[1] + below[1] - above[-1] - 2 * row[-1] - below[-1];
    const int gy = below[-1] + 2 * below[0] + below[1] - above[-1] - 2 * above[0] - above[1];
    return gx * gx + gy * gy;
}

// The least squared gradient whose magnitude, times `unit`, makes a real edge: an edge point is
// one whose sqrt(g²) · unit ≥ kMinEdgeStrength, a test that only grows with g² (the root and
// the product are rounded monotonically), so the squares that pass are those from a threshold
// on. The threshold is the exact one's ceiling, moved by the very test past its rounding.
int leastEdgeSquare(double unit) {
    auto strong = [&](int squared) {
        return std::sqrt(static_cast<double>(squared)) * unit >= tuning::kMinEdgeStrength;
    };
    constexpr int kMostSquare = 2 * (4 * 255) * (4 * 255);  // both Sobel sums at their extreme
    const double exact = std::ceil(std::pow(tuning::kMinEdgeStrength / unit, 2));
    int least = static_cast<int>(std::clamp(exact, 0.0, static_cast<double>(kMostSquare + 1)));
    while (least > 0 && strong(least - 1)) {
        --least;
    }
    while (least <= kMostSquare && !strong(least)) {
        ++least;
    }
    return least;  // kMostSquare + 1: no gradient makes an edge
}

// Whether at least `share` of the contour runs along a real edge of `plane`: all of it for a
// shape's outer edge; part of it for a halo, for a piece of a larger shape cut off by a
// threshold, or for a blob of texture. It stops as soon as the rest cannot change the answer.
bool runsAlongEdge(const Contour& contour, const cv::Mat& plane, double unit, double share) {
    const std::size_t n = contour.size();
    if (n == 0) {
        return false;
    }
    // The fewest points on the edge that make the share, by the very comparison of the share.
    auto enough = [&](std::size_t count) {
        return static_cast<double>(count) / static_cast<double>(n) >= share;
    };
    auto need = static_cast<std::size_t>(std::max(0.0, std::ceil(share * static_cast<double>(n))));
    while (need > 0 && enough(need - 1)) {
        --need;
    }
    while (need <= n && !enough(need)) {
        ++need;
    }
    const int edgeSquare = leastEdgeSquare(unit);
    std::size_t onEdge = 0;
    for (std::size_t i = 0; i < n && onEdge < need && onEdge + (n - i) >= need; ++i) {
        onEdge += squaredGradientAt(plane, contour[i]) >= edgeSquare ? 1 : 0;
    }
    return onEdge >= need;
}

// The part of the frame whose points lie off its border (tuning::kBorderMargin).
cv::Rect insideBorder(const cv::Rect& frame) {
    const int m = tuning::kBorderMargin;
    return {frame.tl() + cv::Point(m, m), frame.size() - cv::Size(2 * m, 2 * m)};
}

// The pixels along the closed polygon's edges, 8-connected, each once.
Contour polygonOutline(const Contour& polygon) {
    Contour outline;
    for (std::size_t k = 0; k < polygon.size(); ++k) {
        cv::LineIterator line(polygon[k], polygon[(k + 1) % polygon.size()], 8);
        for (int i = 0; i + 1 < line.count; ++i, ++line) {
            outline.push_back(line.pos());
        }
    }
    return outline;
}

// The candidate of a flat fill (floodedFill), on filledRingCandidate's terms.
Candidate fillCandidate(const FloodedFill& fill, const cv::Mat& plane, const cv::Rect& frame,
                        double unit, int minVertices, int maxVertices) {
    if (!fill.outline) {
        return {};
    }
    const Contour& outline = *fill.outline;
    const double least = fill.clipped ? tuning::kClippedFillSize : tuning::kMinFillSize;
    if (std::sqrt(contourAreaOf(outline)) < least * unit ||
        !runsAlongEdge(outline, plane, unit, tuning::kFillEdgeShare)) {
        return {};
    }
    Candidate filled = cornerCandidate(outline, plane, frame, unit, minVertices, maxVertices);
    if (!filled.passes || looksRound(outline, filled.polygon, tuning::kFillRoundRatio)) {
        return {};
    }
    return filled;
}

// The candidate of the flat fill inside the hull of a region whose box (the hull's too) is
// `box`, off the frame's border: grown in that box and kept inside the hull, and, when it fails
// there and the box cuts it, again in the box widened by tuning::kFloodRoom (a shadow broke the
// ring, whose hull then covers part of the shape only: not kept inside the hull).
Candidate fillOfHull(const Contour& hull, const cv::Rect& box, const cv::Mat& plane,
                     const cv::Rect& frame, double unit, int minVertices, int maxVertices) {
    const FloodedFill inBox = floodedFill(plane, hull, box, true);
    Candidate filled = fillCandidate(inBox, plane, frame, unit, minVertices, maxVertices);
    if (filled.passes || !inBox.cut) {
        return filled;
    }
    const cv::Point widen(cvRound(tuning::kFloodRoom * box.width),
                          cvRound(tuning::kFloodRoom * box.height));
    const cv::Rect room(box.tl() - widen, box.br() + widen);
    // Off the border, so that the gradient around each point of the fill's outline is read.
    return fillCandidate(floodedFill(plane, hull, room & insideBorder(frame), false), plane, frame,
                         unit, minVertices, maxVertices);
}

}  // namespace

Candidate openRingCandidate(const Contour& contour, const cv::Mat& plane, const cv::Rect& frame,
                            double unit, double window, int minVertices, int maxVertices) {
    // One the border cuts is left to the border's own test (its gradient is not read there).
    const cv::Rect inside = insideBorder(frame);
    // Most regions that fail the edge test are specks of texture, narrower than the window
    // along a side of their box: those cost no hull.
    const cv::Rect box = cv::boundingRect(contour);
    if (box.width < window || box.height < window || (box & inside) != box) {
        return {};
    }
    Contour hull;
    contourHull(contour, hull);
    if (!wideEnough(hull, contourAreaOf(hull), box, window)) {
        return {};
    }
    // The hull's outline stands in for the contour, so it is judged as a piece cut out of a
    // region is, on the piece's edge share: a blob of texture's hull mostly fails it.
    Candidate whole =
        cornerCandidate(polygonOutline(hull), plane, frame, unit, minVertices, maxVertices, true);
    if (whole.passes) {
        return whole;
    }
    return fillOfHull(hull, box, plane, frame, unit, minVertices, maxVertices);
}

Candidate filledRingCandidate(const Contour& contour, const cv::Mat& plane, const cv::Rect& frame,
                              double unit, double window, int minVertices, int maxVertices) {
    const cv::Rect box = cv::boundingRect(contour);
    if (box.width < window || box.height < window || (box & insideBorder(frame)) != box) {
        return {};
    }
    Contour hull;
    contourHull(contour, hull);
    return fillOfHull(hull, box, plane, frame, unit, minVertices, maxVertices);
}

namespace {

// The candidate of the hull of the contour's points on an edge, when at least
// tuning::kEdgeHullShare of them are, that hull's outline runs along an edge
// (tuning::kSplitEdgeShare), passes, and its fill is flat; none otherwise.
std::optional<Candidate> edgeHullCandidate(const Contour& contour, const cv::Mat& plane,
                                           const cv::Rect& frame, double unit, int minVertices,
                                           int maxVertices) {
    // One the border cuts keeps its own test: the border's points have no gradient here.
    const cv::Rect box = cv::boundingRect(contour);
    if ((box & insideBorder(frame)) != box) {
        return std::nullopt;
    }
    const double need = tuning::kEdgeHullShare * static_cast<double>(contour.size());
    const int edgeSquare = leastEdgeSquare(unit);
    Contour edgePoints;
    edgePoints.reserve(contour.size());
    for (std::size_t i = 0; i < contour.size(); ++i) {
        if (static_cast<double>(edgePoints.size() + (contour.size() - i)) < need) {
            return std::nullopt;
        }
        if (squaredGradientAt(plane, contour[i]) >= edgeSquare) {
            edgePoints.push_back(contour[i]);
        }
    }
    if (edgePoints.size() < 3 || static_cast<double>(edgePoints.size()) < need) {
        return std::nullopt;
    }
    Contour hull;
    contourHull(edgePoints, hull);
    Candidate whole =
        cornerCandidate(polygonOutline(hull), plane, frame, unit, minVertices, maxVertices, true);
    if (!whole.passes || !flatFill(plane, hull, frame)) {
        return std::nullopt;
    }
    return whole;
}

}  // namespace

Candidate pieceCandidate(const Contour& contour, const cv::Mat& plane, const cv::Rect& frame,
                         double unit, int minVertices, int maxVertices) {
    Candidate piece = cornerCandidate(contour, plane, frame, unit, minVertices, maxVertices, true);
    // A piece that runs along an edge but fails for its outline (concave, or its polygon not
    // convex) may owe that to texture left joined or a crack, which its edge's hull leaves out.
    if (piece.onEdge && !piece.jagged) {
        return piece;
    }
    std::optional<Candidate> hull =
        edgeHullCandidate(contour, plane, frame, unit, minVertices, maxVertices);
    return hull ? std::move(*hull) : piece;
}

Candidate wholeCandidate(const Contour& contour, const cv::Mat& plane, const cv::Rect& frame,
                         double unit, int minVertices, int maxVertices) {
    Candidate whole = cornerCandidate(contour, plane, frame, unit, minVertices, maxVertices);
    // Only a polygon that holds but is not convex: a concave region is cut into pieces, each
    // judged as above, and the hull of every concave blob of texture would cost the most.
    if (!whole.onEdge || !whole.jagged || whole.polygon.empty()) {
        return whole;
    }
    std::optional<Candidate> hull =
        edgeHullCandidate(contour, plane, frame, unit, minVertices, maxVertices);
    return hull ? std::move(*hull) : whole;
}

Candidate cornerCandidate(const Contour& contour, const cv::Mat& plane, const cv::Rect& frame,
                          double unit, int minVertices, int maxVertices, bool piece) {
    Candidate candidate;
    // Where the border cuts the shape, the contour follows the border: only the rest of it
    // tells an edge from a halo and a corner from a curve.
    const cv::Rect inside = insideBorder(frame);
    Contour own;
    const bool atBorder = std::any_of(contour.begin(), contour.end(),
                                      [&](const cv::Point& p) { return !inside.contains(p); });
    if (atBorder) {
        std::copy_if(contour.begin(), contour.end(), std::back_inserter(own),
                     [&](const cv::Point& p) { return inside.contains(p); });
        if (static_cast<double>(own.size()) <
            tuning::kMinOwnEdge * static_cast<double>(contour.size())) {
            return candidate;
        }
    }
    const Contour& edge = atBorder ? own : contour;
    candidate.onEdge = runsAlongEdge(
        edge, plane, unit, piece || atBorder ? tuning::kSplitEdgeShare : tuning::kMinEdgeShare);
    if (!candidate.onEdge) {
        return candidate;  // a halo: dropped before any polygon is fitted
    }
    candidate.area = contourAreaOf(contour);
    Contour hull;
    contourHull(contour, hull);
    candidate.hull.assign(hull.begin(), hull.end());
    const double hullArea = cv::contourArea(candidate.hull);
    if (candidate.area >= tuning::kMinSolidity * hullArea) {
        std::size_t run = 0;
        candidate.polygon = stablePolygon(contour, unit, run);
        const auto vertices = static_cast<int>(candidate.polygon.size());
        const bool counted =
            run >= tuning::kMinStableRun && vertices >= minVertices && vertices <= maxVertices;
        const bool convex = counted && cv::isContourConvex(candidate.polygon);
        candidate.jagged = counted && !convex;
        candidate.passes =
            convex &&
            midEdgeDeviation(edge, candidate.polygon) <=
                tuning::kCurveShare * std::sqrt(candidate.area) + tuning::kEdgeNoise * unit &&
            !looksRound(edge, candidate.polygon, tuning::kRoundRatio);
    } else {
        // Concave: no polygon of its own (fitting one costs the most here, and a failing
        // candidate's polygon is never used).
        // A hole that reaches the edge bites a round notch out of the outline: the shape is
        // the polygon of its hull, if the rest of the outline follows that polygon.
        std::size_t hullRun = 0;
        Contour outline = stablePolygon(hull, unit, hullRun);
        const auto n = static_cast<int>(outline.size());
        if (hullRun >= tuning::kMinStableRun && n >= minVertices && n <= maxVertices &&
            cv::isContourConvex(outline) && roundNotch(contour, outline, unit)) {
            candidate.polygon = std::move(outline);
            candidate.area = hullArea;
            candidate.passes = true;
        } else {
            candidate.jagged = true;
        }
    }
    // A region the border cuts that fails says little (part of it is out of sight): it
    // neither votes against the candidates it overlaps nor is cut again.
    candidate.onEdge = candidate.onEdge && (candidate.passes || !atBorder);
    return candidate;
}

}  // namespace shapemark::robust
