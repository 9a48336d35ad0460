// The detector's parameters by name: the snake_case key of each field, as the --params file,
// --print-params and Python's keywords spell it, in the order they are printed.
#pragma once

#include <shapemark/detector_params.hpp>

#include <array>
#include <optional>
#include <string_view>
#include <variant>

namespace shapemark::params {

using FieldMember =
    std::variant<DetectorKind DetectorParams::*, int DetectorParams::*, double DetectorParams::*,
                 std::optional<double> DetectorParams::*>;

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
    for (const DetectorKind kind : {DetectorKind::Classic, DetectorKind::Robust}) {
        if (name == detectorName(kind)) {
            return kind;
        }
    }
    return std::nullopt;
}

}  // namespace shapemark::params
