#include "track/hidden_pieces.hpp"

#include <algorithm>

#include "track/assignment.hpp"
#include "track/frame_border.hpp"

namespace shapemark::track {

namespace {

// A shape slower than this (pixels a frame) whose pieces shrink is more often being covered by
// another moving over it, which may uncover it again at once, than going behind something.
constexpr double kSlowestGoingBehind = 2.0;

// The farthest a point of an outline about its centre lies from it.
double radiusOf(const FloatPolygon& whole) {
    double radius = 0.0;
    for (const cv::Point2f& point : whole) {
        radius = std::max(radius, cv::norm(point));
    }
    return radius;
}

}  // namespace

cv::Point2d withinReach(const FloatPolygon& whole, cv::Point2d centre, cv::Point2d piece) {
    const double radius = radiusOf(whole);
    const cv::Point2d off = centre - piece;
    const double distance = cv::norm(off);
    return distance <= radius || radius <= 0.0 ? centre : piece + off * (radius / distance);
}

bool comesOut(const Track& t, cv::Point2d piece, double area, double lastArea) {
    return area > lastArea && (piece - t.seen).dot(t.velocity) > 0.0 &&
           cv::norm(t.centre - piece) <= 2.0 * radiusOf(t.whole);
}

bool comesOutWhereGoing(const Track& t, double area, double lastArea, cv::Point2d piece,
                        bool missed) {
    const bool goingBehind = t.hiding >= kLeavingShrinks || (t.hiding > 0 && area > t.area);
    return !missed && goingBehind && kHiddenShare * area > lastArea &&
           cv::norm(t.velocity) > kSlowestGoingBehind && (piece - t.seen).dot(t.velocity) < 0.0;
}

bool goesFurtherBehind(const Track& t, double area, double lastArea, cv::Point2d piece) {
    return kSameSize * area < lastArea && looksHidden(t, area) &&
           cv::norm(piece - t.seen) <= radiusOf(t.whole);
}

void preferWhole(const std::vector<Track>& tracks, const std::vector<cv::Point2d>& expected,
                 const std::vector<Shape>& shapes, const std::vector<double>& areas,
                 const cv::Mat& cost, std::vector<int>& columnOfRow) {
    std::vector<bool> taken = pairedColumns(columnOfRow, shapes.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const Track& t = tracks[i];
        const int paired = columnOfRow[i];
        if (paired < 0 || !looksHidden(t, areas[paired])) {
            continue;
        }
        double nearest = cv::norm(shapes[paired].centre - expected[i]);
        int better = -1;
        for (int j = 0; j < cost.cols; ++j) {
            const double distance = cv::norm(shapes[j].centre - expected[i]);
            if (!taken[j] && distance < nearest && !looksHidden(t, areas[j]) &&
                areas[j] <= kMergedGrowth * t.area &&
                cost.at<double>(static_cast<int>(i), j) < kForbidden) {
                nearest = distance;
                better = j;
            }
        }
        if (better >= 0) {
            taken[paired] = false;
            taken[better] = true;
            columnOfRow[i] = better;
        }
    }
}

}  // namespace shapemark::track
