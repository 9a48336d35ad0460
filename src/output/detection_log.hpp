// The detection log: every outlined shape as data, one processed frame at a time.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "output/file_names.hpp"
#include "output/processed_frame.hpp"

namespace shapemark {

// Whether the log has each shape's id: a CSV column after `shape`, a JSON key "id".
enum class LogIds { Without, With };

// What the file starts with: the CSV column names; nothing for JSONL.
std::string_view logHeader(LogFormat format, LogIds ids = LogIds::Without);

// Appends the lines that describe one processed frame: a CSV row per shape, or one JSON object
// per frame (shapes or none). Numbers never depend on the locale. With ids, a shape without one
// (0, or none given) has an empty field in CSV, null in JSON.
void formatFrame(LogFormat format, const ProcessedFrame& frame, std::string& out,
                 LogIds ids = LogIds::Without);

// The log file. Each frame's lines reach the file in one write as the frame completes, so a
// reader following it sees whole lines, and a killed run leaves every complete line. A write that
// fails is taken back: the file then ends with the last frame that made it whole.
class DetectionLog {
  public:
    // Creates or empties `path` and writes the header; check failure() afterwards.
    explicit DetectionLog(std::string path, LogFormat format, LogIds ids = LogIds::Without);
    ~DetectionLog();
    DetectionLog(const DetectionLog&) = delete;
    DetectionLog& operator=(const DetectionLog&) = delete;
    DetectionLog(DetectionLog&&) = delete;
    DetectionLog& operator=(DetectionLog&&) = delete;

    // Appends one frame's lines; false once the file takes no more.
    bool append(const ProcessedFrame& frame);

    // Closes the file; returns the failure line (see failure()), empty when every line is in.
    std::string close();

    // Why lines were lost, as one line for standard error; empty while none were.
    [[nodiscard]] const std::string& failure() const { return failure_; }

  private:
    bool write(std::string_view bytes);

    std::string path_;
    LogFormat format_;
    LogIds ids_;
    int fd_ = -1;
    long long frames_ = 0;
    off_t whole_ = 0;  // the file's length up to its last whole frame
    std::string failure_;
    std::string buffer_;
};

}  // namespace shapemark
