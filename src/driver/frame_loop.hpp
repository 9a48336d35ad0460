// The frame loop: read, count, select, process, show, pace; then the shutdown.
#pragma once

#include <opencv2/videoio.hpp>

#include <memory>
#include <string>

#include "cli/progress.hpp"
#include "output/ordered_outputs.hpp"
#include "output/windows.hpp"

namespace shapemark {

// The state of one run, made by the set-up and owned by main.
struct RunState {
    cv::VideoCapture capture;
    int fps = 0;
    int areaSize = 0;
    int skipRate = 1;  // never 0: the command line refuses it
    Windows windows = Windows::On;
    std::unique_ptr<OrderedOutputs> outputs;
    std::unique_ptr<cli::ProgressLine> progress;
    cli::RunSummary summary;  // counted as the run goes
    // The frames the input's header claims; 0 when it does not say.
    long long announcedFrames = 0;
};

// How the run ended.
struct RunResult {
    int status = 0;       // 0, or 128 + the signal that ended the run
    std::string failure;  // what failed in the tool itself, for standard error; empty if nothing
    OutputReport outputs;
};

// One processed frame: detect, draw on a copy, show, hand the marked copy to the outputs.
// False once an output has failed. The benchmarks time this very function.
bool processFrame(const cv::Mat& frame, long long frameCount, double timeMs, RunState& run);

// Expects the "Video" window to exist already when windows are on.
RunResult runFrameLoop(RunState& run);

}  // namespace shapemark
