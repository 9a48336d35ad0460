#include "output/recording.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "output/files.hpp"
#include "output/muted_stderr.hpp"

namespace shapemark {

namespace {
int fourcc(const char* code) {
    return cv::VideoWriter::fourcc(code[0], code[1], code[2], code[3]);
}

// The codecs tried after MP42, for containers that cannot hold it.
std::vector<const char*> fallbackCodecs(const std::string& path) {
    const std::string extension = lowerExtension(path);
    if (extension == ".mp4" || extension == ".m4v") {
        return {"avc1", "mp4v"};
    }
    if (extension == ".webm") {
        return {"VP80"};
    }
    return {};
}

// Why the file system holding `path` takes no more data, or empty when it still does. The
// writer buffers and hides its write errors, so a full or read-only file system is read here.
std::string fileSystemRefusal(const std::string& path) {
    struct statvfs fs {};
    if (::statvfs(path.c_str(), &fs) != 0) {
        return {};
    }
    if ((fs.f_flag & ST_RDONLY) != 0) {
        return "the file system is read-only";
    }
    // Blocks reserved for the superuser are open to a process running as root.
    const auto available = ::geteuid() == 0 ? fs.f_bfree : fs.f_bavail;
    return available == 0 ? "the disk is full" : std::string();
}

// What a failed write's error code says to a user; empty for a code that names no loss.
std::string writeFailure(int error) {
    switch (error) {
        case ENOMEM:
            return "out of memory";
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
        case EPIPE:
        case EIO:
            return std::string("a write failed: ") + std::strerror(error);
        default:
            return {};
    }
}

// Syncs the finished file to the disk; returns why that failed, or an empty string.
std::string flushToDisk(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};  // nothing there to lose; the read-back tells
    }
    const int error = syncToDisk(fd);
    ::close(fd);
    return error == 0 ? std::string()
                      : std::string("writing it out to the disk failed: ") + std::strerror(error);
}

// The frames that the finished file holds, counted as packets without decoding them; -1 when
// it cannot be opened at all.
long long framesInFile(const std::string& path) {
    cv::VideoCapture capture(path, cv::CAP_FFMPEG);
    if (!capture.isOpened()) {
        return -1;
    }
    capture.set(cv::CAP_PROP_FORMAT, -1);  // raw packets
    long long frames = 0;
    while (capture.grab()) {
        ++frames;
    }
    return frames;
}
}  // namespace

bool writesIndexLast(const std::string& path) {
    const std::string extension = lowerExtension(path);
    return extension == ".mp4" || extension == ".m4v" || extension == ".mov";
}

bool needsSeekingOnPipe(const std::string& path) {
    struct stat file {};
    return writesIndexLast(path) && ::stat(path.c_str(), &file) == 0 && S_ISFIFO(file.st_mode);
}

Recording::Recording(std::string path, double fps, cv::Size size, bool quiet)
    : path_(std::move(path)), device_(path_), size_(size), quiet_(quiet) {
    if (needsSeekingOnPipe(path_)) {
        // Refused without the library, which would delete the FIFO; a reader waiting on it
        // is let go with an end of file, as the library's attempt would have.
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    const MutedStderr muted(quiet_);
    const std::string name = device_.writerPath();
    writer_.open(name, fourcc("MP42"), fps, size_, true);
    for (const char* codec : fallbackCodecs(path_)) {
        if (writer_.isOpened() || !device_.mayRetry()) {
            break;
        }
        writer_.open(name, fourcc(codec), fps, size_, true);
    }
    device_.dropLink();
    if (writer_.isOpened()) {
        device_.watch();
    }
}

void Recording::write(const cv::Mat& img) {
    // The writer drops the odd last column and row, and any frame of another size.
    const bool fits = img.type() == CV_8UC3 && (img.cols & ~1) == (size_.width & ~1) &&
                      (img.rows & ~1) == (size_.height & ~1);
    if (!writer_.isOpened() || !fits) {
        return;
    }
    ++expected_;
    if (!cause_.empty()) {
        return;  // the file system takes no more
    }
    errno = 0;
    writer_.write(img);
    noteWriteError(errno);
    cause_ = fileSystemRefusal(path_);
    if (cause_.empty()) {
        cause_ = device_.refusal();
    }
}

void Recording::noteWriteError(int error) {
    if (writeError_ == 0 && !writeFailure(error).empty()) {
        writeError_ = error;
    }
}

std::string Recording::lossLine(long long madeIt, const std::string& cause) const {
    std::string line = "shapemark: recording '" + path_ + "' is incomplete";
    if (madeIt >= 0) {
        line +=
            ": " + std::to_string(madeIt) + " of " + std::to_string(expected_) + " frames made it";
    }
    const char* advice =
        writesIndexLast(path_)
            ? "; .mp4 and .mov lose everything then, .mkv and .avi keep what was written"
            : "";
    return line + " (" + cause + advice + ")";
}

std::string Recording::close() {
    if (!writer_.isOpened()) {
        return {};
    }
    errno = 0;
    writer_.release();  // completes the file's index and header
    noteWriteError(errno);
    if (isDeviceOutput(path_)) {
        // A device such as /dev/null keeps nothing to read back: only failed writes tell.
        if (cause_.empty()) {
            cause_ = device_.refusal();
        }
        device_.release();
        return cause_.empty() ? std::string() : lossLine(-1, cause_);
    }
    const std::string flushFailure = flushToDisk(path_);
    long long frames = 0;
    {
        const MutedStderr muted(quiet_);
        frames = framesInFile(path_);
    }
    if (flushFailure.empty() && (frames == expected_ || (frames < 0 && expected_ == 0))) {
        return {};  // an empty recording may hold no stream to open
    }
    std::string cause = flushFailure;
    if (cause.empty()) {
        cause = !cause_.empty() ? cause_ : fileSystemRefusal(path_);
    }
    if (cause.empty()) {
        cause = writeFailure(writeError_);
    }
    if (cause.empty()) {
        cause = "a write failed: an I/O error or a file system gone full";
    }
    // After a failed write-out, what reads back is the memory's copy: no count to trust.
    const long long madeIt = !flushFailure.empty() ? -1 : std::max(frames, 0LL);
    return lossLine(madeIt, frames < 0 ? cause + "; it cannot be read back" : cause);
}

}  // namespace shapemark
