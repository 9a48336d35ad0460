#include "driver/output_locks.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace shapemark {

namespace {
// Tries between "there is none" and "someone just made it", before going unlocked.
constexpr int kOpenTries = 3;

// The file opened without emptying it, or made new; -1 when it is no regular file or cannot be
// opened.
int openForLock(const std::string& path, bool& made) {
    for (int attempt = 0; attempt < kOpenTries; ++attempt) {
        struct stat file {};
        if (::stat(path.c_str(), &file) == 0) {
            made = false;
            return S_ISREG(file.st_mode) ? ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC)
                                         : -1;
        }
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            made = fd >= 0;
            return fd;
        }
    }
    return -1;
}
}  // namespace

OutputLocks::~OutputLocks() {
    for (const Held& held : held_) {
        ::close(held.fd);
    }
}

bool OutputLocks::take(const std::string& path) {
    bool made = false;
    const int fd = openForLock(path, made);
    if (fd < 0) {
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);  // a file made here and locked by another is theirs now: left alone
        return !held;
    }
    held_.push_back({fd, path, made});
    return true;
}

void OutputLocks::removeMade(const std::string& path) {
    for (Held& held : held_) {
        struct stat file {};
        if (held.made && held.path == path && ::fstat(held.fd, &file) == 0 && file.st_size == 0) {
            ::unlink(held.path.c_str());
        }
        held.made = held.made && held.path != path;
    }
}

void OutputLocks::removeAllMade() {
    for (const Held& held : held_) {
        removeMade(held.path);
    }
}

}  // namespace shapemark
