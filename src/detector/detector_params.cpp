#include <shapemark/detector_params.hpp>

#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>

namespace shapemark {

namespace {
template <typename T>
void require(bool ok, const char* field, const char* range, T value) {
    if (!ok) {
        std::ostringstream what;
        what << field << " must be " << range << ", not " << value;
        throw std::invalid_argument(what.str());
    }
}

bool odd(int value) {
    return value % 2 != 0;
}
}  // namespace

void DetectorParams::validate() const {
    require(detector == DetectorKind::Classic || detector == DetectorKind::Robust, "detector",
            "classic or robust", static_cast<int>(detector));
    if (maxArea) {
        require(std::isfinite(*maxArea) && *maxArea > 0.0, "max_area", "a positive number or none",
                *maxArea);
    }
    require(minVertices >= kFewestVertices && minVertices <= kMostVertices, "min_vertices",
            "3 to 8", minVertices);
    require(maxVertices >= minVertices && maxVertices <= kMostVertices, "max_vertices",
            "min_vertices to 8", maxVertices);
    require(thresholdBlock >= 3 && thresholdBlock <= 1001 && odd(thresholdBlock), "threshold_block",
            "odd, 3 to 1001", thresholdBlock);
    require(thresholdOffset >= 0.0 && thresholdOffset <= 255.0, "threshold_offset", "0 to 255",
            thresholdOffset);
    require(
        medianAperture == 1 || (medianAperture >= 3 && medianAperture <= 7 && odd(medianAperture)),
        "median_aperture", "1 (off) or odd, 3 to 7", medianAperture);
    require(approxTolerance >= 0.0 && approxTolerance <= 0.5, "approx_tolerance", "0 to 0.5",
            approxTolerance);
    require(cleanupPasses >= 0 && cleanupPasses <= 10, "cleanup_passes", "0 to 10", cleanupPasses);
}

}  // namespace shapemark
