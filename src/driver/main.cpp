// shapemark: marks the simple convex shapes of a recorded video.
#include <cstdio>
#include <exception>

#include "cli/exit_status.hpp"
#include "driver/choose_detector.hpp"
#include "driver/run_report.hpp"
#include "driver/run_setup.hpp"
#include "driver/standard_streams.hpp"
#include "driver/tool_failure.hpp"

int main(int argc, char** argv) {
    using namespace shapemark;
    // 0. No file may land on a standard stream that was closed.
    reopenClosedStandardStreams();
    try {
        // 1. Parse: the words, then the settings.
        const cli::CommandLine commandLine = cli::readCommandLine(argc, argv);
        if (!commandLine.settings) {
            std::fputs(commandLine.out.c_str(), stdout);
            std::fputs(commandLine.err.c_str(), stderr);
            return commandLine.status;
        }
        // 2. The detector, from its options and parameters file; nothing is opened yet.
        RunState run;
        if (const std::optional<int> status =
                chooseDetector(commandLine.settings->detector, run.detector, run.trackerParams)) {
            return *status;
        }
        std::fputs(commandLine.err.c_str(), stderr);  // numbers read only in part
        // 3. Set up: the input, the windows and the outputs.
        if (const std::optional<int> status = setUpRun(*commandLine.settings, run)) {
            return *status;
        }
        // 4. Run the frame loop to its end.
        const RunResult result = runFrameLoop(run);
        // 5. Report.
        return reportRun(result, run);
    } catch (...) {
        // The frame loop finishes the outputs itself; this is a failure before or after it.
        std::fprintf(stderr, "shapemark: %s\n", whatFailed(std::current_exception()).c_str());
        return kStatusToolFailure;
    }
}
