#include "driver/frame_loop.hpp"

#include <opencv2/highgui.hpp>

#include <cstdio>

#include "detector/detector.hpp"
#include "driver/run_setup.hpp"

namespace shapemark {

namespace {
constexpr int kEscapeKey = 27;
constexpr int kSignalStatusBase = 128;  // the shell's convention for "ended by signal n"

// Shows the captured frame and waits one frame period; true when Escape was pressed.
bool showAndPace(const cv::Mat& frame, const RunState& run) {
    if (run.windows == Windows::Off) {
        return false;  // nobody watches and no key can come
    }
    cv::imshow("Video", frame);
    const int key = cv::waitKey(pacingWaitMs(run.fps));
    return (key & 0xFF) == kEscapeKey;
}

void shutDown(RunState& run) {
    if (run.windows == Windows::On) {
        cv::destroyWindow("Video");
        cv::destroyAllWindows();
    }
    run.capture.release();
    run.writer.release();  // completes the recording's index and header
}
}  // namespace

void processFrame(const cv::Mat& frame, RunState& run) {
    cv::Mat img;
    cv::Mat imgGrayScale;
    cv::Mat Iat;
    Storage storage;
    cloneFrame(frame, img);
    showRawFrame(img, run.windows);
    binariseFrame(img, imgGrayScale, Iat);
    scanContours(Iat, img, run.areaSize, storage);
    outputTrackedFrame(img, run.writer, run.windows);
    releaseFrameObjects(storage, img, imgGrayScale, Iat);
}

int runFrameLoop(RunState& run) {
    // 64 bits: a counter that cannot overflow on any real input; printed values are the same.
    long long frameCount = 0;
    cv::Mat frame;
    for (;;) {
        run.capture.read(frame);
        ++frameCount;
        std::printf("%lld/n", frameCount);
        std::fflush(stdout);  // no line break ever comes, so flush each count
        if (frameCount % run.skipRate == 0) {
            if (frame.empty()) {
                break;
            }
            processFrame(frame, run);
            if (showAndPace(frame, run)) {
                break;
            }
        }
        if (interruptSignal() != 0) {
            break;
        }
    }
    shutDown(run);
    const int signalNumber = interruptSignal();
    return signalNumber != 0 ? kSignalStatusBase + signalNumber : 0;
}

}  // namespace shapemark
