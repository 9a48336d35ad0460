#include <cerrno>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <type_traits>
#include <variant>

#include "params/param_fields.hpp"
#include "params/params_file.hpp"

namespace shapemark::params {

namespace {
constexpr std::string_view kYamlHeader = "%YAML:1.0";

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        throw ParamsFileError("cannot read parameters file '" + path +
                              "': " + std::strerror(errno));
    }
    return text.str();
}

// cv::FileStorage reports "(LINE): what" within its message (as the function's name, in
// OpenCV 4.6); the line it counts includes the header line we may have added.
[[noreturn]] void throwParseError(const std::string& path, const cv::Exception& error,
                                  int addedLines) {
    static const std::regex kLine(R"(\((\d+)\): ([^'\n]*))");
    std::smatch match;
    if (std::regex_search(error.msg, match, kLine)) {
        const int line = std::stoi(match[1]) - addedLines;
        throw ParamsFileError(path + ":" + std::to_string(line) +
                              ": not valid YAML: " + match[2].str());
    }
    throw ParamsFileError(path + ": not valid YAML (" + error.err + ")");
}

template <typename... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <typename... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

double readNumber(const YamlMap& map, std::string_view key, const cv::FileNode& node) {
    if (!node.isInt() && !node.isReal()) {
        map.fail(key, "must be a number");
    }
    return static_cast<double>(node);
}

void readField(const YamlMap& map, const ParamField& field, const cv::FileNode& node,
               DetectorParams& params) {
    const std::string_view key = field.key;
    std::visit(Overloaded{[&](DetectorKind DetectorParams::*member) {
                              const std::optional<DetectorKind> kind =
                                  node.isString() ? detectorKind(node.string()) : std::nullopt;
                              if (!kind) {
                                  map.fail(key, "must be classic or robust");
                              }
                              params.*member = *kind;
                          },
                          [&](int DetectorParams::*member) {
                              if (!node.isInt()) {
                                  map.fail(key, "must be a whole number");
                              }
                              params.*member = static_cast<int>(node);
                          },
                          [&](double DetectorParams::*member) {
                              params.*member = readNumber(map, key, node);
                          },
                          [&](std::optional<double> DetectorParams::*member) {
                              if (node.isString() && node.string() == kNoBound) {
                                  (params.*member).reset();
                              } else {
                                  params.*member = readNumber(map, key, node);
                              }
                          }},
               field.member);
}
}  // namespace

void readDetectorParams(YamlMap& map, DetectorParams& params) {
    for (const ParamField& field : kParamFields) {
        const cv::FileNode node = map.take(field.key);
        if (!node.empty() && !node.isNone()) {
            readField(map, field, node, params);
        }
    }
    try {
        params.validate();
    } catch (const std::invalid_argument& error) {
        throw ParamsFileError(map.where() + ": " + error.what());
    }
}

void readParamsFile(const std::string& path, DetectorParams& params, TrackerParams* tracker) {
    std::string text = readWhole(path);
    int addedLines = 0;
    if (text.compare(0, kYamlHeader.size(), kYamlHeader) != 0) {
        text.insert(0, std::string(kYamlHeader) + "\n");
        addedLines = 1;
    }
    cv::FileStorage storage;
    try {
        storage.open(
            text, cv::FileStorage::READ | cv::FileStorage::MEMORY | cv::FileStorage::FORMAT_YAML);
    } catch (const cv::Exception& error) {
        throwParseError(path, error, addedLines);
    }
    YamlMap root(storage.root(), path);
    readDetectorParams(root, params);
    const cv::FileNode trackerNode = root.take("tracker");
    if (tracker != nullptr) {
        try {
            *tracker = readTrackerParams(trackerNode);
        } catch (const std::invalid_argument& error) {
            throw ParamsFileError(path + ": " + error.what());
        }
    }
    root.finish();
}

}  // namespace shapemark::params
