#include "output/file_names.hpp"

#include "output/files.hpp"

namespace shapemark {

std::optional<LogFormat> logFormatFor(std::string_view path) {
    const std::string extension = lowerExtension(path);
    if (extension == ".csv") {
        return LogFormat::Csv;
    }
    if (extension == ".jsonl") {
        return LogFormat::Jsonl;
    }
    return std::nullopt;
}

}  // namespace shapemark
