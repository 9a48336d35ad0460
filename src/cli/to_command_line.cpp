#include <algorithm>

#include "cli/command_line.hpp"
#include "cli/exit_status.hpp"
#include "output/file_names.hpp"

namespace shapemark::cli {

namespace {
constexpr int kWordCount = 4;
constexpr int kMostThreads = 256;

const char* const kUsage =
    " Please pass video file name, output video file name,area size, skipped frames rate\n";

CommandLine exitWith(int status, std::string out, std::string err) {
    CommandLine line;
    line.status = status;
    line.out = std::move(out);
    line.err = std::move(err);
    return line;
}

std::string refusal(const std::string& what) {
    return "shapemark: " + what + "\n";
}

// A number typed as something else still reads as C's atoi reads it, but never in silence.
std::string readInPart(const char* what, const std::string& word, int value) {
    if (isWholeDecimal(word)) {
        return {};
    }
    return refusal(std::string(what) + " '" + word + "' is read as " + std::to_string(value));
}

bool given(const ParsedWords& parsed, OptionId id) {
    return parsed.options.count(id) != 0;
}

// Options that undo each other cannot both be meant.
std::string contradiction(const ParsedWords& parsed) {
    for (const Option& option : kOptions) {
        if (option.excludes.empty() || !given(parsed, option.id)) {
            continue;
        }
        const auto* other = std::find_if(kOptions.begin(), kOptions.end(), [&](const Option& o) {
            return o.name == option.excludes && given(parsed, o.id);
        });
        if (other != kOptions.end()) {
            return "shapemark: options '--" + std::string(option.name) + "' and '--" +
                   std::string(other->name) +
                   "' contradict each other; give one (see 'shapemark --help')\n";
        }
    }
    return {};
}

// Ids that go nowhere are a mistake, not a wish.
std::string unusedTracking(const ParsedWords& parsed) {
    if (given(parsed, OptionId::Track) && !given(parsed, OptionId::Detections) &&
        !given(parsed, OptionId::DrawIds)) {
        return "shapemark: option '--track' gives ids to the detection log or the drawn frames, "
               "and neither is asked for; add --detections=FILE or --draw-ids (see 'shapemark "
               "--help')\n";
    }
    return {};
}
}  // namespace

CommandLine toCommandLine(const ParsedWords& parsed) {
    if (!parsed.error.empty()) {
        return exitWith(kStatusUsage, {}, parsed.error);
    }
    if (given(parsed, OptionId::Help)) {
        return exitWith(0, helpText(), {});
    }
    if (given(parsed, OptionId::Version)) {
        return exitWith(0, versionText(), {});
    }
    const bool printOnly = given(parsed, OptionId::PrintParams) && parsed.words.empty();
    if (parsed.words.size() < kWordCount && !printOnly) {
        if (!parsed.optionsGiven) {
            return exitWith(kStatusUsage, kUsage, {});
        }
        return exitWith(kStatusUsage, {},
                        refusal("INPUT OUTPUT AREASIZE SKIPRATE must follow the options; see "
                                "'shapemark --help'"));
    }
    std::string clash = contradiction(parsed);
    if (clash.empty()) {
        clash = unusedTracking(parsed);
    }
    if (!clash.empty()) {
        return exitWith(kStatusUsage, {}, clash);
    }
    Settings settings;
    const std::string refused = readDetectorOptions(parsed, settings.detector);
    if (!refused.empty()) {
        return exitWith(kStatusUsage, {}, refused);
    }
    if (printOnly) {
        CommandLine line;
        line.settings = std::move(settings);
        return line;
    }
    settings.inputPath = parsed.words[0];
    settings.outputPath = parsed.words[1];
    settings.detector.minArea = parseDecimal(parsed.words[2].c_str());
    settings.skipRate = parseDecimal(parsed.words[3].c_str());
    // The skip rule divides by the skip rate.
    if (settings.skipRate == 0) {
        return exitWith(
            kStatusUsage, {},
            refusal("skip rate '" + parsed.words[3] + "' must be a whole number other than 0"));
    }
    settings.snapshotPath = kSnapshotPath;
    if (given(parsed, OptionId::NoSnapshot)) {
        settings.snapshotPath.reset();
    } else if (given(parsed, OptionId::Snapshot)) {
        settings.snapshotPath = parsed.options.at(OptionId::Snapshot);
    }
    settings.snapshotAtEnd = given(parsed, OptionId::SnapshotAtEnd);
    settings.windows = !given(parsed, OptionId::NoWindows);
    settings.noDrop = given(parsed, OptionId::NoDrop);
    if (given(parsed, OptionId::Detections)) {
        const std::string& path = parsed.options.at(OptionId::Detections);
        if (!logFormatFor(path)) {
            return exitWith(kStatusUsage, {},
                            refusal("detection log '" + path +
                                    "' must be named *.csv or *.jsonl, which sets its format"));
        }
        settings.detectionsPath = path;
    }
    if (given(parsed, OptionId::Progress)) {
        settings.progress = ProgressChoice::On;
    } else if (given(parsed, OptionId::NoProgress)) {
        settings.progress = ProgressChoice::Off;
    }
    if (given(parsed, OptionId::Threads)) {
        const std::string& count = parsed.options.at(OptionId::Threads);
        // Digits only (large numbers saturate): no sign, no space, nothing after.
        settings.threads = count.find_first_not_of("0123456789") == std::string::npos
                               ? parseDecimal(count.c_str())
                               : 0;
        if (settings.threads < 1 || settings.threads > kMostThreads) {
            return exitWith(
                kStatusUsage, {},
                refusal("thread count '" + count + "' must be a whole number from 1 to " +
                        std::to_string(kMostThreads)));
        }
    }
    settings.drawIds = given(parsed, OptionId::DrawIds);
    settings.track = settings.drawIds || given(parsed, OptionId::Track);
    CommandLine line;
    line.err = readInPart("AREASIZE", parsed.words[2], settings.detector.minArea.value_or(0)) +
               readInPart("SKIPRATE", parsed.words[3], settings.skipRate);
    line.settings = std::move(settings);
    return line;
}

}  // namespace shapemark::cli
