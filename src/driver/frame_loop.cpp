#include "driver/frame_loop.hpp"

#include <shapemark/shapemark.hpp>

#include <cstdio>
#include <utility>

#include "detector/detector.hpp"
#include "driver/interrupt.hpp"
#include "driver/pacing.hpp"
#include "output/windows.hpp"

namespace shapemark {

namespace {
constexpr int kSignalStatusBase = 128;  // the shell's convention for "ended by signal n"

// Shows the captured frame and waits out its frame period; true when Escape was pressed.
bool showAndPace(const cv::Mat& frame, const RunState& run, Pacer& pacer) {
    if (run.windows == Windows::Off) {
        return false;  // nobody watches and no key can come
    }
    return showVideo(frame, pacer.waitMs(Pacer::Clock::now()));
}

void closeWindows(const RunState& run) {
    shapemark::closeWindows(run.windows);
}
}  // namespace

bool processFrame(const cv::Mat& frame, long long frameCount, double timeMs, RunState& run) {
    ProcessedFrame processed;
    processed.frameCount = frameCount;
    processed.timeMs = timeMs;
    processed.shapes = detect(frame, run.areaSize);
    cloneFrame(frame, processed.img);
    draw(processed.img, processed.shapes);
    showProcessed(frame, processed.img, run.windows);
    run.summary.shapesMarked += static_cast<long long>(processed.shapes.size());
    // Moved, not copied; and no reference stays behind, so the frame is freed where the
    // outputs finish with it, never under a reader.
    return run.outputs->handOver(std::move(processed));
}

RunResult runFrameLoop(RunState& run) {
    RunResult result;
    // 64 bits: a counter that cannot overflow on any real input; printed values are the same.
    long long frameCount = 0;
    cv::Mat frame;
    Pacer pacer(pacingWaitMs(run.fps));
    for (;;) {
        run.capture.read(frame);
        ++frameCount;
        std::printf("%lld/n", frameCount);
        std::fflush(stdout);  // no line break ever comes, so flush each count
        if (!frame.empty()) {
            ++run.summary.framesRead;
        }
        run.progress->update(run.summary.framesRead);
        if (frameCount % run.skipRate == 0) {
            if (frame.empty()) {
                break;
            }
            ++run.summary.framesProcessed;
            const double timeMs = run.capture.get(cv::CAP_PROP_POS_MSEC);
            const bool outputsSound = processFrame(frame, frameCount, timeMs, run);
            // A lost output ends the run as Escape would: what was handed over is kept.
            if (showAndPace(frame, run, pacer) || !outputsSound) {
                break;
            }
        }
        if (interruptSignal() != 0) {
            break;
        }
    }
    closeWindows(run);
    run.capture.release();
    // Every frame handed over is written before the recording is completed.
    result.outputs = run.outputs->drain();
    const int signalNumber = interruptSignal();
    result.status = signalNumber != 0 ? kSignalStatusBase + signalNumber : 0;
    return result;
}

}  // namespace shapemark
