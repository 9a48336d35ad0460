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
    Detector,
    MaxArea,
    Vertices,
    Params,
    PrintParams,
    Threads,
    Track,
    DrawIds,
    Help,
    Version
};

// What an option's value names, so that the shell completes the right files.
enum class ValueKind { None, SnapshotFile, LogFile, ParamsFile, DetectorName, Number };

struct Option {
    OptionId id;
    std::string_view name;       // without the leading "--"
    std::string_view valueName;  // empty for an option without a value
    ValueKind valueKind;
    std::string_view excludes;  // the option it contradicts, if any
    std::string_view summary;   // one line for --help
    std::string_view detail;    // the man page's paragraph, plain text
};

inline constexpr std::array<Option, 18> kOptions = {{
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
    {OptionId::Detector, "detector", "NAME", ValueKind::DetectorName, "",
     "the detector: classic (the default) or robust",
     "The detector to run: classic, one adaptive threshold of the grey image (the default), or "
     "robust, for camera footage: it looks at the colour planes at several scales, reports "
     "one polygon per physical shape by its outer edge, at any size in the area window, and "
     "leaves out round and concave shapes. Give it --max-area=none for large shapes."},
    {OptionId::MaxArea, "max-area", "N|none", ValueKind::Number, "",
     "mark only shapes under N square pixels (default 10000)",
     "Mark only shapes whose contour area is under N square pixels; none lifts the bound. The "
     "default, 10000, suits small frames, where anything larger was background; at 1080p real "
     "shapes are larger, so raise it or give none. Same as max_area in --params."},
    {OptionId::Vertices, "vertices", "MIN-MAX", ValueKind::Number, "",
     "mark only shapes of MIN to MAX corners (default 3-8)",
     "Mark only polygons of MIN to MAX vertices, within 3 to 8; for instance 3-6 drops the "
     "octagons that circles come out as. Same as min_vertices and max_vertices in --params."},
    {OptionId::Params, "params", "FILE", ValueKind::ParamsFile, "",
     "read the detector's parameters from the YAML FILE",
     "Read the detector's parameters from FILE, YAML as --print-params writes it (the %YAML:1.0 "
     "line may be left out): detector, min_area, max_area, min_vertices, max_vertices, "
     "threshold_block, threshold_offset, median_aperture, approx_tolerance, cleanup_passes. An "
     "unknown or repeated key, or a value out of its range, is refused. Options on the command "
     "line win over the file, and AREASIZE always sets min_area."},
    {OptionId::PrintParams, "print-params", "", ValueKind::None, "",
     "print the effective parameters as a --params file and exit",
     "Print the parameters the run would use, as a file for --params, on standard output and "
     "exit with status 0, so that a run can be reproduced. Needs no other words."},
    {OptionId::Threads, "threads", "N", ValueKind::None, "",
     "use N threads (1-256; default: one per CPU)",
     "Use N threads (1 to 256), even beyond the CPUs. By default, one per CPU the tool may use: "
     "its affinity mask, narrowed by a cgroup CPU quota (v1, or v2's cpu.max)."},
    {OptionId::Track, "track", "", ValueKind::None, "",
     "give each shape an id it keeps from frame to frame (with --detections or --draw-ids)",
     "Follow each shape from processed frame to processed frame and give it an id, 1, 2, 3, "
     "... in the order shapes are confirmed: a new shape gets its id when first seen (or once "
     "seen in a few processed frames in a row, if asked), and a shape hidden for a short while "
     "comes back under "
     "its id (see the tracker's parameters, confirm_frames and keep_lost_frames). The detection "
     "log gains the id: a column id after shape in CSV, empty "
     "while the shape has none yet; a key \"id\" in each shape's object in JSON Lines, null "
     "while it has none. No shape is ever left out. Needs --detections or --draw-ids."},
    {OptionId::DrawIds, "draw-ids", "", ValueKind::None, "",
     "write each shape's id beside its outline (implies --track)",
     "Track the shapes as --track does and write each identified shape's id beside its outline "
     "in the Tracked window, the recording and the snapshot."},
    {OptionId::Help, "help", "", ValueKind::None, "", "show this help and exit",
     "Print a short usage on standard output and exit with status 0."},
    {OptionId::Version, "version", "", ValueKind::None, "", "show the version and exit",
     "Print the version on standard output and exit with status 0."},
}};

}  // namespace shapemark::cli
