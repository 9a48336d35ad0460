#include "input/input_properties.hpp"

#include <array>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace shapemark {

namespace {
constexpr double kFramesBeyondAnyInput = 1e15;

// True for a regular file that starts as an AVI ("RIFF" size "AVI ") or an ISO media file
// (size "ftyp"). Anything else, a pipe included, is left unread.
bool keepsFrameCount(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    std::array<char, 12> head{};
    std::ifstream file(path, std::ios::binary);
    if (!file.read(head.data(), head.size())) {
        return false;
    }
    const std::string_view text(head.data(), head.size());
    return (text.substr(0, 4) == "RIFF" && text.substr(8, 4) == "AVI ") ||
           text.substr(4, 4) == "ftyp";
}
}  // namespace

long long announcedFrames(const std::string& path, double reported) {
    if (!(reported >= 1.0 && reported < kFramesBeyondAnyInput) || !keepsFrameCount(path)) {
        return 0;
    }
    return static_cast<long long>(reported);
}

int truncateProperty(double value) {
    // The int range, as doubles: anything outside, NaN included, fails both comparisons.
    if (!(value > -2147483649.0 && value < 2147483648.0)) {
        return 0;
    }
    return static_cast<int>(value);
}

double recordingRate(double inputFps) {
    const int whole = truncateProperty(inputFps);
    return whole == 0 && inputFps > 0 && inputFps < 1 ? inputFps : static_cast<double>(whole);
}

}  // namespace shapemark
