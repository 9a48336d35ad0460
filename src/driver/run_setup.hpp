// The run's set-up: from the settings, the input's properties and the environment to an open
// input, windows and outputs.
#pragma once

#include <optional>

#include "cli/command_line.hpp"
#include "driver/frame_loop.hpp"

namespace shapemark {

// Opens the input, the windows and the outputs. Returns the exit status when the run must end
// before it starts; nothing to write to has then been touched.
std::optional<int> setUpRun(const cli::Settings& settings, RunState& run);

}  // namespace shapemark
