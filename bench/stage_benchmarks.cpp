// Stage benchmarks: each per-frame stage of the tool alone, then the whole processed frame as
// the frame loop runs it headless, at four resolutions, on synthetic and on decoded frames.
//
//   stage_benchmarks [--benchmark_filter=640x480] [--benchmark_format=json] ...
//
// Each figure comes as real time and as the CPU time of the whole process (all threads): on a
// shared machine the second is the steadier one.
//
// The stage sum (clone + binarise + scan + snapshot save + video write) is what a serial frame
// would cost; the pipelined whole frame costs less. snapshotEncode is the snapshot's own PNG
// encoder, pngEncode the library's, on the same frames. Real camera footage (opencv-doc's
// vtest.avi) is timed beside the sample scenes when it is installed.
#include <benchmark/benchmark.h>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <shapemark/shapemark.hpp>

#include "bench_frames.hpp"
#include "detector/detector.hpp"
#include "driver/frame_loop.hpp"
#include "driver/thread_budget.hpp"
#include "output/snapshot.hpp"
#include "output/windows.hpp"
#include "png/png_encoder.hpp"
#include "scratch_folder.hpp"

namespace shapemark::bench {

namespace {
constexpr int kAreaSize = 100;  // the end-to-end runs use the same value
const DetectorParams kParams{DetectorKind::Classic, kAreaSize};
constexpr double kFps = 25.0;
constexpr mode_t kFileMode = 0644;

const std::vector<cv::Size> kSizes = {{640, 480}, {1280, 720}, {1920, 1080}, {3840, 2160}};

std::string sizeName(cv::Size size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// Cycles through the set's frames, so that consecutive iterations see consecutive frames.
struct Cursor {
    std::size_t count;
    std::size_t k = 0;
    std::size_t next() {
        const std::size_t current = k;
        k = (k + 1) % count;
        return current;
    }
};

void setCounters(benchmark::State& state, const FrameSet& set) {
    state.counters["contours"] = set.contoursPerFrame;
    state.SetItemsProcessed(state.iterations());
}

void benchClone(benchmark::State& state, const FrameSet& set) {
    Cursor cursor{set.frames.size()};
    while (state.KeepRunning()) {
        cv::Mat img;
        cloneFrame(set.frames[cursor.next()], img);
        benchmark::DoNotOptimize(img.data);
    }
    setCounters(state, set);
}

void benchBinarise(benchmark::State& state, const FrameSet& set) {
    Cursor cursor{set.frames.size()};
    while (state.KeepRunning()) {
        cv::Mat imgGrayScale;
        cv::Mat Iat;
        binariseFrame(set.frames[cursor.next()], imgGrayScale, Iat);
        benchmark::DoNotOptimize(Iat.data);
    }
    setCounters(state, set);
}

void benchScan(benchmark::State& state, const FrameSet& set) {
    // The scan only clears the binary images' outermost pixels, the same each time, so the
    // images can be reused; the outlines go on private canvases.
    std::vector<cv::Mat> canvases(set.frames.size());
    std::transform(set.frames.begin(), set.frames.end(), canvases.begin(),
                   [](const cv::Mat& frame) { return frame.clone(); });
    std::vector<cv::Mat> binaries = set.binary;
    Cursor cursor{set.frames.size()};
    while (state.KeepRunning()) {
        const std::size_t k = cursor.next();
        Storage storage;
        scanContours(binaries[k], kParams, storage);
        for (const Mark& mark : storage.marked) {
            drawPolygonOutline(canvases[k], storage.polygons[mark.polygon]);
        }
        benchmark::DoNotOptimize(storage.polygons.data());
    }
    setCounters(state, set);
}

void benchPngEncode(benchmark::State& state, const FrameSet& set) {
    Cursor cursor{set.frames.size()};
    double bytes = 0.0;
    while (state.KeepRunning()) {
        std::vector<uchar> png;
        cv::imencode(".png", set.marked[cursor.next()], png);
        bytes += static_cast<double>(png.size());
    }
    setCounters(state, set);
    state.counters["png_bytes"] = bytes / static_cast<double>(state.iterations());
}

void benchSnapshotEncode(benchmark::State& state, const FrameSet& set) {
    Cursor cursor{set.frames.size()};
    double bytes = 0.0;
    while (state.KeepRunning()) {
        std::vector<std::uint8_t> png;
        png::encodePng(set.marked[cursor.next()], png);
        bytes += static_cast<double>(png.size());
    }
    setCounters(state, set);
    state.counters["png_bytes"] = bytes / static_cast<double>(state.iterations());
}

void benchSnapshot(benchmark::State& state, const FrameSet& set, const std::string& folder) {
    const std::string path = folder + "/snapshot.png";
    Cursor cursor{set.frames.size()};
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(saveSnapshot(set.marked[cursor.next()], path, kFileMode));
    }
    setCounters(state, set);
    std::filesystem::remove(path);
}

// The library's own file write of the same PNG, as a yardstick for saveSnapshot's
// write-then-rename.
void benchImwrite(benchmark::State& state, const FrameSet& set, const std::string& folder) {
    const std::string path = folder + "/imwrite.png";
    Cursor cursor{set.frames.size()};
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(cv::imwrite(path, set.marked[cursor.next()]));
    }
    setCounters(state, set);
    std::filesystem::remove(path);
}

// Opens the writer as the tool does and writes the set once: the codec's start (stream header,
// first key frame) is not the steady cost of a frame.
cv::VideoWriter openWarmWriter(const std::string& path, const FrameSet& set) {
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'P', '4', '2'), kFps,
                           set.frames.front().size(), true);
    for (const cv::Mat& img : set.marked) {
        writer.write(img);
    }
    return writer;
}

void benchVideoWrite(benchmark::State& state, const FrameSet& set, const std::string& folder) {
    const cv::Size size = set.frames.front().size();
    const std::string path = folder + "/write_" + sizeName(size) + ".avi";
    cv::VideoWriter writer = openWarmWriter(path, set);
    if (!writer.isOpened()) {
        state.SkipWithError("cannot open the MP42 writer");
        return;
    }
    Cursor cursor{set.frames.size()};
    while (state.KeepRunning()) {
        writer.write(set.marked[cursor.next()]);
    }
    writer.release();
    setCounters(state, set);
    std::filesystem::remove(path);
}

// Outputs as a headless run has them: the snapshot at the tool's fixed path (below the current
// folder) and an MP42 recording, on their own threads.
void openOutputs(RunState& run, const std::string& recording, cv::Size size) {
    OutputSinks sinks;
    sinks.snapshotPath = kSnapshotPath;
    sinks.snapshotMode = kFileMode;
    sinks.recording = std::make_unique<Recording>(recording, kFps, size, true);
    run.outputs =
        std::make_unique<OrderedOutputs>(std::move(sinks), static_cast<unsigned>(usableCpus()));
    run.detector = Detector(kParams);
    run.windows = Windows::Off;
}

// The processed iteration of the frame loop, headless, through the ordered outputs. Since the
// hand-off blocks when full, the time per iteration is the pipeline's throughput.
void benchWholeFrame(benchmark::State& state, const FrameSet& set, const std::string& folder,
                     int libraryThreads) {
    const cv::Size size = set.frames.front().size();
    const std::string path = folder + "/whole_" + sizeName(size) + ".avi";
    RunState run;
    openOutputs(run, path, size);
    const int threadsBefore = cv::getNumThreads();
    if (libraryThreads > 0) {
        cv::setNumThreads(libraryThreads);
    }
    // The codec's start (stream header, first key frame) is not the steady cost of a frame.
    long long frameCount = 0;
    for (const cv::Mat& frame : set.frames) {
        processFrame(frame, ++frameCount, 0.0, run);
    }
    Cursor cursor{set.frames.size()};
    while (state.KeepRunning()) {
        processFrame(set.frames[cursor.next()], ++frameCount, 0.0, run);
    }
    run.outputs->drain();
    cv::setNumThreads(threadsBefore);
    setCounters(state, set);
    state.counters["cv_threads"] = libraryThreads > 0 ? libraryThreads : threadsBefore;
    std::filesystem::remove(path);
}

// Frames of a video, over and over; reopening it at its end is not timed.
class VideoLoop {
  public:
    explicit VideoLoop(std::string path) : path_(std::move(path)), capture_(path_) {}
    // A new buffer for every frame, as the tool's reader gives.
    const cv::Mat& next(benchmark::State& state) {
        frame_.release();
        if (!capture_.read(frame_)) {
            state.PauseTiming();
            capture_.open(path_);
            capture_.read(frame_);
            state.ResumeTiming();
        }
        return frame_;
    }

  private:
    std::string path_;
    cv::VideoCapture capture_;
    cv::Mat frame_;
};

// A processed frame on one thread, without outputs: decode, detect, clone and draw. Windowed
// runs, which mark each frame as it is shown, do this on the main thread.
void benchMainThread(benchmark::State& state, const std::string& video) {
    VideoLoop loop(video);
    while (state.KeepRunning()) {
        const cv::Mat& frame = loop.next(state);
        const std::vector<Shape> shapes = detect(frame, kAreaSize);
        cv::Mat img;
        cloneFrame(frame, img);
        draw(img, shapes);
        benchmark::DoNotOptimize(img.data);
    }
    state.SetItemsProcessed(state.iterations());
}

// A processed frame of a headless run with every snapshot written: decode, then processFrame,
// marking ahead on other threads, through the ordered outputs. Its time ÷ the frame period is
// the real-time headroom.
void benchRunFrame(benchmark::State& state, const std::string& video, const std::string& folder) {
    VideoLoop loop(video);
    const cv::Mat& first = loop.next(state);
    const std::string path = folder + "/run_" + sizeName(first.size()) + ".avi";
    RunState run;
    openOutputs(run, path, first.size());
    run.ahead = std::make_unique<DetectAhead>(run.detector, usableCpus());
    long long frameCount = 0;
    processFrame(first, ++frameCount, 0.0, run);
    while (state.KeepRunning()) {
        processFrame(loop.next(state), ++frameCount, 0.0, run);
    }
    finishMarking(run);
    run.outputs->drain();
    state.SetItemsProcessed(state.iterations());
    std::filesystem::remove(path);
}

// Reading the input is not a stage of the processed frame, but it is part of every run.
void benchDecode(benchmark::State& state, const std::string& video) {
    cv::VideoCapture capture(video);
    cv::Mat frame;
    while (state.KeepRunning()) {
        if (!capture.read(frame)) {
            state.PauseTiming();
            capture.open(video);
            capture.read(frame);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(frame.data);
    }
    state.SetItemsProcessed(state.iterations());
}

// The running counter: one short formatted write per frame, with and without the flush.
void benchCounter(benchmark::State& state, const char* target, bool flush) {
    std::FILE* out = std::fopen(target, "w");
    if (out == nullptr) {
        state.SkipWithError("cannot open the counter's target");
        return;
    }
    long long frameCount = 0;
    while (state.KeepRunning()) {
        ++frameCount;
        std::fprintf(out, "%lld/n", frameCount);
        if (flush) {
            std::fflush(out);
        }
    }
    std::fclose(out);
    state.SetItemsProcessed(state.iterations());
}

// The "Parallel framework:" line of the library's build information, e.g. "TBB (ver ...)".
std::string parallelFramework() {
    const std::string& info = cv::getBuildInformation();
    const std::string label = "Parallel framework:";
    const std::size_t start = info.find(label);
    if (start == std::string::npos) {
        return "unknown";
    }
    const std::size_t valueStart = info.find_first_not_of(' ', start + label.size());
    return info.substr(valueStart, info.find('\n', valueStart) - valueStart);
}

using SetBenchmark = std::function<void(benchmark::State&, const FrameSet&)>;

void registerStage(FrameBank& bank, const std::string& stage, cv::Size size, Source source,
                   const SetBenchmark& run) {
    const std::string name = stage + "/" + sizeName(size) + "/" + sourceName(source);
    benchmark::RegisterBenchmark(
        name.c_str(),
        [&bank, size, source, run](benchmark::State& state) { run(state, bank.get(size, source)); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
}

void registerVideo(const std::string& label, const std::string& video, const std::string& folder) {
    const auto add = [&](const std::string& stage,
                         const std::function<void(benchmark::State&)>& run) {
        benchmark::RegisterBenchmark((stage + "/" + label).c_str(), run)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MeasureProcessCPUTime();
    };
    add("decodeFrame", [video](benchmark::State& state) { benchDecode(state, video); });
    add("mainThread", [video](benchmark::State& state) { benchMainThread(state, video); });
    add("runFrame",
        [video, folder](benchmark::State& state) { benchRunFrame(state, video, folder); });
}

void registerSet(FrameBank& bank, const std::string& folder, cv::Size size, Source source) {
    registerStage(bank, "cloneFrame", size, source, benchClone);
    registerStage(bank, "binariseFrame", size, source, benchBinarise);
    registerStage(bank, "scanContours", size, source, benchScan);
    registerStage(bank, "pngEncode", size, source, benchPngEncode);
    registerStage(bank, "snapshotEncode", size, source, benchSnapshotEncode);
    registerStage(
        bank, "saveSnapshot", size, source,
        [folder](benchmark::State& s, const FrameSet& set) { benchSnapshot(s, set, folder); });
    registerStage(
        bank, "imwrite", size, source,
        [folder](benchmark::State& s, const FrameSet& set) { benchImwrite(s, set, folder); });
    registerStage(
        bank, "videoWrite", size, source,
        [folder](benchmark::State& s, const FrameSet& set) { benchVideoWrite(s, set, folder); });
    registerStage(
        bank, "wholeFrame", size, source,
        [folder](benchmark::State& s, const FrameSet& set) { benchWholeFrame(s, set, folder, 0); });
    registerStage(
        bank, "wholeFrameOneThread", size, source,
        [folder](benchmark::State& s, const FrameSet& set) { benchWholeFrame(s, set, folder, 1); });
}

void registerAll(FrameBank& bank, const std::string& folder) {
    for (const cv::Size size : kSizes) {
        for (const Source source : {Source::Synthetic, Source::Decoded}) {
            registerSet(bank, folder, size, source);
        }
        // The sample video is written on first use, so its path is asked for only then.
        const std::string label = sizeName(size) + "/decoded";
        const auto add = [&](const std::string& stage, auto bench) {
            benchmark::RegisterBenchmark((stage + "/" + label).c_str(),
                                         [&bank, size, bench, folder](benchmark::State& state) {
                                             bench(state, bank.sampleVideo(size), folder);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->MeasureProcessCPUTime();
        };
        add("decodeFrame", [](benchmark::State& s, const std::string& v, const std::string&) {
            benchDecode(s, v);
        });
        add("mainThread", [](benchmark::State& s, const std::string& v, const std::string&) {
            benchMainThread(s, v);
        });
        add("runFrame", [](benchmark::State& s, const std::string& v, const std::string& f) {
            benchRunFrame(s, v, f);
        });
    }
    const std::string footageFile = footageVideo();
    const cv::VideoCapture footage(footageFile);
    if (footage.isOpened()) {
        const cv::Size size(static_cast<int>(footage.get(cv::CAP_PROP_FRAME_WIDTH)),
                            static_cast<int>(footage.get(cv::CAP_PROP_FRAME_HEIGHT)));
        registerSet(bank, folder, size, Source::Footage);
        registerVideo(sizeName(size) + "/footage", footageFile, folder);
    }
    const std::string counterFile = folder + "/counter.txt";
    benchmark::RegisterBenchmark("counter/flushed/devnull", benchCounter, "/dev/null", true)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("counter/flushed/file", [counterFile](benchmark::State& s) {
        benchCounter(s, counterFile.c_str(), true);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("counter/buffered/file", [counterFile](benchmark::State& s) {
        benchCounter(s, counterFile.c_str(), false);
    })->Unit(benchmark::kMicrosecond);
}
}  // namespace

}  // namespace shapemark::bench

int main(int argc, char** argv) {
    using namespace shapemark::bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const ScratchFolder scratch;
    // The whole frame saves its snapshot at the tool's relative path, so run from a folder
    // that holds the snapshot's folder.
    const std::filesystem::path snapshot(shapemark::kSnapshotPath);
    std::filesystem::create_directories(scratch.path() / snapshot.parent_path());
    const std::filesystem::path startFolder = std::filesystem::current_path();
    std::filesystem::current_path(scratch.path());

    FrameBank bank(scratch.path());
    registerAll(bank, scratch.path());
    benchmark::AddCustomContext("cv_num_threads", std::to_string(cv::getNumThreads()));
    benchmark::AddCustomContext("cv_num_cpus", std::to_string(cv::getNumberOfCPUs()));
    benchmark::AddCustomContext("cv_parallel_framework", parallelFramework());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::current_path(startFolder);
    return 0;
}
