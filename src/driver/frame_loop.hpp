// The frame loop: read, count, select, process, show, pace; then the shutdown.
#pragma once

#include <shapemark/tracker.hpp>

#include <shapemark/detector_params.hpp>

#include <memory>
#include <optional>
#include <string>

#include "cli/progress.hpp"
#include "driver/detect_ahead.hpp"
#include "driver/output_locks.hpp"
#include "input/frame_source.hpp"
#include "output/ordered_outputs.hpp"
#include "output/windows.hpp"

namespace shapemark {

// The state of one run, made by the set-up and owned by main.
struct RunState {
    std::unique_ptr<FrameSource> source;
    int fps = 0;
    Detector detector;
    int skipRate = 1;       // never 0: the command line refuses it
    bool dropLate = false;  // a live input: frames the run is too slow for are dropped
    Windows windows = Windows::On;
    std::unique_ptr<OrderedOutputs> outputs;
    // Headless: frames are marked on other cores while the main thread decodes. With windows,
    // each frame is shown as it is marked, at the frame period: nothing to gain.
    std::unique_ptr<DetectAhead> ahead;
    // With tracking: the one tracker of the run, fed in frame order as frames come back marked,
    // never inside the marking pool; and whether the ids are drawn.
    TrackerParams trackerParams;  // from the parameters file
    std::optional<Tracker> tracker;
    bool drawIds = false;
    std::unique_ptr<cli::ProgressLine> progress;
    OutputLocks locks;        // on the recording and the log, while the run lasts
    cli::RunSummary summary;  // counted as the run goes
};

// How the run ended.
struct RunResult {
    int status = 0;       // 0, or 128 + the signal that ended the run
    std::string failure;  // what failed in the tool itself, for standard error; empty if nothing
    OutputReport outputs;
};

// Whether marking samples the shapes' colours for the tracker: tracking with the colour cue on.
bool samplesColours(const RunState& run);

// One processed frame: detect, draw, show, hand the marked frame to the outputs, in frame order.
// With `run.ahead`, the frame itself is marked, later and on another thread, so the caller never
// writes to its pixels again (the frame reader never does); otherwise a copy is marked here.
// False once an output has failed. The benchmarks time this very function.
bool processFrame(const cv::Mat& frame, long long frameCount, double timeMs, RunState& run);

// Hands over every frame still being marked ahead; a lost output is reported when the outputs
// are drained. A frame whose marking failed is rethrown, and the frames after it are dropped.
void finishMarking(RunState& run);

// Expects the "Video" window to exist already when windows are on.
RunResult runFrameLoop(RunState& run);

}  // namespace shapemark
