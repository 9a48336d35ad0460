#include "track/emerging.hpp"

#include <opencv2/imgproc.hpp>

#include <cmath>

#include "track/assignment.hpp"

namespace shapemark::track {

std::vector<bool> takeEmerging(const std::vector<GoneBehind>& gone,
                               const std::vector<Shape>& shapes, const std::vector<double>& areas,
                               const std::vector<bool>& enters, std::vector<int>& columnOfRow) {
    const std::vector<bool> taken = pairedColumns(columnOfRow, shapes.size());
    cv::Mat cost(static_cast<int>(gone.size()), static_cast<int>(shapes.size()), CV_64F,
                 cv::Scalar(kForbidden));
    for (int k = 0; k < cost.rows; ++k) {
        const GoneBehind& g = gone[k];
        for (int j = 0; j < cost.cols; ++j) {
            const cv::Point2d off = shapes[j].centre - g.lastPiece;
            const double distance = cv::norm(off);
            // A velocity learnt before the shape was last merged or hidden may be stale (no
            // step is measured from a centre carried on): the way its pieces went in counts too.
            const bool onWay = off.dot(g.way) > 0.0 || off.dot(g.pieceWay) > 0.0;
            if (!taken[j] && !enters[j] && areas[j] < g.pieceBelow && onWay &&
                distance > g.radius && distance <= g.reach) {
                cost.at<double>(k, j) = cv::norm(shapes[j].centre - g.expected);
            }
        }
    }
    const std::vector<int> columns = assignOptimal(cost);
    std::vector<bool> took(columnOfRow.size(), false);
    for (std::size_t k = 0; k < columns.size(); ++k) {
        if (columns[k] >= 0) {
            columnOfRow[gone[k].row] = columns[k];
            took[gone[k].row] = true;
        }
    }
    return took;
}

std::vector<GoneBehind> goneBehind(const std::vector<Track>& tracks,
                                   const std::vector<cv::Point2d>& expected,
                                   const std::vector<int>& columnOfRow, long long frameNumber,
                                   double centreGate) {
    std::vector<GoneBehind> gone;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const Track& t = tracks[i];
        const long long lost = frameNumber - t.lastSeen;
        if (columnOfRow[i] >= 0 || t.id == 0 || t.lookOnly || lost > kBriefLoss ||
            !looksHidden(t, cv::contourArea(t.outline))) {
            continue;
        }
        const double radius = areaRadius(t);
        const bool moving = t.measured > 0;
        const double travelled = cv::norm(t.velocity) * static_cast<double>(lost);
        const double reach = moving ? std::min(centreGate, 2.0 * radius + travelled) : centreGate;
        const cv::Point2d way = moving ? t.velocity : t.seen - t.centre;
        gone.push_back({static_cast<int>(i), t.seen, way, t.lastStep, radius, reach, expected[i],
                        kHiddenShare * t.area});
    }
    return gone;
}

}  // namespace shapemark::track
