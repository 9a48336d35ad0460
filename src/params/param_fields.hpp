// The detector's parameters by name: the snake_case key of each field, as the --params file,
// --print-params and Python's keywords spell it, in the order they are printed.
#pragma once

#include <shapemark/detector_params.hpp>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <variant>

namespace shapemark::params {

using FieldMember = std::variant<DetectorKind DetectorParams::*, int DetectorParams::*,
                                 double DetectorParams::*, std::optional<double> DetectorParams::*>;

struct ParamField {
    std::string_view key;
    FieldMember member;
};

inline const std::array<ParamField, 10> kParamFields = {{
    {"detector", &DetectorParams::detector},
    {"min_area", &DetectorParams::minArea},
    {"max_area", &DetectorParams::maxArea},
    {"min_vertices", &DetectorParams::minVertices},
    {"max_vertices", &DetectorParams::maxVertices},
    {"threshold_block", &DetectorParams::thresholdBlock},
    {"threshold_offset", &DetectorParams::thresholdOffset},
    {"median_aperture", &DetectorParams::medianAperture},
    {"approx_tolerance", &DetectorParams::approxTolerance},
    {"cleanup_passes", &DetectorParams::cleanupPasses},
}};

// How an absent upper bound of the area window is spelled.
inline constexpr std::string_view kNoBound = "none";

inline constexpr std::string_view detectorName(DetectorKind kind) {
    return kind == DetectorKind::Robust ? "robust" : "classic";
}

inline std::optional<DetectorKind> detectorKind(std::string_view name) {
    constexpr std::array<DetectorKind, 2> kKinds = {DetectorKind::Classic, DetectorKind::Robust};
    const auto* found = std::find_if(kKinds.begin(), kKinds.end(), [name](DetectorKind kind) {
        return name == detectorName(kind);
    });
    return found == kKinds.end() ? std::nullopt : std::optional<DetectorKind>(*found);
}

}  // namespace shapemark::params
