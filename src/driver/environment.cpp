#include <opencv2/core/utils/logger.hpp>

#include <X11/Xauth.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

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
// so it counts as no display.
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

// How long a display over the network may take to accept a connection, and then to answer.
constexpr std::chrono::milliseconds kDisplayPatience{2000};
constexpr long kFirstX11Port = 6000;
constexpr long kLastX11Port = 65535;
constexpr std::string_view kCookieName = "MIT-MAGIC-COOKIE-1";
// The protocol's address families (X.h, whose macros would clash with other headers).
constexpr unsigned short kFamilyInternet = 0;
constexpr unsigned short kFamilyInternet6 = 6;

// Waits up to kDisplayPatience for `events` on `fd`; true when they came.
bool waitFor(int fd, short events) {
    pollfd entry{fd, events, 0};
    const auto limit = static_cast<int>(kDisplayPatience.count());
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, limit);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

// The cookie the window toolkit would present to the server at `address`, from the user's
// Xauthority file, looked up as libxcb does: a loopback peer by this host's name.
std::string x11Cookie(const addrinfo& address, long number) {
    unsigned short family = FamilyLocal;
    std::string host(256, '\0');
    const char* where = nullptr;
    std::size_t length = 0;
    if (address.ai_family == AF_INET) {
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the socket API's own idiom
        const auto* peer = reinterpret_cast<const sockaddr_in*>(address.ai_addr);
        if (peer->sin_addr.s_addr != htonl(INADDR_LOOPBACK)) {
            family = kFamilyInternet;
            // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): raw address bytes
            where = reinterpret_cast<const char*>(&peer->sin_addr);
            length = sizeof(peer->sin_addr);
        }
    } else if (address.ai_family == AF_INET6) {
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the socket API's own idiom
        const auto* peer = reinterpret_cast<const sockaddr_in6*>(address.ai_addr);
        if (IN6_IS_ADDR_LOOPBACK(&peer->sin6_addr) == 0) {
            family = kFamilyInternet6;
            // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): raw address bytes
            where = reinterpret_cast<const char*>(&peer->sin6_addr);
            length = sizeof(peer->sin6_addr);
        }
    }
    if (family == FamilyLocal) {
        if (::gethostname(host.data(), host.size() - 1) != 0) {
            return {};
        }
        where = host.c_str();
        length = std::char_traits<char>::length(where);
    }
    const std::string display = std::to_string(number);
    std::string name(kCookieName);
    std::array<char*, 1> names{name.data()};
    std::array<int, 1> nameLengths{static_cast<int>(name.size())};
    const std::unique_ptr<Xauth, decltype(&XauDisposeAuth)> entry(
        XauGetBestAuthByAddr(family, static_cast<unsigned short>(length), where,
                             static_cast<unsigned short>(display.size()), display.c_str(),
                             static_cast<int>(names.size()), names.data(), nameLengths.data()),
        &XauDisposeAuth);
    return entry == nullptr ? std::string() : std::string(entry->data, entry->data_length);
}

// The connection setup: little-endian, protocol 11.0, with the cookie if there is one. A
// request that an SSH forward cannot match to its own cookie makes ssh print a warning on the
// user's terminal.
std::string x11Setup(const std::string& cookie) {
    const auto padded = [](std::string text) {
        text.resize((text.size() + 3) & ~std::size_t{3}, '\0');
        return text;
    };
    const std::string name = cookie.empty() ? std::string() : std::string(kCookieName);
    std::string setup = {'l', 0, 11, 0, 0, 0};
    for (const std::size_t size : {name.size(), cookie.size()}) {
        setup += static_cast<char>(size & 0xFFU);
        setup += static_cast<char>(size >> 8U);
    }
    setup += std::string(2, '\0');
    return setup + padded(name) + padded(cookie);
}

// True when an X server at the address answers a connection request: it accepts within the
// time, and then says anything at all, or hangs up. Even a refusal of the credentials is an
// answer: the server is alive, and the window toolkit will say what is wrong.
bool x11ServerAnswers(const addrinfo& address, long number) {
    const int fd = ::socket(address.ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return true;  // no socket to try with: leave it to the toolkit
    }
    bool answers = false;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0 ||
        (errno == EINPROGRESS && waitFor(fd, POLLOUT))) {
        int error = 0;
        socklen_t length = sizeof(error);
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        const std::string setup = x11Setup(x11Cookie(address, number));
        answers = error == 0 &&
                  ::send(fd, setup.data(), setup.size(), MSG_NOSIGNAL) ==
                      static_cast<ssize_t>(setup.size()) &&
                  waitFor(fd, POLLIN);
    }
    ::close(fd);
    return answers;
}

// A display over the network ("host:N" or "tcp/host:N", port 6000 + N) that refuses the
// connection or stays silent would hang or abort the window toolkit, so it counts as none.
bool remoteX11ServerSilent(const std::string& display) {
    const std::size_t colon = display.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= display.size() ||
        std::isdigit(static_cast<unsigned char>(display[colon + 1])) == 0) {
        return false;
    }
    std::string host = display.substr(0, colon);
    const std::size_t slash = host.find('/');
    if (slash != std::string::npos) {
        const std::string protocol = host.substr(0, slash);
        if (protocol != "tcp" && protocol != "inet" && protocol != "inet6") {
            return false;  // a local socket, or a transport left to the toolkit
        }
        host = host.substr(slash + 1);
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host.empty() || host == "unix" || host.front() == '/' || host.back() == ':') {
        return false;  // local, a socket path, or DECnet
    }
    const long number = std::strtol(display.c_str() + colon + 1, nullptr, 10);
    if (number > kLastX11Port - kFirstX11Port) {
        return true;  // beyond every port: nothing can answer there
    }
    const std::string port = std::to_string(kFirstX11Port + number);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
        return true;  // a host that cannot be found cannot answer
    }
    bool silent = true;
    for (const addrinfo* address = found; address != nullptr && silent;
         address = address->ai_next) {
        silent = !x11ServerAnswers(*address, number);
    }
    ::freeaddrinfo(found);
    return silent;
}
}  // namespace

Windows windowsFromEnvironment() {
    if (isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM")) {
        return Windows::On;
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0' || localX11ServerGone(display) ||
        remoteX11ServerSilent(display)) {
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
