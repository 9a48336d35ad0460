#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "output/muted_stderr.hpp"

namespace shapemark {

MutedStderr::MutedStderr(bool active) {
    if (!active) {
        return;
    }
    const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (sink < 0) {
        return;
    }
    std::fflush(stderr);
    saved_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (saved_ >= 0) {
        ::dup2(sink, STDERR_FILENO);
    }
    ::close(sink);
}

MutedStderr::~MutedStderr() {
    if (saved_ < 0) {
        return;
    }
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
}

}  // namespace shapemark
