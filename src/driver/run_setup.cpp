#include "driver/run_setup.hpp"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "cli/exit_status.hpp"
#include "driver/environment.hpp"
#include "driver/interrupt.hpp"
#include "driver/output_paths.hpp"
#include "driver/thread_budget.hpp"
#include "input/ffmpeg_names.hpp"
#include "input/frame_source.hpp"
#include "input/input_properties.hpp"
#include "input/live_rule.hpp"
#include "output/muted_stderr.hpp"
#include "output/snapshot.hpp"
#include "output/why_not_recordable.hpp"

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

// The files the video library writes for OUTPUT, by their paths.
std::vector<std::string> recordingFiles(const cli::Settings& settings) {
    std::vector<std::string> paths;
    for (const LocalFile& file : resolveLibraryName(settings.outputPath, NameRole::Output).files) {
        if (file.descriptor < 0) {
            paths.push_back(file.path);
        }
    }
    return paths;
}

// Locks the recording and the log. Returns the refusal line when another run holds one of
// them; then nothing is left locked or made.
std::string lockOutputs(const cli::Settings& settings, OutputLocks& locks) {
    const std::vector<std::string> recording = recordingFiles(settings);
    std::vector<std::pair<std::string, const char*>> outputs;
    std::transform(recording.begin(), recording.end(), std::back_inserter(outputs),
                   [](const std::string& path) { return std::make_pair(path, "output"); });
    if (settings.detectionsPath) {
        outputs.emplace_back(*settings.detectionsPath, "detection log");
    }
    for (const auto& [path, what] : outputs) {
        if (!locks.take(path)) {
            locks.removeAllMade();
            return std::string("shapemark: ") + what + " '" + path +
                   "' is being written by another run; wait for it to end, or choose another\n";
        }
    }
    return {};
}
}  // namespace

std::optional<int> setUpRun(const cli::Settings& settings, RunState& run) {
    const std::string clash = clashingPaths(settings);
    if (!clash.empty()) {
        std::fputs(clash.c_str(), stderr);
        return kStatusUsage;
    }
    keepFrameMemory();
    const ThreadBudget budget = takeThreadBudget(settings.threads);
    run.summary.threads = budget.threads;
    run.summary.cpus = budget.cpus;
    const mode_t fileMode = newFileMode();
    const bool quiet = quietLibraryLog();
    installInterruptHandlers();
    run.skipRate = settings.skipRate;
    if (settings.track) {
        run.tracker.emplace(run.trackerParams);
        run.drawIds = settings.drawIds;
    }

    // Nothing is written before the input is known to open: its outputs stay untouched.
    try {
        const MutedStderr muted(quiet);
        run.source = FrameSource::open(settings.inputPath);
    } catch (const InputError& error) {
        std::fprintf(stderr, "shapemark: cannot open input '%s': %s\n", settings.inputPath.c_str(),
                     error.what());
        return kStatusNoInput;
    }
    // Before the log or the recording is emptied: another run may be writing them.
    const std::string locked = lockOutputs(settings, run.locks);
    if (!locked.empty()) {
        std::fputs(locked.c_str(), stderr);
        return kStatusUsage;
    }
    const cv::Size size = run.source->size();
    const int width = size.width;
    const int height = size.height;
    run.dropLate = run.source->canDrop() && !settings.noDrop;
    const double sourceFps = run.source->fps();
    // A live input records at 25 fps when it tells no rate; a file then records nothing.
    const double inputFps =
        run.source->canDrop() && !(sourceFps > 0) ? kLiveFallbackFps : sourceFps;
    run.fps = truncateProperty(inputFps);
    run.windows = settings.windows ? windowsFromEnvironment() : Windows::Off;
    openWindows(run.windows);

    OutputSinks sinks;
    if (settings.detectionsPath) {
        const std::string& path = *settings.detectionsPath;
        sinks.log = std::make_unique<DetectionLog>(path, *logFormatFor(path),
                                                   settings.track ? LogIds::With : LogIds::Without);
        if (!sinks.log->failure().empty()) {
            std::fprintf(stderr, "%s\n", sinks.log->failure().c_str());
            return kStatusOutputLost;
        }
    }
    const double recordingFps = recordingRate(inputFps);
    sinks.recording = std::make_unique<Recording>(settings.outputPath, recordingFps,
                                                  cv::Size(width, height), quiet);
    if (sinks.recording->isOpen()) {
        run.summary.recordingPath = settings.outputPath;
    } else {
        for (const std::string& path : recordingFiles(settings)) {
            run.locks.removeMade(path);
        }
        std::fprintf(
            stderr, "shapemark: cannot record to '%s' %s\n", settings.outputPath.c_str(),
            whyNotRecordable(settings.outputPath, recordingFps, cv::Size(width, height), quiet)
                .c_str());
    }
    if (settings.windows && run.windows == Windows::Off) {
        std::fprintf(stderr, "shapemark: no display found; windows are off\n");
    }
    sinks.snapshotPath = settings.snapshotPath;
    if (sinks.snapshotPath) {
        removeStaleDrafts(*sinks.snapshotPath);
    }
    sinks.snapshotMode = fileMode;
    sinks.snapshotAtEnd = settings.snapshotAtEnd;

    // A live input runs as long as it is sent, whatever count it announces.
    run.progress = std::make_unique<cli::ProgressLine>(
        cli::ProgressLine::choose(settings.progress),
        run.source->canDrop() ? 0.0 : run.source->property(cv::CAP_PROP_FRAME_COUNT));
    run.outputs =
        std::make_unique<OrderedOutputs>(std::move(sinks), static_cast<unsigned>(budget.threads));
    if (run.windows == Windows::Off) {
        run.ahead =
            std::make_unique<DetectAhead>(run.detector, budget.threads, samplesColours(run));
    }
    return std::nullopt;
}

}  // namespace shapemark
