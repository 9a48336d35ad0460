// The parameters file (--params) and its printed form (--print-params): YAML, one key per
// field of DetectorParams at the top level. Other components add their own nested map, read by
// one more call in readParamsFile and written by one more call in paramsYaml.
#pragma once

#include <shapemark/detector_params.hpp>
#include <shapemark/tracker.hpp>

#include <string>

#include "params/yaml_map.hpp"

namespace shapemark::params {

// Reads the detector's keys of `map` over `params`, then checks them (DetectorParams::validate).
// Throws ParamsFileError naming the key and its range.
void readDetectorParams(YamlMap& map, DetectorParams& params);

// Reads the file at `path` over `params`. The `%YAML:1.0` line that cv::FileStorage requires
// may be left out. Throws ParamsFileError for a file that cannot be read or parsed (naming the
// file and line), a repeated or unknown key, or a bad value (naming the key and its range).
// With `tracker`, its `tracker:` map is read over it too.
void readParamsFile(const std::string& path, DetectorParams& params,
                    TrackerParams* tracker = nullptr);

// The parameters as a file that readParamsFile reads back to the same values.
std::string paramsYaml(const DetectorParams& params, const TrackerParams& tracker = {});

}  // namespace shapemark::params
