#include <fcntl.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "output/output.hpp"

namespace shapemark {

namespace {
bool writeAll(int fd, const std::vector<uchar>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}
}  // namespace

bool saveSnapshot(const cv::Mat& img, const std::string& path) {
    std::vector<uchar> png;
    if (!cv::imencode(".png", img, png)) {
        return false;
    }
    // The temporary file sits beside the target, so the rename never crosses a file system.
    // The process id keeps two concurrent runs in one folder from sharing it.
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    const bool written = writeAll(fd, png);
    const bool closed = ::close(fd) == 0;
    if (written && closed && std::rename(temporary.c_str(), path.c_str()) == 0) {
        return true;
    }
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace shapemark
