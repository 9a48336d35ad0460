#include <opencv2/imgproc.hpp>

#include <algorithm>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

const Candidate* strokeAround(const Candidate& hole, const std::vector<Candidate>& candidates) {
    // The colour-opponent planes see a colour shape's fill against ground of either sign: only
    // lightness tells a hole from what surrounds it.
    if (colourPlane(hole.plane)) {
        return nullptr;
    }
    const cv::Rect box = cv::boundingRect(hole.hull);
    const double area = cv::contourArea(hole.hull);
    const auto stroke =
        std::find_if(candidates.begin(), candidates.end(), [&](const Candidate& stroke) {
            // A larger stroke of the opposite lightness that runs along an edge but fails as a
            // curve, as round or on a drifting vertex count; one that fails for texture joined
            // to it (jagged, or a region a piece was cut out of) says nothing of what it
            // encloses.
            if (stroke.passes || stroke.jagged || stroke.cut || colourPlane(stroke.plane) ||
                (stroke.offset > 0) == (hole.offset > 0) || stroke.area <= area ||
                (cv::boundingRect(stroke.hull) & box) != box) {
                return false;
            }
            std::vector<cv::Point2f> common;
            return cv::intersectConvexConvex(stroke.hull, hole.hull, common, true) >=
                   tuning::kInsideShare * area;
        });
    return stroke == candidates.end() ? nullptr : &*stroke;
}

}  // namespace shapemark::robust
