#include "app/Display.h"

#include "base/UniqueFd.h"

#include <QDir>
#include <QLibraryInfo>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace display {
namespace {

// `abstractName` connects in Linux's abstract namespace, where X servers
// listen first and which a container may share without /tmp/.X11-unix.
bool UnixSocketAnswers(const std::string& path, bool abstractName) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::size_t offset = abstractName ? 1 : 0;
    if (path.empty() || path.size() + offset >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    const base::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return false;
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    return ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), len) == 0;
}

bool TcpAnswers(const std::string& host, int port, int timeoutMs) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
    bool answered = false;
    for (const addrinfo* a = found; a && !answered; a = a->ai_next) {
        const base::UniqueFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (fd.get() < 0) continue;
        if (::connect(fd.get(), a->ai_addr, a->ai_addrlen) == 0) {
            answered = true;
        } else if (errno == EINPROGRESS) {
            pollfd p{fd.get(), POLLOUT, 0};
            int error = 0;
            socklen_t len = sizeof error;
            answered = ::poll(&p, 1, timeoutMs) == 1 &&
                       ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
        }
    }
    ::freeaddrinfo(found);
    return answered;
}

bool WaylandPluginInstalled() {
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

bool XServerReachable(std::string_view name, int timeoutMs) {
    if (name.empty()) return false;
    if (name.front() == '/') {  // a socket path, as some servers hand out
        const std::string path(name);
        return UnixSocketAnswers(path, false) || UnixSocketAnswers(path.substr(0, path.rfind(':')), false);
    }
    const auto colon = name.rfind(':');
    if (colon == std::string_view::npos || colon + 1 >= name.size()) return false;
    std::string_view host = name.substr(0, colon);
    std::string_view protocol;
    if (const auto slash = host.find('/'); slash != std::string_view::npos) {
        protocol = host.substr(0, slash);
        host = host.substr(slash + 1);
    }
    int number = 0;
    std::size_t i = colon + 1;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && number < 100000; ++i)
        number = number * 10 + (name[i] - '0');
    if (i == colon + 1 || (i < name.size() && name[i] != '.')) return false;

    if (host.empty() || host == "unix" || protocol == "unix") {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        return UnixSocketAnswers(socket, true) || UnixSocketAnswers(socket, false);
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    return TcpAnswers(std::string(host), 6000 + number, timeoutMs);
}

bool WaylandReachable(std::string_view waylandDisplay, std::string_view runtimeDir) {
    if (waylandDisplay.empty()) return false;
    if (waylandDisplay.front() == '/') return UnixSocketAnswers(std::string(waylandDisplay), false);
    if (runtimeDir.empty()) return false;
    return UnixSocketAnswers(std::string(runtimeDir) + "/" + std::string(waylandDisplay), false);
}

WindowSystem ChooseWindowSystem() {
    const auto x = [] { return XServerReachable(Env("DISPLAY")); };
    const auto wayland = [] { return WaylandReachable(Env("WAYLAND_DISPLAY"), Env("XDG_RUNTIME_DIR")); };

    const std::string asked = Env("QT_QPA_PLATFORM");
    if (!asked.empty()) {
        // A list such as "wayland;xcb" is tried in order by Qt: one usable
        // entry is enough. Options follow a platform's name after ":".
        std::size_t start = 0;
        while (start <= asked.size()) {
            const std::size_t end = std::min(asked.find(';', start), asked.size());
            const std::string entry = asked.substr(start, end - start);
            const std::string platform = entry.substr(0, entry.find(':'));
            const bool usable = platform == "xcb"                   ? x()
                                : platform.rfind("wayland", 0) == 0 ? wayland()
                                                                    : !platform.empty();
            if (usable) return {true, {}};
            start = end + 1;
        }
        return {};
    }
    if (x()) return {true, {}};
    // Without an X server Qt would still try xcb unless told otherwise.
    if (wayland() && WaylandPluginInstalled()) return {true, "wayland"};
    return {};
}

bool WindowsCanBeSeen() {
    const std::string asked = Env("QT_QPA_PLATFORM");
    if (asked.starts_with("offscreen") || asked.starts_with("minimal")) return false;
    return ChooseWindowSystem().usable;
}

}  // namespace display
