#include "input/input_word.hpp"

#include <sys/stat.h>

#include <opencv2/videoio.hpp>

#include <regex>

namespace shapemark {

namespace {
// Standard input's own file: a pipe, a socket or the file it was redirected from.
constexpr const char* kStandardInputPath = "/dev/stdin";

bool isStandardInput(const std::string& word) {
    return word == "-" || word == "pipe:" || word == "pipe:0" || word == kStandardInputPath;
}

// A regular file on standard input is opened by name, so that the library can seek in it (an
// MP4 keeps its index at the end); anything else is read as the stream it is.
std::string standardInputName() {
    struct stat file {};
    const bool regular = ::fstat(0, &file) == 0 && S_ISREG(file.st_mode);
    return regular ? kStandardInputPath : "pipe:0";
}
}  // namespace

InputWord resolveInput(const std::string& word) {
    InputWord input;
    input.word = word;
    input.openName = word;
    input.identityPath = word;
    input.apiPreference = cv::CAP_ANY;
    static const std::regex camera("/dev/video[0-9]+");
    // A protocol name as FFmpeg spells one: letters first, then letters, digits, '+', '-', '.'.
    static const std::regex protocol("[A-Za-z][A-Za-z0-9+.-]*:.*");
    if (isStandardInput(word)) {
        input.kind = InputWord::Kind::StandardInput;
        input.openName = standardInputName();
        input.identityPath = kStandardInputPath;
        input.apiPreference = cv::CAP_FFMPEG;  // no other backend may read a byte of it first
    } else if (std::regex_match(word, camera)) {
        input.kind = InputWord::Kind::Camera;
        input.apiPreference = cv::CAP_V4L2;
    } else if (std::regex_match(word, protocol) && word.compare(0, 5, "file:") != 0) {
        input.kind = InputWord::Kind::Stream;
    }
    return input;
}

}  // namespace shapemark
