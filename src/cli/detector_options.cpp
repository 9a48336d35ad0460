#include <charconv>
#include <cmath>

#include "cli/command_line.hpp"
#include "params/param_fields.hpp"

namespace shapemark::cli {

namespace {
// The whole text as a number of type T, or nothing.
template <typename T>
std::optional<T> wholeText(std::string_view text) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

const std::string* valueOf(const ParsedWords& parsed, OptionId id) {
    const auto found = parsed.options.find(id);
    return found == parsed.options.end() ? nullptr : &found->second;
}

std::string badValue(const std::string& option, const std::string& value, const char* expected) {
    return "shapemark: --" + option + " must be " + expected + ", not '" + value +
           "'; see 'shapemark --help'\n";
}
}  // namespace

std::string readDetectorOptions(const ParsedWords& parsed, DetectorOptions& options) {
    if (const std::string* value = valueOf(parsed, OptionId::Detector)) {
        options.detector = params::detectorKind(*value);
        if (!options.detector) {
            return badValue("detector", *value, "classic or robust");
        }
    }
    if (const std::string* value = valueOf(parsed, OptionId::MaxArea)) {
        if (*value == params::kNoBound) {
            options.maxArea.emplace(std::nullopt);
        } else if (const std::optional<double> area = wholeText<double>(*value)) {
            options.maxArea.emplace(area);
        } else {
            return badValue("max-area", *value, "a number of square pixels or none");
        }
    }
    if (const std::string* value = valueOf(parsed, OptionId::Vertices)) {
        const std::size_t dash = value->find('-');
        const auto fewest = wholeText<int>(std::string_view(*value).substr(0, dash));
        const auto most = dash == std::string::npos
                              ? std::nullopt
                              : wholeText<int>(std::string_view(*value).substr(dash + 1));
        if (!fewest || !most) {
            return badValue("vertices", *value, "MIN-MAX, such as 3-6");
        }
        options.vertices.emplace(*fewest, *most);
    }
    if (const std::string* value = valueOf(parsed, OptionId::Params)) {
        options.paramsPath = *value;
    }
    options.printParams = parsed.options.count(OptionId::PrintParams) != 0;
    return {};
}

}  // namespace shapemark::cli
