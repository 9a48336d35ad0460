// What tracking costs beside detection, on the same frames: the share of a run it takes is at
// most track / detect, since a run also decodes, draws and records each frame. Tracked are the
// robust detector's shapes (--detector=robust --max-area=none), as the identities are scored;
// with the colour cue, the pool also samples the shapes' colours (colours).
//   track_benchmarks VIDEO [FRAMES] [benchmark options]
// VIDEO is best a moving scene of tools/make_tracking_scenes.py.
#include <benchmark/benchmark.h>

#include <opencv2/core/utility.hpp>
#include <opencv2/videoio.hpp>

#include <shapemark/detector_params.hpp>
#include <shapemark/shapemark.hpp>
#include <shapemark/tracker.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "first_frames.hpp"

namespace {

using shapemark::bench::firstFrames;

constexpr int kAreaSize = 100;

shapemark::Detector detectorOf(shapemark::DetectorKind kind) {
    shapemark::DetectorParams params;
    params.detector = kind;
    params.minArea = kAreaSize;
    if (kind == shapemark::DetectorKind::Robust) {
        params.maxArea.reset();
    }
    return shapemark::Detector(params);
}

void benchDetect(benchmark::State& state, const std::vector<cv::Mat>& frames,
                 shapemark::DetectorKind kind) {
    const shapemark::Detector detector = detectorOf(kind);
    std::size_t next = 0;
    while (state.KeepRunning()) {
        std::vector<shapemark::Shape> shapes = detector.detect(frames[next]);
        benchmark::DoNotOptimize(shapes.data());
        next = (next + 1) % frames.size();
    }
    state.SetItemsProcessed(state.iterations());
}

// Each frame's shapes' mean colours, as the marking pool samples them when a run tracks.
void benchColours(benchmark::State& state, const std::vector<cv::Mat>& frames,
                  const std::vector<std::vector<shapemark::Shape>>& shapes) {
    std::size_t next = 0;
    while (state.KeepRunning()) {
        std::vector<cv::Scalar> colours = shapemark::Tracker::colours(frames[next], shapes[next]);
        benchmark::DoNotOptimize(colours.data());
        next = (next + 1) % frames.size();
    }
    state.SetItemsProcessed(state.iterations());
}

// The frames' shapes in order, as a run feeds them; a new tracker each time round. With
// colours, the colour cue weighs in as colour_weight 2.
void benchTrack(benchmark::State& state, const std::vector<std::vector<shapemark::Shape>>& shapes,
                const std::vector<std::vector<cv::Scalar>>& colours) {
    shapemark::TrackerParams params;
    params.colourWeight = colours.empty() ? 0.0 : 2.0;
    shapemark::Tracker tracker(params);
    std::size_t next = 0;
    while (state.KeepRunning()) {
        if (next == 0) {
            state.PauseTiming();
            tracker = shapemark::Tracker(params);
            state.ResumeTiming();
        }
        std::vector<shapemark::TrackedShape> tracked =
            tracker.update(static_cast<long long>(next) + 1, shapes[next], cv::Size(),
                           colours.empty() ? std::vector<cv::Scalar>() : colours[next]);
        benchmark::DoNotOptimize(tracked.data());
        next = (next + 1) % shapes.size();
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: track_benchmarks VIDEO [FRAMES] [benchmark options]\n");
        return 2;
    }
    const int count = argc > 2 ? static_cast<int>(std::strtol(argv[2], nullptr, 10)) : 200;
    const std::vector<cv::Mat> frames = firstFrames(argv[1], count);
    if (frames.empty()) {
        std::fprintf(stderr, "track_benchmarks: no frame decoded from %s\n", argv[1]);
        return 1;
    }
    cv::setNumThreads(1);
    const shapemark::Detector robust = detectorOf(shapemark::DetectorKind::Robust);
    std::vector<std::vector<shapemark::Shape>> shapes(frames.size());
    std::transform(frames.begin(), frames.end(), shapes.begin(),
                   [&robust](const cv::Mat& frame) { return robust.detect(frame); });
    benchmark::RegisterBenchmark("detect_classic", benchDetect, frames,
                                 shapemark::DetectorKind::Classic)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("detect_robust", benchDetect, frames,
                                 shapemark::DetectorKind::Robust)
        ->Unit(benchmark::kMicrosecond);
    std::vector<std::vector<cv::Scalar>> colours(frames.size());
    for (std::size_t k = 0; k < frames.size(); ++k) {
        colours[k] = shapemark::Tracker::colours(frames[k], shapes[k]);
    }
    benchmark::RegisterBenchmark("track", benchTrack, shapes,
                                 std::vector<std::vector<cv::Scalar>>())
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("colours", benchColours, frames, shapes)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("track_coloured", benchTrack, shapes, colours)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
