#include "support/SingleInstance.h"

#include "platform/LastError.h"
#include "support/MessageDigest5.h"

#include <cerrno>
#include <cstddef>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fk::SingleInstance {

namespace {

// The two lines of the exchange: "NAME <name>" answered by the same line, and "SHOW <name>".
constexpr const char* NameRequest = "NAME ";
constexpr const char* ShowRequest = "SHOW ";
constexpr std::size_t MaxLine = 1024;

// The guard of this process.
struct TGuard {
    int lockFd = -1;
    int listenFd = -1;
    String name;
    String socketPath;
    String problem; // why the guard could not be taken, for the user
    std::function<void()> showHandler;

    void Close()
    {
        if (listenFd >= 0) {
            ::close(listenFd);
            listenFd = -1;
        }
        if (lockFd >= 0) {
            ::close(lockFd); // releases the flock
            lockFd = -1;
        }
        name.clear();
        socketPath.clear();
    }
    ~TGuard() { Close(); }
};

TGuard& Guard()
{
    static TGuard guard;
    return guard;
}

String Digest(const String& name)
{
    TMessageDigest5 md5(name.data(), static_cast<unsigned>(name.size()));
    u8 d[TMessageDigest5::HashSize];
    md5.FinalDigest(d);
    char hex[2 * TMessageDigest5::HashSize + 1];
    for (unsigned i = 0; i < TMessageDigest5::HashSize; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", d[i]);
    return hex;
}

// The socket lives in the abstract namespace ("@name": no file, so no folder whose path
// could make it too long, and nothing left behind); the address length is exact.
bool MakeAddress(const String& path, sockaddr_un& addr, socklen_t& length)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() < 2 || path[0] != '@' || path.size() > sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path + 1, path.data() + 1, path.size() - 1);
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    return true;
}

// Anyone may bind or connect to an abstract name: only a peer of this user is talked to.
bool PeerIsThisUser(int fd)
{
    ucred cred {};
    socklen_t len = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::getuid();
}

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Waits for events on fd until the deadline; false on time-out or error.
bool WaitFor(int fd, short events, int64_t deadline)
{
    for (;;) {
        const int64_t left = deadline - NowMs();
        if (left <= 0)
            return false;
        pollfd p{ fd, events, 0 };
        const int n = ::poll(&p, 1, static_cast<int>(left));
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0 && (p.revents & events);
    }
}

bool SendAll(int fd, const String& text, int64_t deadline)
{
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR) && WaitFor(fd, POLLOUT, deadline))
            continue;
        return false;
    }
    return true;
}

// One line (without its '\n'), or nothing by the deadline.
std::optional<String> ReadLine(int fd, int64_t deadline)
{
    String line;
    char buf[256];
    while (line.size() <= MaxLine) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) {
            line.append(buf, static_cast<std::size_t>(n));
            if (const auto end = line.find('\n'); end != String::npos)
                return line.substr(0, end);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR) && WaitFor(fd, POLLIN, deadline))
            continue;
        return std::nullopt;
    }
    return std::nullopt;
}

// Connects to the instance socket and sends a request; the connected socket, or -1.
int Request(const String& path, const String& line, int64_t deadline)
{
    sockaddr_un addr;
    socklen_t length = 0;
    if (!MakeAddress(path, addr, length))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if ((::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) != 0 &&
         !((errno == EINPROGRESS || errno == EAGAIN) && WaitFor(fd, POLLOUT, deadline)))
        || !PeerIsThisUser(fd)) {
        ::close(fd);
        return -1;
    }
    if (!SendAll(fd, line + "\n", deadline)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Answers one accepted connection. A client that does not send its line at once is dropped.
bool Answer(int fd)
{
    TGuard& g = Guard();
    if (!PeerIsThisUser(fd))
        return false;
    const int64_t deadline = NowMs() + AnswerTimeoutMs;
    const auto line = ReadLine(fd, deadline);
    if (!line)
        return false;
    if (*line == NameRequest + g.name)
        return SendAll(fd, *line + "\n", deadline);
    if (*line == ShowRequest + g.name) {
        SendAll(fd, "OK\n", deadline);
        if (g.showHandler)
            g.showHandler();
        return true;
    }
    return false;
}

} // namespace

String RuntimeFolder(String* problem)
{
    String dir;
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg)
        dir = String(xdg) + "/ferrovan-kest";
    else
        dir = "/tmp/ferrovan-kest-" + std::to_string(::getuid());
    const auto fail = [&](const String& why) {
        if (problem)
            *problem = why;
        return String();
    };
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return fail(dir + " cannot be made (" + std::strerror(errno) + ")");
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0)
        return fail(dir + " cannot be read (" + std::strerror(errno) + ")");
    if (!S_ISDIR(st.st_mode))
        return fail(dir + " is not a folder");
    // A folder another user made (in a shared /tmp) is not ours to use.
    if (st.st_uid != ::getuid())
        return fail(dir + " belongs to another user");
    if ((st.st_mode & 0777) != 0700)
        ::chmod(dir.c_str(), 0700);
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return fail(dir + " is not writable (" + std::strerror(errno) + ")");
    if (problem)
        problem->clear();
    return dir;
}

String LockPath(const String& name)
{
    const String dir = RuntimeFolder();
    return dir.empty() ? String() : dir + "/instance-" + Digest(name) + ".lock";
}

String SocketPath(const String& name)
{
    // Short whatever the runtime folder is; the user id keeps the users apart, and the folder
    // in the digest keeps apart programs (and test runs) whose runtime folders differ, as
    // their lock files are.
    return "@ferrovan-kest/" + std::to_string(::getuid()) + "/" + Digest(RuntimeFolder() + "\n" + name);
}

bool InstanceExists(const String& name)
{
    const String path = LockPath(name);
    if (path.empty())
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

std::optional<TInstanceWindow> GetWindow(const String& name)
{
    const String path = SocketPath(name);
    const int64_t deadline = NowMs() + AnswerTimeoutMs;
    const String line = NameRequest + name;
    const int fd = Request(path, line, deadline);
    if (fd < 0)
        return std::nullopt;
    const auto reply = ReadLine(fd, deadline);
    ::close(fd);
    if (!reply || *reply != line)
        return std::nullopt;
    SetLastError(ErrorOtherInstance);
    return TInstanceWindow{ path, name };
}

bool ShowWindow(const std::optional<TInstanceWindow>& window)
{
    if (!window)
        return false;
    const int64_t deadline = NowMs() + AnswerTimeoutMs;
    const int fd = Request(window->SocketPath, ShowRequest + window->Name, deadline);
    if (fd < 0)
        return false;
    const auto reply = ReadLine(fd, deadline);
    ::close(fd);
    return reply && *reply == "OK";
}

bool GetState()
{
    return Guard().lockFd >= 0;
}

bool SetState(bool on, const String& name)
{
    TGuard& g = Guard();
    if (!on) {
        g.Close();
        SetLastError(ERROR_SUCCESS);
        return true;
    }
    if (g.lockFd >= 0)
        return true;
    const String dir = RuntimeFolder(&g.problem);
    if (dir.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const String lockPath = LockPath(name);
    // Never through a link: a link planted in the folder must not make us create or lock
    // some other file.
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        const int err = errno;
        g.problem = lockPath + " cannot be opened (" + std::strerror(err) + ")";
        SetLastErrorFromErrno(err);
        return false;
    }
    g.problem.clear();
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        SetLastErrorFromErrno(err, TErrnoUse::InstanceLock);
        return false;
    }
    g.lockFd = fd;
    g.name = name;
    g.socketPath = SocketPath(name);
    sockaddr_un addr;
    socklen_t length = 0;
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s >= 0 && MakeAddress(g.socketPath, addr, length) &&
        ::bind(s, reinterpret_cast<const sockaddr*>(&addr), length) == 0 && ::listen(s, 8) == 0) {
        g.listenFd = s;
    } else {
        // Without the socket the guard still works, but a second start finds no window to raise:
        // the user is told (another program may have taken the name first).
        const int err = errno;
        if (s >= 0)
            ::close(s);
        g.problem = "its socket " + g.socketPath + " cannot be made (" + std::strerror(err)
            + (err == EADDRINUSE ? "; another program has taken the name" : "") + ")";
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

const String& GuardProblem()
{
    return Guard().problem;
}

int ListenHandle()
{
    return Guard().listenFd;
}

bool WndProc()
{
    TGuard& g = Guard();
    bool handled = false;
    while (g.listenFd >= 0) {
        const int fd = ::accept4(g.listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            break;
        handled = Answer(fd) || handled;
        ::close(fd);
    }
    return handled;
}

void SetShowHandler(std::function<void()> handler)
{
    Guard().showHandler = std::move(handler);
}

String CreateExclusionName(const String& name, unsigned scope)
{
    switch (scope) {
    case esSession: {
        // The graphical session: the display the program runs on.
        const char* display = std::getenv("WAYLAND_DISPLAY");
        if (!display || !*display)
            display = std::getenv("DISPLAY");
        return name + "-" + ((display && *display) ? String(display) : String("console"));
    }
    case esLoginSession: {
        const pid_t sid = ::getsid(0);
        if (sid < 0)
            return name;
        char buf[24];
        std::snprintf(buf, sizeof buf, "-%016llx", static_cast<unsigned long long>(sid));
        return name + buf;
    }
    case esUser: {
        char host[65] = {};
        if (::gethostname(host, sizeof host - 1) != 0)
            host[0] = 0;
        const passwd* pw = ::getpwuid(::getuid());
        if (!pw || !pw->pw_name)
            return name;
        return name + "-" + String(host).substr(0, 64) + "-" + String(pw->pw_name).substr(0, 64);
    }
    default:
        return name;
    }
}

} // namespace fk::SingleInstance
