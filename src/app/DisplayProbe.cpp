#include "app/DisplayProbe.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <fcntl.h>

namespace fk {

namespace {

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// Connects fd to addr without blocking longer than timeoutMs.
bool ConnectWithin(int fd, const sockaddr* addr, socklen_t length, int timeoutMs)
{
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    if (connect(fd, addr, length) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, timeoutMs) != 1)
        return false;
    int error = 0;
    socklen_t size = sizeof error;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool ReachUnix(const std::string& path, int timeoutMs)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    if (path[0] == '@')
        addr.sun_path[0] = '\0'; // an abstract socket
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ConnectWithin(fd, reinterpret_cast<const sockaddr*>(&addr),
                                  static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size()), timeoutMs);
    close(fd);
    return ok;
}

bool ReachTcp(const std::string& host, const std::string& port, int timeoutMs)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0)
        return false;
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        ok = ConnectWithin(fd, a->ai_addr, a->ai_addrlen, timeoutMs);
        close(fd);
    }
    freeaddrinfo(found);
    return ok;
}

} // namespace

TDisplayProbe::TEnvironment TDisplayProbe::FromProcess(int argc, char** argv)
{
    TEnvironment env;
    env.Display = Env("DISPLAY");
    env.WaylandDisplay = Env("WAYLAND_DISPLAY");
    env.Platform = Env("QT_QPA_PLATFORM");
    env.RuntimeDir = Env("XDG_RUNTIME_DIR");
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
            env.PlatformArgument = true;
    return env;
}

bool TDisplayProbe::RunsInstalled()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return false;
    const std::string exe(path, static_cast<std::size_t>(n));
    const std::size_t slash = exe.rfind('/');
    return slash != std::string::npos && slash >= 4 && exe.compare(slash - 4, 4, "/bin") == 0;
}

std::vector<std::string> TDisplayProbe::XAddresses(const std::string& display)
{
    // [host]:number[.screen]; no host or "unix" is the local socket, anything else TCP.
    const std::size_t colon = display.rfind(':');
    if (colon == std::string::npos)
        return {};
    const std::string host = display.substr(0, colon);
    std::string number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        return {};
    if (host.empty() || host == "unix")
        return {"unix:@/tmp/.X11-unix/X" + number, "unix:/tmp/.X11-unix/X" + number};
    if (host[0] == '/') // a socket path of its own (as XQuartz writes it)
        return {"unix:" + display};
    return {"tcp:" + host + ":" + std::to_string(6000 + std::atoi(number.c_str()))};
}

std::string TDisplayProbe::WaylandAddress(const std::string& name, const std::string& runtimeDir)
{
    if (!name.empty() && name[0] == '/')
        return "unix:" + name;
    return runtimeDir.empty() ? std::string() : "unix:" + runtimeDir + "/" + name;
}

bool TDisplayProbe::Reachable(const std::string& address, int timeoutMs)
{
    if (address.rfind("unix:", 0) == 0)
        return ReachUnix(address.substr(5), timeoutMs);
    if (address.rfind("tcp:", 0) == 0) {
        const std::string rest = address.substr(4);
        const std::size_t colon = rest.rfind(':');
        return colon != std::string::npos && ReachTcp(rest.substr(0, colon), rest.substr(colon + 1), timeoutMs);
    }
    return false;
}

std::string TDisplayProbe::Problem(const TEnvironment& env, bool installed)
{
    const std::string hint = installed
        ? "start it in a graphical session, or over ssh -X; the command-line tool ferrovan needs no display"
        : "`make run` shows the window with a simulated controller on a virtual display";
    // A platform the user chose (offscreen, vnc, ...) is Qt's to find.
    if (!env.Platform.empty() || env.PlatformArgument)
        return {};
    if (env.Display.empty() && env.WaylandDisplay.empty())
        return "no display: neither DISPLAY nor WAYLAND_DISPLAY is set (" + hint + ")";
    constexpr int TimeoutMs = 3000;
    std::string unreachable;
    if (!env.WaylandDisplay.empty()) {
        const std::string address = WaylandAddress(env.WaylandDisplay, env.RuntimeDir);
        if (!address.empty() && Reachable(address, TimeoutMs))
            return {};
        unreachable = "WAYLAND_DISPLAY=" + env.WaylandDisplay;
    }
    if (!env.Display.empty()) {
        for (const std::string& address : XAddresses(env.Display))
            if (Reachable(address, TimeoutMs))
                return {};
        unreachable += (unreachable.empty() ? "" : " and ") + std::string("DISPLAY=") + env.Display;
    }
    return "no display: " + unreachable + " cannot be reached (" + hint + ")";
}

} // namespace fk
