// The command line: words first, then the settings the program runs on.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <shapemark/detector_params.hpp>

#include "cli/options.hpp"

namespace shapemark::cli {

// Decimal value of a word: leading white space, one optional sign, then digits up to the
// first non-digit; 0 without digits. Values beyond the 32-bit range saturate at its bounds.
int parseDecimal(const char* word);

// True for a word that is all one whole number: one optional sign, then digits only. Any other
// word parseDecimal reads only in part.
bool isWholeDecimal(const std::string& word);

// The words as typed: long options (--name, --name=VALUE or --name VALUE) up to the first other
// word or "--", then the positional words.
struct ParsedWords {
    std::map<OptionId, std::string> options;  // the value, or empty for an option without one
    std::vector<std::string> words;
    bool optionsGiven = false;  // an option or "--" came first
    std::string error;          // the first mistake, as a line for standard error
};

ParsedWords parseWords(int argc, const char* const* argv);

enum class ProgressChoice { Auto, On, Off };

// The detector's values given on the command line. Each wins over the --params file; the run
// checks the whole set before it opens anything.
struct DetectorOptions {
    std::optional<int> minArea;  // AREASIZE
    std::optional<DetectorKind> detector;
    std::optional<std::optional<double>> maxArea;  // an empty inner value: none
    std::optional<std::pair<int, int>> vertices;
    std::optional<std::string> paramsPath;
    bool printParams = false;  // print the parameters and exit
};

// What the program runs on.
struct Settings {
    std::string inputPath;
    std::string outputPath;
    int skipRate = 1;                         // never 0
    std::optional<std::string> snapshotPath;  // none with --no-snapshot
    bool snapshotAtEnd = false;               // one snapshot, of the last processed frame
    bool windows = true;                      // false: headless by choice
    bool noDrop = false;                      // a live input waits rather than drops
    std::optional<std::string> detectionsPath;
    ProgressChoice progress = ProgressChoice::Auto;
    int threads = 0;       // 0: one per CPU the run may use
    bool track = false;    // ids for the shapes, from frame to frame
    bool drawIds = false;  // the ids drawn beside the outlines; implies track
    DetectorOptions detector;
};

// Either settings to run on, or what to print before exiting at once with `status`.
struct CommandLine {
    std::optional<Settings> settings;
    int status = 0;
    std::string out;  // for standard output
    std::string err;  // for standard error; with settings, the warnings to print before the run
};

CommandLine toCommandLine(const ParsedWords& parsed);

// Reads the detector's options into `options`; the refusal for standard error, or empty.
std::string readDetectorOptions(const ParsedWords& parsed, DetectorOptions& options);

inline CommandLine readCommandLine(int argc, const char* const* argv) {
    return toCommandLine(parseWords(argc, argv));
}

// Texts made from the option table.
std::string helpText();
std::string versionText();
std::string manOptionList();   // roff, for the man page's OPTIONS section
std::string bashCompletion();  // a bash completion script

}  // namespace shapemark::cli
