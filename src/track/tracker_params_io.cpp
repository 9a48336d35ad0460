// The tracker's parameters in a parameters file: the `tracker:` map.
#include <opencv2/core/persistence.hpp>

#include <shapemark/tracker.hpp>

#include <set>
#include <stdexcept>
#include <string>

namespace shapemark {

namespace {
constexpr const char* kMinOverlap = "min_overlap";
constexpr const char* kCentreGate = "centre_gate";
constexpr const char* kConfirmFrames = "confirm_frames";
constexpr const char* kKeepLostFrames = "keep_lost_frames";
constexpr const char* kShapeWeight = "shape_weight";

[[noreturn]] void refuse(const std::string& what) {
    throw std::invalid_argument("tracker: " + what);
}

double readNumber(const cv::FileNode& value, const std::string& key) {
    if (!value.isReal() && !value.isInt()) {
        refuse(key + " must be a number");
    }
    return static_cast<double>(value.real());
}

int readWhole(const cv::FileNode& value, const std::string& key) {
    if (!value.isInt()) {
        refuse(key + " must be a whole number");
    }
    return static_cast<int>(value);
}
}  // namespace

TrackerParams readTrackerParams(const cv::FileNode& node) {
    TrackerParams params;
    if (node.empty() || node.isNone()) {
        return params;
    }
    if (!node.isMap()) {
        refuse("must be a map of " + std::string(kMinOverlap) + ", " + kCentreGate + ", " +
               kConfirmFrames + ", " + kKeepLostFrames + " and " + kShapeWeight);
    }
    std::set<std::string> seen;
    for (const cv::FileNode& value : node) {
        const std::string key = value.name();
        if (!seen.insert(key).second) {
            refuse("key '" + key + "' is given twice");
        }
        if (key == kMinOverlap) {
            params.minOverlap = readNumber(value, key);
        } else if (key == kCentreGate) {
            params.centreGate = readNumber(value, key);
        } else if (key == kConfirmFrames) {
            params.confirmFrames = readWhole(value, key);
        } else if (key == kKeepLostFrames) {
            params.keepLostFrames = readWhole(value, key);
        } else if (key == kShapeWeight) {
            params.shapeWeight = readNumber(value, key);
        } else {
            refuse("unknown key '" + key + "'; the keys are " + kMinOverlap + ", " + kCentreGate +
                   ", " + kConfirmFrames + ", " + kKeepLostFrames + " and " + kShapeWeight);
        }
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
    fs << "}";
}

}  // namespace shapemark
