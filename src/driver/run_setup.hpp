// The driver's rules for turning the command line, the input's properties and the
// environment into the run's settings.
#pragma once

#include <opencv2/core.hpp>

#include "output/output.hpp"

namespace shapemark {

// Decimal value of a word: leading white space, one optional sign, then digits up to the
// first non-digit; 0 without digits. Values beyond the 32-bit range saturate at its bounds.
int parseDecimal(const char* word);

// A capture property as a whole number, truncated toward zero; NaN, infinities and values
// beyond the int range become 0.
int truncateProperty(double value);

// Milliseconds of the pacing wait for one processed frame: one frame period of the input.
int pacingWaitMs(int fps);

// True when both paths name one existing file, whatever links or spellings lead to it.
bool namesSameFile(const char* inputPath, const char* outputPath);

// Windows need a display; without one the library would abort the process.
Windows windowsFromEnvironment();

// Silences the library's own log unless the user chose a level with OPENCV_LOG_LEVEL;
// true when it did.
bool quietLibraryLog();

// While alive and active, standard error goes to /dev/null: the video back ends print some
// notes straight to it, past the library's log. Only opening calls are wrapped, so the
// tool's own messages are never lost.
class MutedStderr {
  public:
    explicit MutedStderr(bool active);
    ~MutedStderr();
    MutedStderr(const MutedStderr&) = delete;
    MutedStderr& operator=(const MutedStderr&) = delete;
    MutedStderr(MutedStderr&&) = delete;
    MutedStderr& operator=(MutedStderr&&) = delete;

  private:
    int saved_ = -1;
};

// The first SIGINT or SIGTERM ends the loop after the current iteration; a second one kills
// the process at once.
// SIGPIPE is ignored, so that a closed standard output never cuts a recording short.
void installInterruptHandlers();
// The number of the signal received so far, or 0.
int interruptSignal();

}  // namespace shapemark
