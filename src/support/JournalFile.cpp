#include "support/JournalFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

namespace fk {

namespace {

// Closes a descriptor when it goes out of scope (the flock goes with it).
struct TFd {
    int fd = -1;
    explicit TFd(int f) : fd(f) {}
    ~TFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
};

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Creates the folders above path that are missing (mode 0700, like the user's data folders).
void MakeParents(const String& path)
{
    for (std::size_t slash = path.find('/', 1); slash != String::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
}

} // namespace

String TJournalFile::CopyName(const String& path, unsigned n)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    const String number = "." + std::to_string(n);
    if (dot == String::npos || (slash != String::npos && dot < slash))
        return path + number;
    return path.substr(0, dot) + number + path.substr(dot);
}

std::vector<String> TJournalFile::Parts(const String& path)
{
    std::vector<String> parts;
    struct stat st {};
    // The copies are numbered from 1 without gaps: the first missing number ends them.
    for (unsigned n = 1; ::stat(CopyName(path, n).c_str(), &st) == 0; ++n)
        parts.push_back(CopyName(path, n));
    if (::stat(path.c_str(), &st) == 0)
        parts.push_back(path);
    return parts;
}

bool TJournalFile::Fail(int err, const char* what)
{
    failure_ = "the service journal " + path_ + " cannot be written: " + what + " (" + std::strerror(err) + ")";
    if (!reported_) {
        reported_ = true;
        if (OnFailure)
            OnFailure(failure_);
    }
    return false;
}

bool TJournalFile::Append(std::string_view text)
{
    std::string line(text);
    if (line.empty() || line.back() != '\n')
        line += '\n';
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW;
    int fd = ::open(path_.c_str(), flags, 0600);
    if (fd < 0 && errno == ENOENT) {
        MakeParents(path_);
        fd = ::open(path_.c_str(), flags, 0600);
    }
    if (fd < 0)
        return Fail(errno, "open");
    TFd file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Fail(errno, "stat");
    if (!S_ISREG(st.st_mode))
        return Fail(EINVAL, "not a regular file");
    // One writer at a time: the bound is checked and kept, and the line written, under the lock.
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR)
            return Fail(errno, "lock");
    if (::fstat(fd, &st) != 0)
        return Fail(errno, "stat");
    const u64 size = static_cast<u64>(st.st_size);
    if (size > 0 && size + line.size() > limit_ && !MoveOldestHalf(size))
        return false;
    // One write of the whole line on an O_APPEND descriptor: never half a record.
    const ssize_t n = ::write(fd, line.data(), line.size());
    if (n != static_cast<ssize_t>(line.size())) {
        const int err = n < 0 ? errno : ENOSPC;
        // Cut short (disk full): the file ends at its last whole line again.
        if (n > 0 && ::fstat(fd, &st) == 0 && ::ftruncate(fd, st.st_size - n) != 0)
            return Fail(errno, "write");
        return Fail(err, "write");
    }
    return true;
}

bool TJournalFile::MoveOldestHalf(u64 size)
{
    // The descriptor appends; the newer half is moved to the front through one that does not.
    TFd rw(::open(path_.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW));
    if (rw.fd < 0)
        return Fail(errno, "open");
    std::string content(size, '\0');
    std::size_t have = 0;
    while (have < size) {
        const ssize_t n = ::pread(rw.fd, content.data() + have, size - have, static_cast<off_t>(have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Fail(n < 0 ? errno : EIO, "read");
        have += static_cast<std::size_t>(n);
    }
    // The copy ends behind the first line end at or after the middle.
    std::size_t cut = content.find('\n', size / 2);
    cut = cut == std::string::npos ? content.size() : cut + 1;
    TFd copy(-1);
    for (unsigned n = 1; copy.fd < 0; ++n) {
        copy.fd = ::open(CopyName(path_, n).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (copy.fd < 0 && errno != EEXIST)
            return Fail(errno, "numbered copy");
    }
    if (!WriteAll(copy.fd, content.data(), cut) || ::fsync(copy.fd) != 0)
        return Fail(errno ? errno : EIO, "numbered copy");
    const std::size_t keep = content.size() - cut;
    std::size_t done = 0;
    while (done < keep) {
        const ssize_t n = ::pwrite(rw.fd, content.data() + cut + done, keep - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Fail(n < 0 ? errno : EIO, "write");
        done += static_cast<std::size_t>(n);
    }
    if (::ftruncate(rw.fd, static_cast<off_t>(keep)) != 0)
        return Fail(errno, "write");
    return true;
}

} // namespace fk
