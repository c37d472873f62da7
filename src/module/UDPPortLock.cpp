#include "module/UDPPortLock.h"

#include "ports/FileHolders.h"
#include "support/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <vector>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fk {

namespace {

// "ferrovan (process 1234)" from the file's "1234 ferrovan" line.
String DescribeHolder(int fd)
{
    char text[256] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    String line(text, n > 0 ? std::size_t(n) : 0);
    line = line.substr(0, line.find('\n'));
    const auto space = line.find(' ');
    if (space == String::npos || space == 0 || space + 1 >= line.size())
        return "another program";
    String name;
    for (const char c : line.substr(space + 1))
        name += (c >= 0x20 && c < 0x7F) ? c : '?';
    return name + " (process " + line.substr(0, space) + ")";
}

bool SameFile(int fd, const String& path)
{
    struct stat open {}, named {};
    return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev
        && open.st_ino == named.st_ino;
}

// One line of /proc/net/udp or udp6.
struct TUdpSocketLine {
    String LocalAddress; // hex, as the kernel prints it
    u16 Port = 0;
    u32 Uid = 0;
    u64 Inode = 0;
};

std::vector<TUdpSocketLine> UdpSockets()
{
    std::vector<TUdpSocketLine> sockets;
    for (const char* file : {"/proc/net/udp", "/proc/net/udp6"}) {
        std::ifstream in(file);
        String line;
        std::getline(in, line); // the heading
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            String slot, local, remote, state, queues, timer, retransmits;
            TUdpSocketLine s;
            if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> s.Uid))
                continue;
            String timeout;
            fields >> timeout >> s.Inode;
            const auto colon = local.find(':');
            if (colon == String::npos)
                continue;
            s.LocalAddress = local.substr(0, colon);
            s.Port = u16(std::strtoul(local.substr(colon + 1).c_str(), nullptr, 16));
            sockets.push_back(s);
        }
    }
    return sockets;
}

bool IsWildcard(const String& hexAddress)
{
    return hexAddress.find_first_not_of('0') == String::npos;
}

String NameHolder(u64 inode, u32 uid)
{
    const TFileHolderList holders = TFileHolders().OfSocket(inode);
    if (!holders.Visible.empty()) {
        const TFileHolder& h = holders.Visible.front();
        return (h.Name.empty() ? String("a program") : h.Name) + " (process " + std::to_string(h.Pid) + ")";
    }
    return uid != ::getuid() ? "another user's program" : "another program";
}

} // namespace

bool TUDPPortLock::FindSharingListener(int fd, String& holder)
{
    struct stat own {};
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    if (::fstat(fd, &own) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    const u16 port = address.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6&>(address).sin6_port)
                                                   : ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port);
    for (const TUdpSocketLine& s : UdpSockets()) {
        if (s.Port != port || s.Inode == own.st_ino || s.Uid != ::getuid() || !IsWildcard(s.LocalAddress))
            continue;
        holder = NameHolder(s.Inode, s.Uid);
        return true;
    }
    return false;
}

String TUDPPortLock::DescribeBlocker(u16 port)
{
    for (const TUdpSocketLine& s : UdpSockets()) {
        if (s.Port == port)
            return NameHolder(s.Inode, s.Uid);
    }
    return "another program";
}

String TUDPPortLock::FileName(u16 port) { return "udp-" + std::to_string(port) + ".lock"; }

DWORD TUDPPortLock::Acquire(u16 port)
{
    Release();
    holder_.clear();
    const String folder = SingleInstance::RuntimeFolder();
    if (folder.empty())
        return ERROR_SUCCESS;
    const String path = folder + "/" + FileName(port);
    // A holder removes the file when it lets go; a file locked here but removed (or replaced)
    // meanwhile is not the lock any more, so try again with the new one.
    for (int attempt = 0; attempt < 4; ++attempt) {
        TUniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd.Valid())
            return ERROR_SUCCESS; // nothing to check against
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK)
                return ERROR_SUCCESS;
            holder_ = DescribeHolder(fd.Get());
            return ERROR_ACCESS_DENIED;
        }
        if (!SameFile(fd.Get(), path))
            continue;
        const String line = std::to_string(::getpid()) + " " + program_invocation_short_name + "\n";
        if (::ftruncate(fd.Get(), 0) == 0) {
            [[maybe_unused]] const ssize_t w = ::pwrite(fd.Get(), line.data(), line.size(), 0);
        }
        fd_ = std::move(fd);
        path_ = path;
        return ERROR_SUCCESS;
    }
    return ERROR_SUCCESS;
}

void TUDPPortLock::Release() noexcept
{
    if (!fd_.Valid())
        return;
    // Removed while still locked, so that nobody takes a file that is on its way out.
    ::unlink(path_.c_str());
    fd_.Reset();
    path_.clear();
}

} // namespace fk
