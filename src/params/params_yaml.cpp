#include <array>
#include <charconv>
#include <type_traits>
#include <variant>

#include "params/param_fields.hpp"
#include "params/params_file.hpp"

namespace shapemark::params {

namespace {
// The shortest text that reads back to the same double, so 0.02 prints as 0.02.
std::string shortest(double value) {
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return {text.data(), result.ptr};
}

std::string valueText(const DetectorParams& params, const FieldMember& member) {
    return std::visit(
        [&](auto pointer) -> std::string {
            const auto& value = params.*pointer;
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, DetectorKind>) {
                return std::string(detectorName(value));
            } else if constexpr (std::is_same_v<Value, int>) {
                return std::to_string(value);
            } else if constexpr (std::is_same_v<Value, double>) {
                return shortest(value);
            } else {
                return value ? shortest(*value) : std::string(kNoBound);
            }
        },
        member);
}
}  // namespace

std::string paramsYaml(const DetectorParams& params, const TrackerParams& tracker) {
    std::string text = "%YAML:1.0\n---\n";
    for (const ParamField& field : kParamFields) {
        text += std::string(field.key) + ": " + valueText(params, field.member) + "\n";
    }
    // The tracker writes its own map; only its body follows the detector's keys.
    cv::FileStorage storage(
        ".yml", cv::FileStorage::WRITE | cv::FileStorage::MEMORY | cv::FileStorage::FORMAT_YAML);
    writeTrackerParams(storage, tracker);
    const std::string written = storage.releaseAndGetString();
    const std::size_t body = written.find("tracker:");
    return body == std::string::npos ? text : text + written.substr(body);
}

}  // namespace shapemark::params
