#include "cli/progress.hpp"

#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>

namespace shapemark::cli {

namespace {
// Often enough to look alive, seldom enough to cost nothing.
constexpr std::chrono::milliseconds kTerminalInterval(250);
constexpr std::chrono::seconds kLogInterval(1);
constexpr double kFramesBeyondAnyInput = 1e15;

std::string clock(double seconds) {
    const auto whole = static_cast<long long>(seconds);
    std::array<char, 32> text{};
    if (whole >= 3600) {
        std::snprintf(text.data(), text.size(), "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text.data(), text.size(), "%lld:%02lld", whole / 60, whole % 60);
    }
    return text.data();
}
}  // namespace

ProgressLine::Mode ProgressLine::choose(ProgressChoice choice) {
    const bool errorIsTerminal = ::isatty(STDERR_FILENO) == 1;
    switch (choice) {
        case ProgressChoice::Off:
            return Mode::Off;
        case ProgressChoice::On:
            return errorIsTerminal ? Mode::Terminal : Mode::Log;
        case ProgressChoice::Auto:
            break;
    }
    return errorIsTerminal && ::isatty(STDOUT_FILENO) != 1 ? Mode::Terminal : Mode::Off;
}

ProgressLine::ProgressLine(Mode mode, double totalFrames)
    : mode_(mode),
      total_(totalFrames >= 1.0 && totalFrames < kFramesBeyondAnyInput
                 ? static_cast<long long>(totalFrames)
                 : 0),
      start_(Clock::now()),
      nextDraw_(start_) {}  // the first frame shows the line at once

void ProgressLine::update(long long framesRead, long long framesDropped) {
    if (mode_ == Mode::Off) {
        return;
    }
    const Clock::time_point now = Clock::now();
    if (now < nextDraw_) {
        return;
    }
    nextDraw_ = now + (mode_ == Mode::Terminal ? Clock::duration(kTerminalInterval)
                                               : Clock::duration(kLogInterval));
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double fps = elapsed > 0.0 ? static_cast<double>(framesRead) / elapsed : 0.0;
    std::array<char, 160> text{};
    // An input may claim fewer frames than it holds; the total is then dropped, not exceeded.
    if (total_ > 0 && framesRead <= total_) {
        const double left = fps > 0.0 ? static_cast<double>(total_ - framesRead) / fps : 0.0;
        std::snprintf(text.data(), text.size(),
                      "shapemark: %lld/%lld frames (%lld%%), %.1f fps, %s elapsed, %s left",
                      framesRead, total_, framesRead * 100 / total_, fps, clock(elapsed).c_str(),
                      clock(left).c_str());
    } else if (framesDropped > 0) {
        std::snprintf(text.data(), text.size(),
                      "shapemark: %lld frames, %.1f fps, %lld dropped, %s elapsed", framesRead, fps,
                      framesDropped, clock(elapsed).c_str());
    } else {
        std::snprintf(text.data(), text.size(), "shapemark: %lld frames, %.1f fps, %s elapsed",
                      framesRead, fps, clock(elapsed).c_str());
    }
    draw(text.data(), false);
}

void ProgressLine::note(const std::string& line) {
    std::string text = line + "\n";
    if (mode_ == Mode::Terminal) {
        text = "\r\x1b[K" + text;  // over the progress line, which the next update redraws
        nextDraw_ = Clock::now();
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void ProgressLine::finish(const RunSummary& summary) {
    if (mode_ == Mode::Off) {
        return;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    std::array<char, 256> counts{};
    std::snprintf(counts.data(), counts.size(), "shapemark: %lld frames read, ",
                  summary.framesRead);
    std::string text = counts.data();
    if (summary.framesDamaged > 0) {
        text += std::to_string(summary.framesDamaged) + " damaged (skipped), ";
    }
    if (summary.framesDropped > 0) {
        text += std::to_string(summary.framesDropped) + " dropped, ";
    }
    std::snprintf(counts.data(), counts.size(), "%lld processed, %lld shapes marked, ",
                  summary.framesProcessed, summary.shapesMarked);
    text += counts.data();
    std::array<char, 32> time{};
    std::snprintf(time.data(), time.size(), ", %.1f s", elapsed);
    const std::string recording = summary.recordingPath.empty()
                                      ? std::string("nothing recorded")
                                      : "recorded to " + summary.recordingPath;
    const auto counted = [](int count, const char* what) {
        return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
    };
    draw(text + recording + time.data() + ", " + counted(summary.threads, "thread") + " on " +
             counted(summary.cpus, "CPU"),
         true);
}

void ProgressLine::draw(const std::string& line, bool last) {
    std::string text;
    if (mode_ == Mode::Terminal) {
        // Back to the line's start, the new text, then clear what an older, longer text left.
        text = "\r" + line + "\x1b[K";
        if (last) {
            text += "\n";
        }
    } else {
        text = line + "\n";
    }
    std::fwrite(text.data(), 1, text.size(), stderr);  // one write: stderr is unbuffered
}

}  // namespace shapemark::cli
