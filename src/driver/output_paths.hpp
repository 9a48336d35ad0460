// The files a run writes must be none of them the input, nor one another: a rename or a
// truncation would destroy the other.
#pragma once

#include <string>

#include "cli/command_line.hpp"

namespace shapemark {

// True when both paths name one file, or would once made: the same device and inode where a file
// exists; otherwise the same name in the same folder, after following links, dangling ones too.
bool namesSameFile(const char* inputPath, const char* outputPath);

// The refusal, as a line for standard error, when an output of `settings` is the input, another
// output, or the file or pipe that standard output goes to (where the counter is written), or
// when OUTPUT names a protocol that writes no local file; an empty string when all is well.
// INPUT and OUTPUT are compared as the video library opens them (see ffmpeg_names.hpp).
std::string clashingPaths(const cli::Settings& settings);

}  // namespace shapemark
