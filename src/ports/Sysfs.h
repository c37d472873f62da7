#pragma once
// Read access to the kernel's device tree (sysfs) and the device nodes, below a root that
// can be moved: discovery reads /sys and /dev, tests give it a tree of their own.
// Nothing here writes, and nothing follows a link out of the tree.
#include "platform/Types.h"

#include <vector>

namespace fk {

class TSysfs {
public:
    explicit TSysfs(const String& sysRoot = "/sys", const String& devRoot = "/dev");

    // The roots as given (a root that exists is kept in its canonical form).
    const String& SysRoot() const noexcept { return sysRoot_; }
    const String& DevRoot() const noexcept { return devRoot_; }

    // The names in /sys/class/<cls>, sorted by byte value. False with the last error
    // (ERROR_PATH_NOT_FOUND, ...) when the class folder cannot be read.
    bool ListClass(const String& cls, std::vector<String>& names) const;

    // The canonical folder of a class device; empty when it does not resolve inside the tree.
    String ClassDevicePath(const String& cls, const String& name) const;

    // The canonical target of the link `link` inside `dir` (e.g. "device"); empty when
    // there is none or it points out of the tree.
    String ResolveLink(const String& dir, const char* link) const;

    // The last path component of the link's target: the name of a "driver" or
    // "subsystem" link. Empty when there is no such link.
    static String LinkName(const String& dir, const char* link);

    // The contents of an attribute file without trailing blanks and line ends (at most
    // 4 KiB). False when it is missing or unreadable.
    static bool ReadAttribute(const String& dir, const char* name, String& value);

    // The folder of the parent device; empty at the top of the device tree.
    String Parent(const String& devicePath) const;

    // True for devices the kernel keeps under devices/virtual (no hardware of their own).
    bool IsVirtual(const String& devicePath) const;

    // The device path relative to the root, as uevents name it ("/devices/...").
    String KernelPath(const String& devicePath) const;

    // The node of a device name below the device root, e.g. /dev/ttyUSB0.
    String DevNode(const String& name) const;
    // True when the device root has an entry of that name (of any kind).
    bool HasDevNode(const String& name) const;

    // The link in <dev root>/serial/by-id that points at the node of `name`; empty when
    // there is none.
    String FindStableLink(const String& name) const { return FindStableLink(name, "by-id"); }
    // The same in <dev root>/serial/<folder> ("by-id", "by-path").
    String FindStableLink(const String& name, const char* folder) const;

private:
    bool Inside(const String& path) const;

    String sysRoot_;
    String devRoot_;
    String devicesRoot_; // <sys root>/devices
};

} // namespace fk
