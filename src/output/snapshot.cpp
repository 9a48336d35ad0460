#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
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
// A draft's name: short, so that it fits wherever the snapshot's own name does.
constexpr std::string_view kDraftPrefix = ".shapemark-";
constexpr std::string_view kDraftSuffix = ".tmp";
constexpr std::size_t kDraftDigits = 8;
// A draft this old belongs to no live run: a run names its draft an instant before the rename.
constexpr auto kStaleDraftAge = std::chrono::minutes(1);
// The unit of an in-place write from a draft.
constexpr std::size_t kCopyChunk = std::size_t{64} << 10;

bool isUnnamed(const std::string& draft) {
    return draft.rfind(kUnnamedDraft, 0) == 0;
}

std::string folderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

// A fresh, unguessable draft name in `folder`, so that nobody can take the names in a shared
// folder beforehand.
std::string draftName(const std::string& folder, int attempt) {
    std::uint32_t random = 0;
    if (::getrandom(&random, sizeof(random), GRND_NONBLOCK) != sizeof(random)) {
        random =
            static_cast<std::uint32_t>(::getpid()) * 65599U + static_cast<std::uint32_t>(attempt);
    }
    std::array<char, kDraftDigits + 1> digits{};
    std::snprintf(digits.data(), digits.size(), "%08x", static_cast<unsigned>(random));
    return folder + "/" + std::string(kDraftPrefix) + digits.data() + std::string(kDraftSuffix);
}

bool isDraftName(std::string_view name) {
    if (name.size() != kDraftPrefix.size() + kDraftDigits + kDraftSuffix.size() ||
        name.substr(0, kDraftPrefix.size()) != kDraftPrefix ||
        name.substr(name.size() - kDraftSuffix.size()) != kDraftSuffix) {
        return false;
    }
    const std::string_view digits = name.substr(kDraftPrefix.size(), kDraftDigits);
    return digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Only a regular file, or none yet, is replaced by a rename: a device or FIFO node would be
// replaced by a file.
bool isReplaceable(const std::string& path) {
    struct stat file {};
    return ::stat(path.c_str(), &file) != 0 || S_ISREG(file.st_mode);
}

// Writes the draft behind `fd` into the device or FIFO at `path`, in place. A FIFO that nobody
// reads, and any other kind of file (a block device, a socket, a folder), is left alone.
bool writeInPlace(int fd, const std::string& path) {
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0 || !(S_ISFIFO(file.st_mode) || S_ISCHR(file.st_mode))) {
        return false;
    }
    // Non-blocking, so that a FIFO without a reader is skipped rather than waited on.
    const int out = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (out < 0) {
        return false;
    }
    bool written = ::fcntl(out, F_SETFL, 0) == 0;
    std::vector<char> chunk(kCopyChunk);
    for (off_t offset = 0; written;) {
        const ssize_t n = ::pread(fd, chunk.data(), chunk.size(), offset);
        if (n <= 0) {
            written = n == 0;
            break;
        }
        written = writeAll(out, chunk.data(), static_cast<std::size_t>(n));
        offset += n;
    }
    return ::close(out) == 0 && written;
}

// Links the unnamed file to a fresh draft name beside `path`, then renames it over `path`.
// linkat cannot replace a file, so the rename still does the replacing.
bool commitUnnamed(int fd, const std::string& path) {
    const std::string source = std::string(kUnnamedDraft) + std::to_string(fd);
    const std::string folder = folderOf(path);
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        const std::string name = draftName(folder, attempt);
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

// A named draft, made new (O_EXCL) so that nobody else's file or link in a shared folder is
// ever written through, and concurrent drafts never meet.
int openNamedDraft(const std::string& path, mode_t mode, std::string& draft) {
    const std::string folder = folderOf(path);
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        draft = draftName(folder, attempt);
        const int fd = ::open(draft.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}
}  // namespace

void removeStaleDrafts(const std::string& path) {
    std::error_code error;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (std::filesystem::directory_iterator entry(folderOf(path), error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        struct stat file {};
        if (!isDraftName(name) || ::lstat(entry->path().c_str(), &file) != 0 ||
            !S_ISREG(file.st_mode) || file.st_uid != ::geteuid()) {
            continue;
        }
        std::error_code ageError;
        const auto modified = std::filesystem::last_write_time(entry->path(), ageError);
        if (!ageError && now - modified > kStaleDraftAge) {
            ::unlink(entry->path().c_str());
        }
    }
}

mode_t newFileMode() {
    // umask can only be read by setting it; this runs once, before any thread starts.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666U & ~mask);
}

std::string writeSnapshotDraft(const cv::Mat& img, const std::string& path, mode_t mode) {
    // The draft is opened first, and the frame encoded only then: where no draft can be made (a
    // missing folder, as the fixed path's usually is, or no right to write) the encode, a third
    // of a 1920x1080 camera frame's work, is not done for nothing. Asked again on every frame,
    // so a folder made during a run gets the next frame's snapshot.
    //
    // Beside the target, so the rename never crosses a file system. Unnamed while it is
    // written, so a killed run leaves nothing behind; commitSnapshot names it an instant before
    // its rename. A device or FIFO is written in place, from a draft in memory.
    const std::string folder = folderOf(path);
    std::string draft;
    int fd = -1;
    if (!isReplaceable(path)) {
        fd = ::memfd_create("shapemark-snapshot", MFD_CLOEXEC);
    } else if (::access(kUnnamedDraft.data(), X_OK) == 0) {
        // Without /proc (some containers) an unnamed file could never be named.
        fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    }
    if (fd >= 0) {
        draft = std::string(kUnnamedDraft) + std::to_string(fd);
    } else if (isReplaceable(path)) {
        // No O_TMPFILE on this file system (NFS, vfat): a named draft.
        fd = openNamedDraft(path, mode, draft);
    }
    if (fd < 0) {
        return {};
    }
    // The snapshot gets the mode any new file would get, whatever the draft was made with.
    std::vector<std::uint8_t> png;
    const bool written =
        png::encodePng(img, png) && ::fchmod(fd, mode) == 0 && writeAll(fd, png.data(), png.size());
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
        const bool committed =
            isReplaceable(path) ? commitUnnamed(fd, path) : writeInPlace(fd, path);
        const bool closed = ::close(fd) == 0;
        return committed && closed;
    }
    if (isReplaceable(path) && std::rename(draft.c_str(), path.c_str()) == 0) {
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
