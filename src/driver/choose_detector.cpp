#include "driver/choose_detector.hpp"

#include <cstdio>
#include <stdexcept>

#include "cli/exit_status.hpp"
#include "params/params_file.hpp"

namespace shapemark {

DetectorParams effectiveParams(const cli::DetectorOptions& options, TrackerParams* tracker) {
    DetectorParams params;
    if (options.paramsPath) {
        params::readParamsFile(*options.paramsPath, params, tracker);
    }
    if (options.detector) {
        params.detector = *options.detector;
    }
    if (options.maxArea) {
        params.maxArea = *options.maxArea;
    }
    if (options.vertices) {
        params.minVertices = options.vertices->first;
        params.maxVertices = options.vertices->second;
    }
    if (options.minArea) {
        params.minArea = *options.minArea;
    }
    params.validate();
    return params;
}

std::optional<int> chooseDetector(const cli::DetectorOptions& options, Detector& detector,
                                  TrackerParams& tracker) {
    try {
        const DetectorParams params = effectiveParams(options, &tracker);
        if (options.printParams) {
            std::fputs(params::paramsYaml(params, tracker).c_str(), stdout);
            return 0;
        }
        detector = Detector(params);
    } catch (const params::ParamsFileError& error) {
        std::fprintf(stderr, "shapemark: %s\n", error.what());
        return kStatusUsage;
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "shapemark: %s; see 'shapemark --help'\n", error.what());
        return kStatusUsage;
    }
    return std::nullopt;
}

}  // namespace shapemark
