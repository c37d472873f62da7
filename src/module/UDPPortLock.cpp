#include "module/UDPPortLock.h"

#include "support/SingleInstance.h"

#include <cerrno>
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

} // namespace

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
