#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "output/files.hpp"
#include "output/snapshot.hpp"
#include "png/png_encoder.hpp"

namespace shapemark {

mode_t newFileMode() {
    // umask can only be read by setting it; this runs once, before any thread starts.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666U & ~mask);
}

std::string writeSnapshotDraft(const cv::Mat& img, const std::string& path, mode_t mode) {
    std::vector<std::uint8_t> png;
    if (!png::encodePng(img, png)) {
        return {};
    }
    // Beside the target, so the rename never crosses a file system. mkstemp makes a new file
    // under a unique name (O_EXCL), so nobody else's file or link in a shared folder is ever
    // written through, and concurrent drafts never meet.
    std::string draft = path + ".tmpXXXXXX";
    const int fd = ::mkostemp(draft.data(), O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    // mkstemp creates the file private; the snapshot gets the mode any new file would get.
    const bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, png.data(), png.size());
    const bool closed = ::close(fd) == 0;
    if (written && closed) {
        return draft;
    }
    ::unlink(draft.c_str());
    return {};
}

bool commitSnapshot(const std::string& draft, const std::string& path) {
    if (std::rename(draft.c_str(), path.c_str()) == 0) {
        return true;
    }
    ::unlink(draft.c_str());
    return false;
}

bool saveSnapshot(const cv::Mat& img, const std::string& path, mode_t mode) {
    const std::string draft = writeSnapshotDraft(img, path, mode);
    return !draft.empty() && commitSnapshot(draft, path);
}

}  // namespace shapemark
