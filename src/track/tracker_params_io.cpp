// The tracker's parameters in a parameters file: the `tracker:` map.
#include <opencv2/core/persistence.hpp>

#include <shapemark/tracker.hpp>

#include <stdexcept>
#include <string>

#include "params/yaml_map.hpp"

namespace shapemark {

namespace {
constexpr const char* kMinOverlap = "min_overlap";
constexpr const char* kCentreGate = "centre_gate";
constexpr const char* kConfirmFrames = "confirm_frames";
constexpr const char* kKeepLostFrames = "keep_lost_frames";
constexpr const char* kShapeWeight = "shape_weight";
constexpr const char* kColourWeight = "colour_weight";

// Reads `key` over `value` when the map gives it.
void readNumber(params::YamlMap& map, const char* key, double& value) {
    const cv::FileNode node = map.take(key);
    if (node.empty() || node.isNone()) {
        return;
    }
    if (!node.isReal() && !node.isInt()) {
        map.fail(key, "must be a number");
    }
    value = static_cast<double>(node.real());
}

void readWhole(params::YamlMap& map, const char* key, int& value) {
    const cv::FileNode node = map.take(key);
    if (node.empty() || node.isNone()) {
        return;
    }
    if (!node.isInt()) {
        map.fail(key, "must be a whole number");
    }
    value = static_cast<int>(node);
}
}  // namespace

TrackerParams readTrackerParams(const cv::FileNode& node) {
    TrackerParams params;
    // The file's key rule (no key twice, none unknown) is YamlMap's; a caller of the library
    // gets its refusal as the std::invalid_argument the header promises.
    try {
        params::YamlMap map(node, "tracker");
        readNumber(map, kMinOverlap, params.minOverlap);
        readNumber(map, kCentreGate, params.centreGate);
        readWhole(map, kConfirmFrames, params.confirmFrames);
        readWhole(map, kKeepLostFrames, params.keepLostFrames);
        readNumber(map, kShapeWeight, params.shapeWeight);
        readNumber(map, kColourWeight, params.colourWeight);
        map.finish();
    } catch (const params::ParamsFileError& error) {
        throw std::invalid_argument(error.what());
    }
    params.validate();
    return params;
}

void writeTrackerParams(cv::FileStorage& fs, const TrackerParams& params) {
    fs << "tracker"
       << "{";
    fs << kMinOverlap << params.minOverlap;
    fs << kCentreGate << params.centreGate;
    fs << kConfirmFrames << params.confirmFrames;
    fs << kKeepLostFrames << params.keepLostFrames;
    fs << kShapeWeight << params.shapeWeight;
    fs << kColourWeight << params.colourWeight;
    fs << "}";
}

}  // namespace shapemark
