// The command line's options, each defined once. This one table drives the parser, --help, the
// man page's option list and the shell completion.
#pragma once

#include <array>
#include <string_view>

namespace shapemark::cli {

enum class OptionId {
    Snapshot,
    NoSnapshot,
    SnapshotAtEnd,
    NoWindows,
    NoDrop,
    Detections,
    Progress,
    NoProgress,
    Help,
    Version
};

// What an option's value names, so that the shell completes the right files.
enum class ValueKind { None, SnapshotFile, LogFile };

struct Option {
    OptionId id;
    std::string_view name;       // without the leading "--"
    std::string_view valueName;  // empty for an option without a value
    ValueKind valueKind;
    std::string_view excludes;  // the option it contradicts, if any
    std::string_view summary;   // one line for --help
    std::string_view detail;    // the man page's paragraph, plain text
};

inline constexpr std::array<Option, 10> kOptions = {{
    {OptionId::Snapshot, "snapshot", "PATH", ValueKind::SnapshotFile, "no-snapshot",
     "write the snapshot of the last marked frame to PATH",
     "Write the snapshot to PATH instead of the fixed path C:/Users/kalenvir/Desktop/cage3.png. "
     "It is replaced the same way, atomically, at every processed frame, and its failures are "
     "not reported."},
    {OptionId::NoSnapshot, "no-snapshot", "", ValueKind::None, "snapshot", "write no snapshot",
     "Write no snapshot at all."},
    {OptionId::SnapshotAtEnd, "snapshot-at-end", "", ValueKind::None, "no-snapshot",
     "write the snapshot once, of the last processed frame, at the end",
     "Write the snapshot once, of the last processed frame, when the run ends: at the end of the "
     "input, on Escape, on SIGINT or SIGTERM, and after lost output. For batch runs that keep "
     "only the last snapshot: they save one PNG encode per processed frame. With --snapshot, it "
     "goes to PATH."},
    {OptionId::NoWindows, "no-windows", "", ValueKind::None, "",
     "run headless even when a display is there",
     "Open no windows and do not wait between frames, even when a display is reachable; the "
     "note about a missing display is not printed."},
    {OptionId::NoDrop, "no-drop", "", ValueKind::None, "",
     "keep every frame of a camera or stream; it waits for marking",
     "Keep every frame of a live input instead of dropping the oldest waiting ones when marking "
     "falls behind; the input waits for marking. See LIVE INPUTS."},
    {OptionId::Detections, "detections", "FILE", ValueKind::LogFile, "",
     "log every marked shape to FILE (.csv or .jsonl)",
     "Write every outlined shape to FILE as data, frame by frame: CSV for a name ending in "
     ".csv, JSON Lines for one ending in .jsonl; any other name is refused. See DETECTION LOG."},
    {OptionId::Progress, "progress", "", ValueKind::None, "no-progress",
     "show the progress line on standard error",
     "Show the progress line and the closing summary on standard error even when it is not a "
     "terminal (for a log file, one line a second)."},
    {OptionId::NoProgress, "no-progress", "", ValueKind::None, "progress",
     "never show the progress line", "Never show the progress line or the summary."},
    {OptionId::Help, "help", "", ValueKind::None, "", "show this help and exit",
     "Print a short usage on standard output and exit with status 0."},
    {OptionId::Version, "version", "", ValueKind::None, "", "show the version and exit",
     "Print the version on standard output and exit with status 0."},
}};

}  // namespace shapemark::cli
