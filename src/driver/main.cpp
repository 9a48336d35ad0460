// shapemark: marks the simple convex shapes of a recorded video.
#include <malloc.h>

#include <cstdio>

#include <opencv2/highgui.hpp>

#include "driver/frame_loop.hpp"
#include "driver/run_setup.hpp"

namespace {
constexpr int kStatusUsage = -1;
constexpr int kStatusNoInput = 1;

// Each processed frame allocates and frees its three images. By default glibc maps large blocks
// afresh and hands freed memory back at once, so every 4K frame faults its pages in again. Up to
// these sizes the blocks stay in the heap and are reused; results are unchanged, memory stays
// flat, and 4K frames run about 5% faster.
constexpr int kHeapBlockLimit = 32 << 20;  // above one 3840x2160 colour image
constexpr int kHeapTrimLimit = 128 << 20;  // above one such frame's three images together

void keepFrameMemory() {
    mallopt(M_MMAP_THRESHOLD, kHeapBlockLimit);
    mallopt(M_TRIM_THRESHOLD, kHeapTrimLimit);
}

const char* const kUsage =
    "Please pass video file name, output video file name,area size, skipped frames rate\n";
}  // namespace

int main(int argc, char** argv) {
    using namespace shapemark;
    if (argc < 5) {
        std::printf(" %s", kUsage);
        return kStatusUsage;
    }
    const char* inputPath = argv[1];
    const char* outputPath = argv[2];

    RunState run;
    run.areaSize = parseDecimal(argv[3]);
    run.skipRate = parseDecimal(argv[4]);
    // Refused before any file is touched: the skip rule divides by the skip rate.
    if (run.skipRate == 0) {
        std::fprintf(stderr, "shapemark: skip rate '%s' must be a whole number other than 0\n",
                     argv[4]);
        return kStatusUsage;
    }
    // Recording over the input would truncate it while it is being read.
    if (namesSameFile(inputPath, outputPath)) {
        std::fprintf(stderr, "shapemark: output '%s' is the input file itself; choose another\n",
                     outputPath);
        return kStatusUsage;
    }
    keepFrameMemory();
    const bool quiet = quietLibraryLog();
    installInterruptHandlers();

    {
        const MutedStderr muted(quiet);
        run.capture.open(inputPath);
    }
    const int width = truncateProperty(run.capture.get(cv::CAP_PROP_FRAME_WIDTH));
    const int height = truncateProperty(run.capture.get(cv::CAP_PROP_FRAME_HEIGHT));
    run.fps = truncateProperty(run.capture.get(cv::CAP_PROP_FPS));
    // The writer opens only now, so an unreadable input leaves the output path untouched.
    if (!run.capture.isOpened()) {
        return kStatusNoInput;
    }
    // The "Video" window comes before the writer: if the window system fails after all, the
    // toolkit aborts the process, and the output path must then be untouched.
    run.windows = windowsFromEnvironment();
    if (run.windows == Windows::On) {
        cv::namedWindow("Video", cv::WINDOW_AUTOSIZE);
    }
    {
        const MutedStderr muted(quiet);
        run.writer.open(outputPath, cv::VideoWriter::fourcc('M', 'P', '4', '2'),
                        static_cast<double>(run.fps), cv::Size(width, height), true);
    }
    if (!run.writer.isOpened()) {
        std::fprintf(stderr,
                     "shapemark: cannot record to '%s' (MP42 needs an AVI container); "
                     "try a name ending in .avi\n",
                     outputPath);
    }
    if (run.windows == Windows::Off) {
        std::fprintf(stderr, "shapemark: no display found; windows are off\n");
    }
    return runFrameLoop(run);
}
