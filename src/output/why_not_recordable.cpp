#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "output/files.hpp"
#include "output/recording.hpp"
#include "output/why_not_recordable.hpp"

namespace shapemark {

namespace {
// A size and rate that every container's codec takes.
const cv::Size kPlainSize(64, 64);
constexpr double kPlainFps = 25.0;
// Beyond a few of its frames, what an encoder needs to start.
constexpr std::size_t kEncoderMemory = std::size_t{16} << 20;
constexpr std::size_t kFramesHeld = 4;

// What stands in the way on the file system, or an empty string.
std::string fileSystemReason(const std::string& path) {
    struct stat file {};
    if (::stat(path.c_str(), &file) == 0) {
        if (S_ISDIR(file.st_mode)) {
            return "(it is a folder)";
        }
        if (needsSeekingOnPipe(path)) {
            return "(" + lowerExtension(path) +
                   " needs a file it can seek back in, not a pipe); try .mkv or .avi";
        }
        // Opened without truncation: the file is only asked, never changed.
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            return {};
        }
        if (errno == EACCES || errno == EPERM) {
            return "(the file is read-only)";
        }
        return errno == EROFS ? "(its file system is read-only)"
                              : std::string("(") + std::strerror(errno) + ")";
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const std::string where = folder.empty() ? "." : folder.string();
    std::error_code error;
    if (!std::filesystem::is_directory(where, error)) {
        return "(its folder does not exist)";
    }
    if (::access(where.c_str(), W_OK) != 0) {
        return errno == EROFS ? "(its file system is read-only)" : "(its folder is not writable)";
    }
    return {};
}

// Whether the codecs for `path`'s container take this size and rate: tried on a scratch file
// of the same kind beside it, which is removed again. Unknown (true) when none can be made.
bool encoderTakes(const std::string& path, double fps, cv::Size size, bool quiet) {
    const std::string extension = lowerExtension(path);
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::string scratch = (folder.empty() ? std::string(".") : folder.string()) +
                          "/.shapemark-probe-XXXXXX" + extension;
    const int fd = ::mkostemps(scratch.data(), static_cast<int>(extension.size()), O_CLOEXEC);
    if (fd < 0) {
        return true;
    }
    ::close(fd);
    bool opened = false;
    {
        const Recording probe(scratch, fps, size, quiet);
        opened = probe.isOpen();
    }
    ::unlink(scratch.c_str());
    return opened;
}

// False when the memory for an encoder of frames of `size` cannot even be mapped.
bool memoryToSpare(cv::Size size) {
    const std::size_t frame =
        static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 3;
    const std::size_t length = kEncoderMemory + kFramesHeld * frame;
    void* block =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        return false;
    }
    ::munmap(block, length);
    return true;
}
}  // namespace

std::string whyNotRecordable(const std::string& path, double fps, cv::Size size, bool quiet) {
    std::string reason = fileSystemReason(path);
    if (!reason.empty()) {
        return reason;
    }
    if (!(fps > 0)) {
        return "(the input tells no frame rate to record at)";
    }
    if (!encoderTakes(path, kPlainFps, kPlainSize, quiet)) {
        return memoryToSpare(kPlainSize)
                   ? "(MP42 needs an AVI container); try a name ending in .avi"
                   : "(out of memory)";
    }
    if (!encoderTakes(path, kPlainFps, size, quiet)) {
        if (!memoryToSpare(size)) {
            return "(out of memory)";
        }
        return "(the encoder refuses a frame size of " + std::to_string(size.width) + "x" +
               std::to_string(size.height) + ")";
    }
    std::array<char, 32> rate{};
    std::snprintf(rate.data(), rate.size(), "%g", fps);
    return std::string("(the encoder refuses a frame rate of ") + rate.data() + " fps)";
}

}  // namespace shapemark
