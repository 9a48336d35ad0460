// The tool's exit statuses, in one place: the command line refuses with one, the run ends with
// the others.
#pragma once

namespace shapemark {

constexpr int kStatusUsage = -1;        // a refused command line, seen as 255
constexpr int kStatusNoInput = 1;       // the input cannot be opened
constexpr int kStatusToolFailure = 71;  // the tool itself failed: memory, a thread (EX_OSERR)
constexpr int kStatusOutputLost = 74;   // the recording or the log lost data (EX_IOERR)
constexpr int kSignalStatusBase = 128;  // the shell's convention for "ended by signal n"

}  // namespace shapemark
