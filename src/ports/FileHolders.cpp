#include "ports/FileHolders.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/sysmacros.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fk {

namespace {

bool ParsePid(const char* text, int& pid)
{
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (!*text || *end || n <= 0 || n > INT_MAX)
        return false;
    pid = int(n);
    return true;
}

String ReadLink(const String& path)
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? String(buf, std::size_t(n)) : String();
}

String Canonical(const String& path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? String(buf) : path;
}

} // namespace

TFileHolders::TFileHolders(String procRoot) : procRoot_(std::move(procRoot)) {}

std::vector<int> TFileHolders::Processes() const
{
    std::vector<int> pids;
    DIR* dir = ::opendir(procRoot_.c_str());
    if (!dir)
        return pids;
    while (const dirent* e = ::readdir(dir)) {
        int pid = 0;
        if (ParsePid(e->d_name, pid))
            pids.push_back(pid);
    }
    ::closedir(dir);
    std::sort(pids.begin(), pids.end()); // in pid order, as /proc itself lists them
    return pids;
}

String TFileHolders::ProcessName(int pid) const
{
    std::ifstream in(procRoot_ + "/" + std::to_string(pid) + "/comm");
    String name;
    std::getline(in, name);
    return name;
}

template <typename Match>
TFileHolderList TFileHolders::Find(const Match& match) const
{
    TFileHolderList list;
    for (const int pid : Processes()) {
        const String fdDir = procRoot_ + "/" + std::to_string(pid) + "/fd";
        DIR* dir = ::opendir(fdDir.c_str());
        if (!dir) {
            if (errno == EACCES || errno == EPERM)
                list.Hidden = true;
            continue; // or it ended meanwhile
        }
        bool holds = false;
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.')
                continue;
            const String link = fdDir + "/" + e->d_name;
            if (match(link, ReadLink(link))) {
                holds = true;
                break;
            }
        }
        ::closedir(dir);
        if (!holds)
            continue;
        TFileHolder holder;
        holder.Pid = pid;
        holder.Name = ProcessName(pid);
        struct stat st {};
        if (::stat((procRoot_ + "/" + std::to_string(pid)).c_str(), &st) == 0)
            holder.Uid = st.st_uid;
        list.Visible.push_back(holder);
    }
    return list;
}

TFileHolderList TFileHolders::OfDevice(const String& devicePath) const
{
    if (devicePath.empty())
        return {};
    const String path = Canonical(devicePath);
    struct stat dev {};
    // On the machine's own /proc a descriptor is compared by the file it opens (device and
    // inode, as fuser does): a link's text alone would also match the /dev/pts/0 of another
    // mount namespace. A tree of the test's own is compared by the link's text.
    if (procRoot_ == "/proc" && ::stat(path.c_str(), &dev) == 0) {
        bool hidden = false;
        TFileHolderList list = Find([&](const String& link, const String& target) {
            if (target.empty() || target[0] != '/')
                return false; // sockets, pipes, anonymous inodes
            struct stat st {};
            if (::stat(link.c_str(), &st) != 0) {
                hidden = hidden || errno == EACCES || errno == EPERM;
                return false;
            }
            return st.st_dev == dev.st_dev && st.st_ino == dev.st_ino;
        });
        list.Hidden = list.Hidden || hidden;
        return list;
    }
    return Find([&](const String&, const String& target) {
        return !target.empty() && (target == path || target == devicePath);
    });
}

TFileHolderList TFileHolders::OfSocket(u64 inode) const
{
    const String name = "socket:[" + std::to_string(inode) + "]";
    return Find([&](const String&, const String& target) { return target == name; });
}

std::vector<int> TFileHolders::LockHolders(const String& path) const
{
    std::vector<int> pids;
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return pids;
    // "1: FLOCK  ADVISORY  WRITE 4711 00:05:1234 0 EOF": the file is "major:minor:inode" of
    // the file system (hexadecimal) and the inode (decimal); waiters carry "->" after the number.
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::ifstream in(procRoot_ + "/locks");
    String line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        String number, kind, advisory, mode, pidText, id;
        fields >> number >> kind;
        if (kind == "->")
            continue; // waiting for the lock, not holding it
        fields >> advisory >> mode >> pidText >> id;
        int pid = 0;
        if (id == file && ParsePid(pidText.c_str(), pid)
            && std::find(pids.begin(), pids.end(), pid) == pids.end())
            pids.push_back(pid);
    }
    return pids;
}

TFileHolders::THolds TFileHolders::Holds(int pid, const String& devicePath) const
{
    const auto locks = LockHolders(devicePath);
    if (std::find(locks.begin(), locks.end(), pid) != locks.end())
        return hsYes;
    struct stat st {};
    if (::stat(devicePath.c_str(), &st) != 0)
        return hsUnknown; // nothing to compare the descriptors with
    const String fdDir = procRoot_ + "/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(fdDir.c_str());
    if (!dir)
        return hsUnknown; // another user's process: its descriptors are not ours to see
    ::closedir(dir);
    const TFileHolderList list = OfDevice(devicePath);
    for (const TFileHolder& h : list.Visible)
        if (h.Pid == pid)
            return hsYes;
    return hsNo;
}

TFileHolder TFileHolders::FindProcess(const String& name) const
{
    for (const int pid : Processes()) {
        if (ProcessName(pid) == name) {
            TFileHolder holder;
            holder.Pid = pid;
            holder.Name = name;
            return holder;
        }
    }
    return {};
}

} // namespace fk
