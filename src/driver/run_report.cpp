#include "driver/run_report.hpp"

#include <cstdio>
#include <string>

#include "cli/exit_status.hpp"

namespace shapemark {

int reportRun(const RunResult& result, RunState& run) {
    run.progress->finish(run.summary);
    const cli::RunSummary& counts = run.summary;
    if (counts.framesDropped > 0) {
        std::fprintf(stderr,
                     "shapemark: dropped %lld of %lld frames (marking fell behind the source)\n",
                     counts.framesDropped, counts.framesRead + counts.framesDamaged);
    }
    for (const std::string& line : result.outputs.failures) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    if (!result.failure.empty()) {
        std::fprintf(stderr, "%s\n", result.failure.c_str());
    }
    // Lost data matters most, then a failure of the tool, then the signal that stopped it.
    if (!result.outputs.failures.empty()) {
        return kStatusOutputLost;
    }
    return result.failure.empty() ? result.status : kStatusToolFailure;
}

}  // namespace shapemark
