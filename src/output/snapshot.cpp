#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "output/files.hpp"
#include "output/snapshot.hpp"
#include "png/png_encoder.hpp"

namespace shapemark {

namespace {
// An unnamed draft travels as the name of its open descriptor; nothing else is named so.
constexpr std::string_view kUnnamedDraft = "/proc/self/fd/";
// Tries at a name that nobody has taken, before giving up.
constexpr int kNameTries = 100;

bool isUnnamed(const std::string& draft) {
    return draft.rfind(kUnnamedDraft, 0) == 0;
}

// Links the unnamed file to a fresh temporary name beside `path`, then renames it over `path`.
// linkat cannot replace a file, so the rename still does the replacing.
bool commitUnnamed(int fd, const std::string& path) {
    const std::string source = std::string(kUnnamedDraft) + std::to_string(fd);
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        // Unguessable, so that nobody can take the names in a shared folder beforehand.
        std::uint32_t random = 0;
        if (::getrandom(&random, sizeof(random), GRND_NONBLOCK) != sizeof(random)) {
            random = static_cast<std::uint32_t>(::getpid()) * 65599U +
                     static_cast<std::uint32_t>(fd) * 257U + static_cast<std::uint32_t>(attempt);
        }
        std::array<char, 16> suffix{};
        std::snprintf(suffix.data(), suffix.size(), ".tmp%08x", static_cast<unsigned>(random));
        const std::string name = path + suffix.data();
        if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        if (std::rename(name.c_str(), path.c_str()) == 0) {
            return true;
        }
        ::unlink(name.c_str());
        return false;
    }
    return false;
}
}  // namespace

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
    // Beside the target, so the rename never crosses a file system. Unnamed while it is
    // written, so a killed run leaves nothing behind; commitSnapshot names it an instant before
    // its rename.
    std::string draft = std::filesystem::path(path).parent_path().string();
    // Without /proc (some containers) an unnamed file could never be named.
    int fd =
        ::access(kUnnamedDraft.data(), X_OK) != 0
            ? -1
            : ::open(draft.empty() ? "." : draft.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0) {
        draft = std::string(kUnnamedDraft) + std::to_string(fd);
    } else {
        // No O_TMPFILE on this file system (NFS, vfat): a named draft. mkstemp makes a new
        // file under a unique name (O_EXCL), so nobody else's file or link in a shared folder
        // is ever written through, and concurrent drafts never meet.
        draft = path + ".tmpXXXXXX";
        fd = ::mkostemp(draft.data(), O_CLOEXEC);
        if (fd < 0) {
            return {};
        }
    }
    // The snapshot gets the mode any new file would get, whatever the draft was made with.
    const bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, png.data(), png.size());
    if (isUnnamed(draft)) {
        if (written) {
            return draft;  // stays open until committed
        }
        ::close(fd);
        return {};
    }
    const bool closed = ::close(fd) == 0;
    if (written && closed) {
        return draft;
    }
    ::unlink(draft.c_str());
    return {};
}

bool commitSnapshot(const std::string& draft, const std::string& path) {
    if (isUnnamed(draft)) {
        const int fd = std::stoi(draft.substr(kUnnamedDraft.size()));
        const bool committed = commitUnnamed(fd, path);
        const bool closed = ::close(fd) == 0;
        return committed && closed;
    }
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
