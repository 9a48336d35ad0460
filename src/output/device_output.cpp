#include "output/device_output.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace shapemark {

namespace {
// A FIFO's writing end reports an error once no reader is left.
bool readerLeft(int fd) {
    pollfd poll{fd, POLLOUT, 0};
    return ::poll(&poll, 1, 0) == 1 && (poll.revents & POLLERR) != 0;
}
}  // namespace

bool isDeviceOutput(const std::string& path) {
    struct stat file {};
    return ::stat(path.c_str(), &file) == 0 && !S_ISREG(file.st_mode);
}

DeviceOutput::DeviceOutput(const std::string& path) : path_(path), writerPath_(path) {
    if (!isDeviceOutput(path)) {
        return;
    }
    std::error_code error;
    const std::filesystem::path target = std::filesystem::absolute(path, error);
    const char* tmp = std::getenv("TMPDIR");
    std::string folder =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/shapemark-XXXXXX";
    if (error || ::mkdtemp(folder.data()) == nullptr) {
        return;  // no private link: the library opens the name itself
    }
    target_ = target.string();
    linkFolder_ = folder;
    writerPath_ = folder + "/" + std::filesystem::path(path).filename().string();
    if (::symlink(target_.c_str(), writerPath_.c_str()) != 0) {
        dropLink();
    }
}

bool DeviceOutput::mayRetry() {
    if (!isDeviceOutput(path_)) {
        return true;
    }
    // Only through the private link: the library's failed open removes the name it was given.
    struct stat file {};
    if (linkFolder_.empty() || ::stat(path_.c_str(), &file) != 0 || !S_ISCHR(file.st_mode)) {
        return false;
    }
    return ::symlink(target_.c_str(), writerPath_.c_str()) == 0 || errno == EEXIST;
}

DeviceOutput::~DeviceOutput() {
    dropLink();
    release();
}

void DeviceOutput::release() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void DeviceOutput::dropLink() {
    if (linkFolder_.empty()) {
        return;
    }
    ::unlink(writerPath_.c_str());  // the library may have removed it already
    ::rmdir(linkFolder_.c_str());
    linkFolder_.clear();
    writerPath_ = path_;
}

void DeviceOutput::watch() {
    if (isDeviceOutput(path_) && fd_ < 0) {
        // Never blocks. A FIFO whose reader has gone already (ENXIO) takes no more writes.
        fd_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        readerGone_ = fd_ < 0 && errno == ENXIO;
    }
}

std::string DeviceOutput::refusal() const {
    struct stat file {};
    const bool watched = fd_ >= 0 && ::fstat(fd_, &file) == 0;
    if (!watched && !readerGone_) {
        return {};  // a regular file, or nothing to ask
    }
    if (!watched || (S_ISFIFO(file.st_mode) && readerLeft(fd_))) {
        return "its reader has gone: " + std::string(std::strerror(EPIPE));
    }
    if (S_ISFIFO(file.st_mode)) {
        return {};
    }
    // A write of nothing reaches the device, and fails as any write to it would.
    if (::write(fd_, "", 0) < 0 && errno != EAGAIN) {
        return std::string("writes to it fail: ") + std::strerror(errno);
    }
    return {};
}

}  // namespace shapemark
