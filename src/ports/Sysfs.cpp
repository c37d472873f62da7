#include "ports/Sysfs.h"

#include "platform/LastError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace fk {

namespace fs = std::filesystem;

namespace {

String Canonical(const String& path)
{
    std::error_code ec;
    fs::path p = fs::canonical(path, ec);
    return ec ? String() : p.string();
}

String CanonicalOrSelf(const String& path)
{
    String c = Canonical(path);
    return c.empty() ? path : c;
}

} // namespace

TSysfs::TSysfs(const String& sysRoot, const String& devRoot)
    : sysRoot_(CanonicalOrSelf(sysRoot))
    , devRoot_(CanonicalOrSelf(devRoot))
    , devicesRoot_(sysRoot_ + "/devices")
{
}

bool TSysfs::Inside(const String& path) const
{
    return path.size() > sysRoot_.size() && path.compare(0, sysRoot_.size(), sysRoot_) == 0
        && path[sysRoot_.size()] == '/';
}

bool TSysfs::ListClass(const String& cls, std::vector<String>& names) const
{
    names.clear();
    std::error_code ec;
    fs::directory_iterator it(sysRoot_ + "/class/" + cls, ec);
    if (ec) {
        SetLastErrorFromErrno(ec.value());
        return false;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        names.push_back(it->path().filename().string());
    }
    if (ec) {
        SetLastErrorFromErrno(ec.value());
        return false;
    }
    std::sort(names.begin(), names.end());
    SetLastError(ERROR_SUCCESS);
    return true;
}

String TSysfs::ClassDevicePath(const String& cls, const String& name) const
{
    if (name.empty() || name.find('/') != String::npos || name == "." || name == "..")
        return {};
    String p = Canonical(sysRoot_ + "/class/" + cls + "/" + name);
    return Inside(p) ? p : String();
}

String TSysfs::ResolveLink(const String& dir, const char* link) const
{
    String p = Canonical(dir + "/" + link);
    return Inside(p) ? p : String();
}

String TSysfs::LinkName(const String& dir, const char* link)
{
    std::error_code ec;
    fs::path target = fs::read_symlink(dir + "/" + link, ec);
    if (ec)
        return {};
    return target.filename().string();
}

bool TSysfs::ReadAttribute(const String& dir, const char* name, String& value)
{
    const String path = dir + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    char buf[4096];
    ssize_t n;
    do {
        n = ::read(fd, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n < 0)
        return false;
    std::size_t len = static_cast<std::size_t>(n);
    while (len > 0 && (buf[len - 1] == '\n' || buf[len - 1] == '\r' || buf[len - 1] == ' '
                       || buf[len - 1] == '\t' || buf[len - 1] == '\0'))
        --len;
    value.assign(buf, len);
    return true;
}

String TSysfs::Parent(const String& devicePath) const
{
    if (devicePath.size() <= devicesRoot_.size() || devicePath.compare(0, devicesRoot_.size(), devicesRoot_) != 0
        || devicePath[devicesRoot_.size()] != '/')
        return {};
    const auto slash = devicePath.rfind('/');
    String parent = devicePath.substr(0, slash);
    return parent.size() > devicesRoot_.size() ? parent : String();
}

bool TSysfs::IsVirtual(const String& devicePath) const
{
    const String virt = devicesRoot_ + "/virtual/";
    return devicePath.compare(0, virt.size(), virt) == 0;
}

String TSysfs::KernelPath(const String& devicePath) const
{
    return Inside(devicePath) ? devicePath.substr(sysRoot_.size()) : String();
}

String TSysfs::DevNode(const String& name) const
{
    return devRoot_ + "/" + name;
}

bool TSysfs::HasDevNode(const String& name) const
{
    struct stat st {};
    return !name.empty() && name.find('/') == String::npos && ::lstat(DevNode(name).c_str(), &st) == 0;
}

String TSysfs::FindStableLink(const String& name, const char* folder) const
{
    const String node = Canonical(DevNode(name));
    if (node.empty())
        return {};
    std::error_code ec;
    const String dir = devRoot_ + "/serial/" + folder;
    fs::directory_iterator it(dir, ec);
    if (ec)
        return {};
    std::vector<String> found;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        if (Canonical(it->path().string()) == node)
            found.push_back(it->path().string());
    }
    if (found.empty())
        return {};
    // Several links can name one node; the first by name keeps the choice stable.
    return *std::min_element(found.begin(), found.end());
}

} // namespace fk
