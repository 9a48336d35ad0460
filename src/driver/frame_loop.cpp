#include "driver/frame_loop.hpp"

#include <opencv2/highgui.hpp>

#include <cstdio>

#include "detector/detector.hpp"
#include "driver/interrupt.hpp"
#include "driver/pacing.hpp"

namespace shapemark {

namespace {
constexpr int kEscapeKey = 27;
constexpr int kSignalStatusBase = 128;  // the shell's convention for "ended by signal n"

// Shows the captured frame and waits out its frame period; true when Escape was pressed.
bool showAndPace(const cv::Mat& frame, const RunState& run, Pacer& pacer) {
    if (run.windows == Windows::Off) {
        return false;  // nobody watches and no key can come
    }
    cv::imshow("Video", frame);
    const int key = cv::waitKey(pacer.waitMs(Pacer::Clock::now()));
    return (key & 0xFF) == kEscapeKey;
}

void closeWindows(const RunState& run) {
    if (run.windows == Windows::On) {
        cv::destroyWindow("Video");
        cv::destroyAllWindows();
    }
}
}  // namespace

bool processFrame(const cv::Mat& frame, long long frameCount, double timeMs, RunState& run) {
    cv::Mat img;
    cv::Mat imgGrayScale;
    cv::Mat Iat;
    Storage storage;
    cloneFrame(frame, img);
    showRawFrame(img, run.windows);
    binariseFrame(img, imgGrayScale, Iat);
    scanContours(Iat, img, run.areaSize, storage);
    run.summary.shapesMarked += static_cast<long long>(storage.marked.size());
    const bool outputsSound =
        outputTrackedFrame(img, storage, frameCount, timeMs, run.windows, *run.outputs);
    releaseFrameObjects(storage, img, imgGrayScale, Iat);
    return outputsSound;
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
