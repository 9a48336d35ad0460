// The robust detector's CPU cost per frame on a generated camera-like scene, one OpenCV thread,
// against the classic detector on the same frames: the budget is about 60 ms per 1080p frame.
//   robust_benchmarks VIDEO [FRAMES] [benchmark options]
// where VIDEO comes from tools/make_truth_scenes.py.
#include <benchmark/benchmark.h>

#include <opencv2/core/utility.hpp>
#include <opencv2/videoio.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "first_frames.hpp"

#include "detector/robust_detect.hpp"

namespace {

using shapemark::bench::firstFrames;

constexpr int kAreaSize = 300;

void benchRobust(benchmark::State& state, const std::vector<cv::Mat>& frames) {
    shapemark::DetectorParams params;
    params.minArea = kAreaSize;
    params.maxArea.reset();
    std::size_t next = 0;
    for (auto _ : state) {
        std::vector<shapemark::Shape> shapes = shapemark::detectRobust(frames[next], params);
        benchmark::DoNotOptimize(shapes.data());
        next = (next + 1) % frames.size();
    }
    state.SetItemsProcessed(state.iterations());
}

void benchClassic(benchmark::State& state, const std::vector<cv::Mat>& frames) {
    std::size_t next = 0;
    for (auto _ : state) {
        std::vector<shapemark::Shape> shapes = shapemark::detect(frames[next], kAreaSize);
        benchmark::DoNotOptimize(shapes.data());
        next = (next + 1) % frames.size();
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: robust_benchmarks VIDEO [FRAMES] [benchmark options]\n");
        return 2;
    }
    const int count = argc > 2 ? static_cast<int>(std::strtol(argv[2], nullptr, 10)) : 10;
    const std::vector<cv::Mat> frames = firstFrames(argv[1], count);
    if (frames.empty()) {
        std::fprintf(stderr, "robust_benchmarks: no frame decoded from %s\n", argv[1]);
        return 1;
    }
    // One thread: the marking pool already runs one frame per core.
    cv::setNumThreads(1);
    benchmark::RegisterBenchmark("classic", benchClassic, frames)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("robust", benchRobust, frames)->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
