// The run's set-up: from the settings, the input's properties and the environment to an open
// input, windows and outputs.
#pragma once

#include <optional>
#include <string>

#include "cli/command_line.hpp"
#include "driver/environment.hpp"
#include "driver/frame_loop.hpp"
#include "driver/interrupt.hpp"
#include "driver/pacing.hpp"

namespace shapemark {

using cli::parseDecimal;

// Exit statuses of the tool's own, besides 0 and 128 + a signal.
constexpr int kStatusUsage = -1;       // a refused command line, seen as 255
constexpr int kStatusNoInput = 1;      // the input cannot be opened
constexpr int kStatusOutputLost = 74;  // the recording or the log lost data (sysexits' EX_IOERR)

// The tool itself failed (memory, a thread that cannot start): sysexits' EX_OSERR.
constexpr int kStatusToolFailure = 71;

// A capture property as a whole number, truncated toward zero; NaN, infinities and values
// beyond the int range become 0.
int truncateProperty(double value);

// The rate the recording gets: the input's cut to a whole number, as the pacing uses it; below
// 1 fps, where that would give 0 and so no recording at all, the input's own.
double recordingRate(double inputFps);

// Why a recording of `size` at `fps` did not open at `path`, as the words after its name in the
// warning: the file system first, then the container, then memory, the frame size or rate.
std::string whyNotRecordable(const std::string& path, double fps, cv::Size size, bool quiet);

// True when both paths name one file, or would once made: the same device and inode where a file
// exists; otherwise the same name in the same folder, after following links, dangling ones too.
bool namesSameFile(const char* inputPath, const char* outputPath);

// Opens the input, the windows and the outputs. Returns the exit status when the run must end
// before it starts; nothing to write to has then been touched.
std::optional<int> setUpRun(const cli::Settings& settings, RunState& run);

// Prints the summary and the lost outputs; returns the exit status.
int reportRun(const RunResult& result, RunState& run);

}  // namespace shapemark
