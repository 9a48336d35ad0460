// The progress line on standard error, and the summary that replaces it at the end.
#pragma once

#include <chrono>
#include <string>

#include "cli/command_line.hpp"

namespace shapemark::cli {

struct RunSummary {
    long long framesRead = 0;
    long long framesDamaged = 0;  // counted, but not decoded
    long long framesDropped = 0;  // counted among those read, but left out: the run fell behind
    long long framesProcessed = 0;
    long long shapesMarked = 0;
    std::string recordingPath;  // empty when nothing was recorded
    int threads = 1;
    int cpus = 1;
};

class ProgressLine {
  public:
    enum class Mode {
        Off,
        Terminal,  // one line, redrawn in place
        Log,       // a line now and then, for a file
    };

    // By default the line is drawn only when standard error is a terminal and standard output
    // is not: the counter would otherwise break it up.
    static Mode choose(ProgressChoice choice);

    // `totalFrames` is what the input claims; 0 or less when it does not know.
    ProgressLine(Mode mode, double totalFrames);

    // Called after every frame read, with those of them dropped; redraws when the last drawing
    // is old enough.
    void update(long long framesRead, long long framesDropped = 0);

    // One line of its own on standard error, the progress line redrawn after it.
    void note(const std::string& line);

    // Replaces the line with the run's summary.
    void finish(const RunSummary& summary);

  private:
    using Clock = std::chrono::steady_clock;

    void draw(const std::string& line, bool last);

    Mode mode_;
    long long total_;
    Clock::time_point start_;
    Clock::time_point nextDraw_;
};

}  // namespace shapemark::cli
