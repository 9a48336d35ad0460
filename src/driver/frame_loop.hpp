// The frame loop: read, count, select, process, show, pace; then the shutdown.
#pragma once

#include <opencv2/videoio.hpp>

#include "output/output.hpp"

namespace shapemark {

// The state of one run, made by the set-up and owned by main.
struct RunState {
    cv::VideoCapture capture;
    cv::VideoWriter writer;
    int fps = 0;
    int areaSize = 0;
    int skipRate = 1;  // never 0: the set-up refuses it
    Windows windows = Windows::On;
};

// The six stages of one processed frame, from the working copy to the release of the frame's
// objects. The benchmarks time this very function.
void processFrame(const cv::Mat& frame, RunState& run);

// Expects the "Video" window to exist already when windows are on. Returns the exit status:
// 0, or 128 + the signal that ended the run.
int runFrameLoop(RunState& run);

}  // namespace shapemark
