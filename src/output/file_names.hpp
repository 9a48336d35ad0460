// What the outputs' file names mean, apart from the outputs themselves, so that the command line
// can check them without linking any image or video code.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace shapemark {

// The fixed path the tool's users' set-up expects; on Linux it is relative to the working
// folder.
inline const std::string kSnapshotPath = "C:/Users/kalenvir/Desktop/cage3.png";

enum class LogFormat { Csv, Jsonl };

// The format that the file name asks for (.csv or .jsonl); nothing for any other name.
std::optional<LogFormat> logFormatFor(std::string_view path);

}  // namespace shapemark
