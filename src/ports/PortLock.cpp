#include "ports/PortLock.h"

#include "ports/FileHolders.h"
#include "ports/UniqueFd.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fk {

namespace {

// The process id written in a lock file, or 0 when it cannot be read.
pid_t ReadOwner(const String& path)
{
    TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.Valid())
        return 0;
    char text[32] = {};
    const ssize_t n = ::read(fd.Get(), text, sizeof text - 1);
    if (n <= 0)
        return 0;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    return pid > 0 && pid < 0x7FFFFFFF ? pid_t(pid) : 0;
}

bool ProcessRuns(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

} // namespace

TPortLock::TPortLock(TPortLock&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }

TPortLock& TPortLock::operator=(TPortLock&& other) noexcept
{
    if (this != &other) {
        Release();
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

String TPortLock::LockFileName(const String& devicePath)
{
    String name;
    if (devicePath.rfind("/dev/", 0) == 0) {
        name = devicePath.substr(5);
        for (char& c : name)
            if (c == '/')
                c = '_';
    } else {
        const auto pos = devicePath.find_last_of('/');
        name = pos == String::npos ? devicePath : devicePath.substr(pos + 1);
    }
    return "LCK.." + name;
}

String TPortLock::LockFilePath(const String& lockDirectory, const String& devicePath)
{
    return lockDirectory + "/" + LockFileName(devicePath);
}

String TPortLock::DefaultDirectory()
{
    for (const char* dir : {"/run/lock", "/var/lock"}) {
        struct stat st {};
        if (::stat(dir, &st) == 0 && S_ISDIR(st.st_mode))
            return dir;
    }
    return {};
}

DWORD TPortLock::Acquire(const String& lockDirectory, const String& devicePath)
{
    Release();
    if (lockDirectory.empty() || devicePath.empty())
        return ERROR_SUCCESS;
    const String path = LockFilePath(lockDirectory, devicePath);
    char text[16];
    const int len = std::snprintf(text, sizeof text, "%10d\n", int(::getpid()));
    for (int attempt = 0; attempt < 2; ++attempt) {
        TUniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
        if (fd.Valid()) {
            const bool written = ::write(fd.Get(), text, size_t(len)) == len;
            if (fd.Reset() != 0 || !written) {
                ::unlink(path.c_str());
                return ERROR_SUCCESS; // a full or broken lock directory: go on without
            }
            path_ = path;
            return ERROR_SUCCESS;
        }
        if (errno != EEXIST)
            return ERROR_SUCCESS; // no such directory, or not ours to write: go on without
        const pid_t owner = ReadOwner(path);
        // Our own process id here is stale: this process holds the device exclusively
        // (flock) before it ever writes the lock file.
        // A running process whose id is in the file but that does not hold the device (the id
        // was reused after its program ended) leaves a stale lock as well.
        if (owner != ::getpid() && ProcessRuns(owner) && TFileHolders().Holds(owner, devicePath) != TFileHolders::hsNo)
            return ERROR_ACCESS_DENIED;
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            return ERROR_PORT_STALE_LOCK; // a stale lock we may not remove still blocks others
    }
    return ERROR_ACCESS_DENIED;
}

void TPortLock::Release() noexcept
{
    if (path_.empty())
        return;
    if (ReadOwner(path_) == ::getpid())
        ::unlink(path_.c_str());
    path_.clear();
}

} // namespace fk
