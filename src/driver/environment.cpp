#include <opencv2/core/utils/logger.hpp>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <string>

#include "driver/environment.hpp"

namespace shapemark {

namespace {
bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// True only when nothing listens at the address: no such socket, or a refusal. Any other
// failure (a full backlog under load, say) gives the display the benefit of the doubt.
bool nobodyListens(const sockaddr_un& address, socklen_t length) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the socket API's own idiom
    const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length);
    const int error = errno;
    ::close(fd);
    return result != 0 && (error == ENOENT || error == ECONNREFUSED);
}

// A local X display (":N", ":N.S" or "unix:N") with no server behind it is gone, for instance
// a stale DISPLAY in a terminal multiplexer. The window toolkit would abort the process on it,
// so it counts as no display. Remote displays are trusted as they are.
bool localX11ServerGone(const std::string& display) {
    std::string rest = display;
    if (rest.rfind("unix:", 0) == 0) {
        rest = rest.substr(4);
    }
    if (rest.size() < 2 || rest[0] != ':' ||
        std::isdigit(static_cast<unsigned char>(rest[1])) == 0) {
        return false;
    }
    const std::string path = "/tmp/.X11-unix/X" + rest.substr(1, rest.find('.') - 1);
    sockaddr_un file{};
    if (path.size() + 1 >= sizeof(file.sun_path)) {
        return false;
    }
    file.sun_family = AF_UNIX;
    path.copy(file.sun_path, path.size());
    // The server also listens on the same name in Linux's abstract namespace (a leading NUL),
    // which a container sharing the host's network reaches without the socket file.
    sockaddr_un abstract{};
    abstract.sun_family = AF_UNIX;
    path.copy(abstract.sun_path + 1, path.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    return nobodyListens(file, length + 1) && nobodyListens(abstract, length + 1);
}
}  // namespace

Windows windowsFromEnvironment() {
    if (isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM")) {
        return Windows::On;
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0' || localX11ServerGone(display)) {
        return Windows::Off;
    }
    return Windows::On;
}

bool quietLibraryLog() {
    if (std::getenv("OPENCV_LOG_LEVEL") != nullptr) {
        return false;
    }
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    // FFmpeg logs through its own channel (for instance "[mp4 @ ...] Could not find tag");
    // -8 is its quiet level, read when the library first opens a video.
    ::setenv("OPENCV_FFMPEG_LOGLEVEL", "-8", 0);
    // The window toolkit logs too (for instance about XDG_RUNTIME_DIR); its own rules win.
    ::setenv("QT_LOGGING_RULES", "*.warning=false", 0);
    return true;
}

}  // namespace shapemark
