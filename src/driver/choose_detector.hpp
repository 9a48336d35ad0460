// The run's detector: the defaults, under the --params file, under the command line's options.
#pragma once

#include <shapemark/detector_params.hpp>
#include <shapemark/tracker.hpp>

#include <optional>

#include "cli/command_line.hpp"

namespace shapemark {

// The parameters the options give, checked. Throws params::ParamsFileError for a bad file and
// std::invalid_argument for a bad value, each naming the key and its range.
// With `tracker`, the file's tracker parameters are read over it too.
DetectorParams effectiveParams(const cli::DetectorOptions& options,
                               TrackerParams* tracker = nullptr);

// Builds `detector` from the options, or prints the parameters for --print-params. Returns the
// exit status when the program ends here (a refusal, before any file is touched, or a print).
std::optional<int> chooseDetector(const cli::DetectorOptions& options, Detector& detector,
                                  TrackerParams& tracker);

}  // namespace shapemark
