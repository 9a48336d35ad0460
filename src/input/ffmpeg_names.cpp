#include "input/ffmpeg_names.hpp"

#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

namespace shapemark {

namespace {
// The characters of a protocol's name; a word whose first other character is ':' has one.
constexpr std::string_view kSchemeChars =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.";
// Protocols inside protocols, as deep as the check follows them.
constexpr int kMostNesting = 16;
// A "concatf:" list longer than this is not read; nobody lists that many files.
constexpr std::streamsize kLongestList = 1 << 20;

// The protocol the library picks for `word`: the scheme before its ':', else "file". The
// "subfile" protocol takes its options first: "subfile,,start,0,,:x.avi".
std::string_view protocolOf(std::string_view word) {
    const std::size_t length = word.find_first_not_of(kSchemeChars);
    if (length != std::string_view::npos && word[length] == ':') {
        return word.substr(0, length);
    }
    if (word.rfind("subfile,", 0) == 0 && word.find(':') != std::string_view::npos) {
        return "subfile";
    }
    return "file";
}

// What follows the protocol's ':'.
std::string_view afterProtocol(std::string_view word) {
    return word.substr(word.find(':') + 1);
}

// Splits at `separator`, as "concat:" and "tee:" do.
std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// "pipe:N" is descriptor N; anything else after the prefix is the role's standard stream.
int pipeDescriptor(std::string_view rest, NameRole role) {
    const std::string digits(rest);
    char* end = nullptr;
    const long number = std::strtol(digits.c_str(), &end, 10);
    if (digits.empty() || *end != '\0' || number < 0 || number > std::numeric_limits<int>::max()) {
        return role == NameRole::Input ? 0 : 1;
    }
    return static_cast<int>(number);
}

void resolveInto(std::string_view word, NameRole role, int depth, LibraryName& name);

// The sources a "concatf:" list names, one a line, after the list itself.
void resolveList(std::string_view listWord, int depth, LibraryName& name) {
    const std::size_t before = name.files.size();
    resolveInto(listWord, NameRole::Input, depth, name);
    if (name.files.size() != before + 1 || name.files.back().path.empty()) {
        return;  // a list that is no plain file is not read here
    }
    std::ifstream list(name.files.back().path);
    std::string line;
    std::streamsize read = 0;
    while (read < kLongestList && std::getline(list, line)) {
        read += static_cast<std::streamsize>(line.size()) + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            resolveInto(line, NameRole::Input, depth, name);
        }
    }
}

void resolveInto(std::string_view word, NameRole role, int depth, LibraryName& name) {
    if (depth > kMostNesting) {
        return;
    }
    const std::string_view protocol = protocolOf(word);
    const std::string_view rest = afterProtocol(word);
    if (protocol == "file") {
        // Only "file:" is taken off: "file://x" leaves "//x", which the system reads as /x.
        name.files.push_back({std::string(word.rfind("file:", 0) == 0 ? rest : word), -1});
    } else if (protocol == "pipe") {
        name.files.push_back({{}, pipeDescriptor(rest, role)});
    } else if (role == NameRole::Input) {
        if (protocol == "concat") {
            for (const std::string_view part : split(rest, '|')) {
                resolveInto(part, role, depth + 1, name);
            }
        } else if (protocol == "concatf") {
            resolveList(rest, depth + 1, name);
        } else if (protocol == "async" || protocol == "cache" || protocol == "subfile" ||
                   protocol == "crypto") {
            resolveInto(rest, role, depth + 1, name);
        }
        // Any other protocol reads from elsewhere than a local file.
    } else if (protocol == "tee") {
        for (const std::string_view part : split(rest, '|')) {
            resolveInto(part, role, depth + 1, name);
        }
    } else if (protocol == "md5") {
        if (rest.empty()) {
            name.files.push_back({{}, 1});  // the digest goes to standard output
        } else {
            resolveInto(rest, role, depth + 1, name);
        }
    } else if (name.refusedProtocol.empty()) {
        name.refusedProtocol = protocol;
    }
}
}  // namespace

LibraryName resolveLibraryName(std::string_view word, NameRole role) {
    LibraryName name;
    resolveInto(word, role, 0, name);
    return name;
}

}  // namespace shapemark
