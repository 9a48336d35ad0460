#include <algorithm>
#include <string_view>

#include "cli/command_line.hpp"

namespace shapemark::cli {

namespace {
const Option* findOption(std::string_view name) {
    const auto* found = std::find_if(kOptions.begin(), kOptions.end(),
                                     [name](const Option& option) { return option.name == name; });
    return found == kOptions.end() ? nullptr : found;
}

std::string mistake(const std::string& what) {
    return "shapemark: " + what + "; see 'shapemark --help'\n";
}
}  // namespace

ParsedWords parseWords(int argc, const char* const* argv) {
    ParsedWords parsed;
    int i = 1;
    // Only long options, so that a negative AREASIZE such as -3 stays a word.
    for (; i < argc && parsed.error.empty(); ++i) {
        const std::string_view word = argv[i];
        if (word.substr(0, 2) != "--") {
            break;
        }
        parsed.optionsGiven = true;
        if (word == "--") {
            ++i;
            break;
        }
        const std::size_t equals = word.find('=');
        const std::string_view name =
            word.substr(2, equals == std::string_view::npos ? std::string_view::npos : equals - 2);
        const Option* option = findOption(name);
        const std::string shown = "--" + std::string(name);
        if (option == nullptr) {
            parsed.error = mistake("unknown option '" + shown + "'");
        } else if (parsed.options.count(option->id) != 0) {
            parsed.error = mistake("option '" + shown + "' is given twice");
        } else if (option->valueName.empty()) {
            if (equals != std::string_view::npos) {
                parsed.error = mistake("option '" + shown + "' takes no value");
            }
            parsed.options[option->id];
        } else {
            std::string value;
            if (equals != std::string_view::npos) {
                value = word.substr(equals + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            }
            if (value.empty()) {
                std::string what = "option '" + shown + "' needs a value: ";
                what += shown + "=";
                what += option->valueName;
                parsed.error = mistake(what);
            }
            parsed.options[option->id] = value;
        }
    }
    for (; i < argc; ++i) {
        parsed.words.emplace_back(argv[i]);
    }
    return parsed;
}

}  // namespace shapemark::cli
