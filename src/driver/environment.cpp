#include <opencv2/core/utils/logger.hpp>

#include <X11/Xauth.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <charconv>
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

// How long a display may take to accept a connection, and then to answer it.
constexpr std::chrono::milliseconds kDisplayPatience{2000};
constexpr long kFirstX11Port = 6000;
constexpr long kLastX11Port = 65535;
constexpr std::string_view kCookieName = "MIT-MAGIC-COOKIE-1";
// The protocol's address families (X.h, whose macros would clash with other headers).
constexpr unsigned short kFamilyInternet = 0;
constexpr unsigned short kFamilyInternet6 = 6;
// The first byte of the server's answer to a connection setup that it accepts.
constexpr unsigned char kSetupSuccess = 1;
constexpr unsigned char kProtocolMajor = 11;

// A blocking socket whose connect, send and receive each give up after kDisplayPatience, so
// that a display that never answers cannot hang the tool; -1 when none can be made.
int patientSocket(int family) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(kDisplayPatience);
    const timeval limit{static_cast<time_t>(seconds.count()),
                        static_cast<suseconds_t>((kDisplayPatience - seconds).count() * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    return fd;
}

// The cookie the window toolkit would present to the server at `peer`, from the user's
// Xauthority file, looked up as libxcb does: a local or loopback peer by this host's name.
std::string x11Cookie(const sockaddr* peer, long number) {
    unsigned short family = FamilyLocal;
    std::string host(256, '\0');
    const char* where = nullptr;
    std::size_t length = 0;
    if (peer->sa_family == AF_INET) {
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the socket API's own idiom
        const auto* inet = reinterpret_cast<const sockaddr_in*>(peer);
        if (inet->sin_addr.s_addr != htonl(INADDR_LOOPBACK)) {
            family = kFamilyInternet;
            // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): raw address bytes
            where = reinterpret_cast<const char*>(&inet->sin_addr);
            length = sizeof(inet->sin_addr);
        }
    } else if (peer->sa_family == AF_INET6) {
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the socket API's own idiom
        const auto* inet6 = reinterpret_cast<const sockaddr_in6*>(peer);
        if (IN6_IS_ADDR_LOOPBACK(&inet6->sin6_addr) == 0) {
            family = kFamilyInternet6;
            // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): raw address bytes
            where = reinterpret_cast<const char*>(&inet6->sin6_addr);
            length = sizeof(inet6->sin6_addr);
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
    std::string setup = {'l', 0, static_cast<char>(kProtocolMajor), 0, 0, 0};
    for (const std::size_t size : {name.size(), cookie.size()}) {
        setup += static_cast<char>(size & 0xFFU);
        setup += static_cast<char>(size >> 8U);
    }
    setup += std::string(2, '\0');
    return setup + padded(name) + padded(cookie);
}

// True when the server at `peer` accepts the connection setup that the window toolkit would
// send. The toolkit aborts the process on anything else: a refusal, a hang-up, an answer in
// another protocol, a refused cookie or silence.
bool x11ServerAccepts(const sockaddr* peer, socklen_t length, long number) {
    const int fd = patientSocket(peer->sa_family);
    if (fd < 0) {
        return false;
    }
    const std::string setup = x11Setup(x11Cookie(peer, number));
    std::array<unsigned char, 8> reply{};  // success, unused, major version, minor, length
    const bool accepted =
        ::connect(fd, peer, length) == 0 &&
        ::send(fd, setup.data(), setup.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(setup.size()) &&
        ::recv(fd, reply.data(), reply.size(), MSG_WAITALL) == static_cast<ssize_t>(reply.size()) &&
        reply[0] == kSetupSuccess && reply[2] == kProtocolMajor && reply[3] == 0;
    ::close(fd);
    return accepted;
}

// A local display's server, reached as libxcb reaches it: by the name in Linux's abstract
// namespace (which a container sharing the host's network reaches without the socket file),
// then by the socket file.
bool localX11ServerAccepts(long number) {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    for (const std::size_t at : {std::size_t{1}, std::size_t{0}}) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path + at, path.size());
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the socket API's own idiom
        if (x11ServerAccepts(reinterpret_cast<const sockaddr*>(&address), length, number)) {
            return true;
        }
    }
    return false;
}

// A display over the network: port 6000 + N at any of the host's addresses.
bool remoteX11ServerAccepts(const std::string& host, long number) {
    if (number > kLastX11Port - kFirstX11Port) {
        return false;  // beyond every port: nothing can answer there
    }
    const std::string port = std::to_string(kFirstX11Port + number);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
        return false;  // a host that cannot be found cannot answer
    }
    bool accepts = false;
    for (const addrinfo* address = found; address != nullptr && !accepts;
         address = address->ai_next) {
        accepts = x11ServerAccepts(address->ai_addr, address->ai_addrlen, number);
    }
    ::freeaddrinfo(found);
    return accepts;
}

// True when DISPLAY ("[PROTOCOL/][HOST]:N[.S]", as libxcb reads it) names an X server that
// accepts this user. A value that cannot be read, a server gone, silent or refusing, would
// make the window toolkit abort the process.
bool x11DisplayUsable(const std::string& display) {
    const std::size_t colon = display.rfind(':');
    if (colon == std::string::npos || colon + 1 >= display.size()) {
        return false;
    }
    const char* first = display.c_str() + colon + 1;
    const char* last = display.c_str() + display.size();
    long number = 0;
    const auto read = std::from_chars(first, last, number);
    if (std::isdigit(static_cast<unsigned char>(*first)) == 0 || read.ec != std::errc() ||
        (read.ptr != last &&
         (*read.ptr != '.' || read.ptr + 1 == last ||
          std::string_view(read.ptr + 1, last - read.ptr - 1).find_first_not_of("0123456789") !=
              std::string_view::npos))) {
        return false;  // a number, optionally followed by ".S", and nothing else
    }
    std::string host = display.substr(0, colon);
    std::string protocol;
    const std::size_t slash = host.find('/');
    if (slash != std::string::npos) {
        protocol = host.substr(0, slash);
        host = host.substr(slash + 1);
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (protocol == "unix" || (protocol.empty() && (host.empty() || host == "unix"))) {
        return localX11ServerAccepts(number);
    }
    const bool network =
        protocol.empty() || protocol == "tcp" || protocol == "inet" || protocol == "inet6";
    return network && !host.empty() && host.back() != ':' && remoteX11ServerAccepts(host, number);
}

// True when WAYLAND_DISPLAY names a socket that takes connections: a file name in
// XDG_RUNTIME_DIR, or a path. A compositor that has gone leaves the variable behind.
bool waylandDisplayListens(const std::string& name) {
    std::string path = name;
    if (name.front() != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || *runtime == '\0') {
            return false;
        }
        path = std::string(runtime) + "/" + name;
    }
    sockaddr_un address{};
    if (path.size() >= sizeof(address.sun_path)) {
        return false;
    }
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, path.size());
    const int fd = patientSocket(AF_UNIX);
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the socket API's own idiom
    const bool listens =
        fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return listens;
}
}  // namespace

Windows windowsFromEnvironment() {
    if (isSet("QT_QPA_PLATFORM")) {
        return Windows::On;  // the user chose the toolkit's platform
    }
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland != nullptr && *wayland != '\0' && waylandDisplayListens(wayland)) {
        return Windows::On;
    }
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0' && x11DisplayUsable(display) ? Windows::On
                                                                               : Windows::Off;
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
