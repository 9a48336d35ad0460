#include <shapemark/tracker.hpp>

#include <cmath>
#include <stdexcept>
#include <string>

namespace shapemark {

namespace {
void require(bool holds, const char* field, const char* range) {
    if (!holds) {
        throw std::invalid_argument(std::string("tracker parameter ") + field + " must be " +
                                    range);
    }
}
}  // namespace

void TrackerParams::validate() const {
    constexpr double kFarthestGate = 100000.0;
    constexpr int kMostConfirmFrames = 1000;
    constexpr int kMostKeptFrames = 1000000;
    constexpr double kHeaviestShape = 10.0;  // and colour
    require(std::isfinite(minOverlap) && minOverlap >= 0.0 && minOverlap <= 1.0, "min_overlap",
            "from 0 to 1");
    require(std::isfinite(centreGate) && centreGate > 0.0 && centreGate <= kFarthestGate,
            "centre_gate", "above 0 and at most 100000 pixels");
    require(confirmFrames >= 1 && confirmFrames <= kMostConfirmFrames, "confirm_frames",
            "from 1 to 1000 processed frames");
    require(keepLostFrames >= 0 && keepLostFrames <= kMostKeptFrames, "keep_lost_frames",
            "from 0 to 1000000 input frames");
    require(std::isfinite(shapeWeight) && shapeWeight >= 0.0 && shapeWeight <= kHeaviestShape,
            "shape_weight", "from 0 to 10");
    require(std::isfinite(colourWeight) && colourWeight >= 0.0 && colourWeight <= kHeaviestShape,
            "colour_weight", "from 0 to 10");
}

}  // namespace shapemark
