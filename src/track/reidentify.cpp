#include "track/reidentify.hpp"

#include "track/assignment.hpp"
#include "track/shape_likeness.hpp"

namespace shapemark::track {

namespace {

// A track re-identified by what it looks like may differ in area by this factor either way:
// a shape seen whole after a long loss is often measured partly hidden, or merged, before.
constexpr double kReidentifiedArea = 1.4;

}  // namespace

std::vector<bool> reidentify(const std::vector<Track>& tracks,
                             const std::vector<cv::Point2d>& expected,
                             const std::vector<Shape>& shapes, const std::vector<double>& areas,
                             const std::vector<bool>& enters,
                             const std::vector<cv::Scalar>& colours, const Reidentification& at,
                             std::vector<int>& columnOfRow) {
    const std::vector<bool> taken = pairedColumns(columnOfRow, shapes.size());
    cv::Mat cost(static_cast<int>(tracks.size()), static_cast<int>(shapes.size()), CV_64F,
                 cv::Scalar(kForbidden));
    for (int i = 0; i < cost.rows; ++i) {
        const Track& t = tracks[i];
        if (columnOfRow[i] >= 0 || t.id == 0 || t.lastSeen >= at.previousFrame || t.vertices == 0) {
            continue;
        }
        const auto lost = static_cast<double>(at.frameNumber - t.lastSeen);
        const double radius = areaRadius(t);
        const double reach = std::min(at.centreGate, radius + cv::norm(t.velocity) * lost);
        for (int j = 0; j < cost.cols; ++j) {
            const double ratio = areas[j] / t.area;
            // How far, as a share of the reach it lies within: 1 at its edge.
            const double far = std::min(cv::norm(shapes[j].centre - t.seen) / reach,
                                        cv::norm(shapes[j].centre - expected[i]) / radius);
            if (!taken[j] && !enters[j] && simpleVertices(shapes[j]) == t.vertices &&
                ratio <= kReidentifiedArea && ratio >= 1.0 / kReidentifiedArea && far <= 1.0) {
                cost.at<double>(i, j) =
                    far + sizeUnlikeness(areas[j], t.area) +
                    at.colourWeight * colourUnlikeness(t, colours, static_cast<std::size_t>(j));
            }
        }
    }
    const std::vector<int> columns = assignOptimal(cost);
    std::vector<bool> paired(tracks.size(), false);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i] >= 0) {
            columnOfRow[i] = columns[i];
            paired[i] = true;
        }
    }
    return paired;
}

}  // namespace shapemark::track
