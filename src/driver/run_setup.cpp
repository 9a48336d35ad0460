#include "driver/run_setup.hpp"

#include <malloc.h>
#include <unistd.h>

#include <opencv2/highgui.hpp>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "output/muted_stderr.hpp"
#include "output/snapshot.hpp"

namespace shapemark {

namespace {
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

struct NamedPath {
    const char* what;
    std::string path;
};

// A file the run writes must not be the input, nor another file the run writes: a rename or a
// truncation would destroy it. Returns the refusal, or an empty string.
std::string clashingPaths(const cli::Settings& settings) {
    std::vector<NamedPath> outputs = {{"output", settings.outputPath}};
    if (settings.snapshotPath) {
        outputs.push_back({"snapshot", *settings.snapshotPath});
    }
    if (settings.detectionsPath) {
        outputs.push_back({"detection log", *settings.detectionsPath});
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const NamedPath& file = outputs[i];
        if (namesSameFile(settings.inputPath.c_str(), file.path.c_str())) {
            return std::string("shapemark: ") + file.what + " '" + file.path +
                   "' is the input file itself; choose another\n";
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (namesSameFile(outputs[j].path.c_str(), file.path.c_str())) {
                return std::string("shapemark: ") + file.what + " '" + file.path + "' is the " +
                       outputs[j].what + " too; choose another\n";
            }
        }
    }
    return {};
}

// The likely reason a recording did not open: a folder is the user's to fix; otherwise the
// container is one that no codec of the library fits.
const char* whyNotRecordable(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const std::string where = folder.empty() ? "." : folder.string();
    std::error_code error;
    if (!std::filesystem::is_directory(where, error)) {
        return "(its folder does not exist)";
    }
    if (::access(where.c_str(), W_OK) != 0) {
        return "(its folder is not writable)";
    }
    return "(MP42 needs an AVI container); try a name ending in .avi";
}

}  // namespace

std::optional<int> setUpRun(const cli::Settings& settings, RunState& run) {
    const std::string clash = clashingPaths(settings);
    if (!clash.empty()) {
        std::fputs(clash.c_str(), stderr);
        return kStatusUsage;
    }
    keepFrameMemory();
    const mode_t fileMode = newFileMode();
    const bool quiet = quietLibraryLog();
    installInterruptHandlers();
    run.areaSize = settings.areaSize;
    run.skipRate = settings.skipRate;

    {
        const MutedStderr muted(quiet);
        run.capture.open(settings.inputPath);
    }
    const int width = truncateProperty(run.capture.get(cv::CAP_PROP_FRAME_WIDTH));
    const int height = truncateProperty(run.capture.get(cv::CAP_PROP_FRAME_HEIGHT));
    run.fps = truncateProperty(run.capture.get(cv::CAP_PROP_FPS));
    // Nothing is written before the input is known to open: its outputs stay untouched.
    if (!run.capture.isOpened()) {
        return kStatusNoInput;
    }
    // The "Video" window comes before any output file: if the window system fails after all,
    // the toolkit aborts the process, and the outputs must then be untouched.
    run.windows = settings.windows ? windowsFromEnvironment() : Windows::Off;
    if (run.windows == Windows::On) {
        cv::namedWindow("Video", cv::WINDOW_AUTOSIZE);
    }

    OutputSinks sinks;
    if (settings.detectionsPath) {
        const std::string& path = *settings.detectionsPath;
        sinks.log = std::make_unique<DetectionLog>(path, *logFormatFor(path));
        if (!sinks.log->failure().empty()) {
            std::fprintf(stderr, "%s\n", sinks.log->failure().c_str());
            return kStatusOutputLost;
        }
    }
    sinks.recording = std::make_unique<Recording>(settings.outputPath, static_cast<double>(run.fps),
                                                  cv::Size(width, height), quiet);
    if (sinks.recording->isOpen()) {
        run.summary.recordingPath = settings.outputPath;
    } else {
        std::fprintf(stderr, "shapemark: cannot record to '%s' %s\n", settings.outputPath.c_str(),
                     whyNotRecordable(settings.outputPath));
    }
    if (settings.windows && run.windows == Windows::Off) {
        std::fprintf(stderr, "shapemark: no display found; windows are off\n");
    }
    sinks.snapshotPath = settings.snapshotPath;
    sinks.snapshotMode = fileMode;
    sinks.snapshotAtEnd = settings.snapshotAtEnd;

    run.progress = std::make_unique<cli::ProgressLine>(cli::ProgressLine::choose(settings.progress),
                                                       run.capture.get(cv::CAP_PROP_FRAME_COUNT));
    run.outputs = std::make_unique<OrderedOutputs>(std::move(sinks));
    return std::nullopt;
}

int reportRun(const RunResult& result, RunState& run) {
    run.progress->finish(run.summary);
    for (const std::string& line : result.outputs.failures) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    return result.outputs.failures.empty() ? result.status : kStatusOutputLost;
}

}  // namespace shapemark
