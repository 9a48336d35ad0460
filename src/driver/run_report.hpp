// The end of a run: what standard error is told, and the exit status.
#pragma once

#include "driver/frame_loop.hpp"

namespace shapemark {

// Prints the summary, the lost outputs and the tool's own failure; returns the exit status.
int reportRun(const RunResult& result, RunState& run);

}  // namespace shapemark
