// The one reason an input did not open, for the line that names it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "input/container_facts.hpp"
#include "input/frame_source.hpp"

namespace shapemark {

namespace {
const char* const kNotAVideo = "not a video the library reads";

InputError fromErrno(int error, const char* missing) {
    switch (error) {
        case ENOENT:
            return {missing, error};
        case EACCES:
        case EPERM:
            return {"permission denied", error};
        default:
            return {std::strerror(error), error};
    }
}

std::string fileOf(const InputWord& input) {
    return input.word.compare(0, 5, "file:") == 0 ? input.word.substr(5) : input.word;
}
InputError whyCameraNotOpened(const std::string& path) {
    if (::access(path.c_str(), F_OK) != 0) {
        return {"no such camera", ENODEV};
    }
    if (::access(path.c_str(), R_OK | W_OK) != 0) {
        return {"permission denied", EACCES};
    }
    return {"no such camera (the device does not capture video)", ENODEV};
}

InputError whyStreamNotOpened(const std::string& name) {
    const std::string error = containerOpenError(name);
    if (error.empty()) {
        return {kNotAVideo, 0};
    }
    if (name.find("://") == std::string::npos) {
        return {error, 0};  // a local protocol: the library's own words say it
    }
    return {"the server refused or answered an error (" + error + ")", 0};
}
}  // namespace

std::optional<InputError> unreadableFile(const InputWord& input) {
    // A name with '%' may be an image sequence, one with '!' a GStreamer pipeline: no single
    // file stands for either.
    if (input.kind != InputWord::Kind::File ||
        input.word.find_first_of("%!") != std::string::npos) {
        return std::nullopt;
    }
    const std::string path = fileOf(input);
    // Opening a FIFO waits for its writer, and closing it then leaves the writer without a
    // reader: its next write fails and the stream is lost before the library opens it.
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && S_ISFIFO(named.st_mode)) {
        return ::access(path.c_str(), R_OK) == 0
                   ? std::nullopt
                   : std::optional<InputError>(fromErrno(errno, "no such file"));
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fromErrno(errno, "no such file");
    }
    struct stat file {};
    const bool folder = ::fstat(fd, &file) == 0 && S_ISDIR(file.st_mode);
    ::close(fd);
    return folder ? std::optional<InputError>(InputError("a folder", EISDIR)) : std::nullopt;
}

InputError whyNotOpened(const InputWord& input) {
    switch (input.kind) {
        case InputWord::Kind::Camera:
            return whyCameraNotOpened(input.word);
        case InputWord::Kind::Stream:
            return whyStreamNotOpened(input.word);
        case InputWord::Kind::StandardInput:
            return {"standard input is " + std::string(kNotAVideo), 0};
        case InputWord::Kind::File:
            break;
    }
    return unreadableFile(input).value_or(InputError(kNotAVideo, 0));
}

}  // namespace shapemark
