// The library's detect() on real footage, the C++ side of bench/python_api.py: the same frames,
// one OpenCV thread, so that the Python module's overhead shows as a ratio.
//   api_benchmarks VIDEO [FRAMES] [benchmark options]
#include <benchmark/benchmark.h>

#include <opencv2/core/utility.hpp>
#include <opencv2/videoio.hpp>

#include <shapemark/shapemark.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "first_frames.hpp"

namespace {

using shapemark::bench::firstFrames;

constexpr int kAreaSize = 100;

void benchDetect(benchmark::State& state, const std::vector<cv::Mat>& frames) {
    std::size_t next = 0;
    while (state.KeepRunning()) {
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
        std::fprintf(stderr, "usage: api_benchmarks VIDEO [FRAMES] [benchmark options]\n");
        return 2;
    }
    const int count = argc > 2 ? static_cast<int>(std::strtol(argv[2], nullptr, 10)) : 20;
    const std::vector<cv::Mat> frames = firstFrames(argv[1], count);
    if (frames.empty()) {
        std::fprintf(stderr, "api_benchmarks: no frame decoded from %s\n", argv[1]);
        return 1;
    }
    cv::setNumThreads(1);
    benchmark::RegisterBenchmark("detect", benchDetect, frames)->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
