#pragma once
// TFileHolders: which processes have a device or a socket open, found as `fuser` finds them:
// by looking through /proc/<pid>/fd of every process this user may look into. A process whose
// descriptors cannot be read (another user's, without the rights to see them) is counted as a
// hidden holder candidate, so that "nobody we can see" can be told apart from "nobody".
//
// The /proc root can be moved so that a test can hand in a tree of its own; there a link's
// target names the device path (or "socket:[inode]") as the kernel's links do.
// Plain reads only; used on the main thread.
#include "platform/Types.h"

#include <vector>

namespace fk {

struct TFileHolder {
    int Pid = 0;
    String Name; // the process's command name (/proc/<pid>/comm)
    u32 Uid = 0;
};

struct TFileHolderList {
    std::vector<TFileHolder> Visible;
    // Some process's descriptors could not be read: a holder may be among them.
    bool Hidden = false;
};

class TFileHolders {
public:
    explicit TFileHolders(String procRoot = "/proc");

    // The processes (this one included) that have the device at devicePath open: a
    // descriptor that opens the same file (below another /proc root: whose link names the
    // same path, after resolving devicePath's links).
    TFileHolderList OfDevice(const String& devicePath) const;
    // The processes (this one included) that hold the socket with this inode.
    TFileHolderList OfSocket(u64 inode) const;
    // The first process with this command name, if any runs (pid 0 otherwise).
    TFileHolder FindProcess(const String& name) const;

    // The command name of a process; empty when it cannot be read (readable for any user's
    // process, unlike its descriptors).
    String ProcessName(int pid) const;

    // The processes holding a lock (flock or fcntl) on the file at path, from <procRoot>/locks,
    // which names them whoever they run as; in the order the kernel lists them.
    std::vector<int> LockHolders(const String& path) const;
    // Whether a process holds the file at devicePath: a lock on it or a descriptor of it.
    enum THolds { hsNo, hsYes, hsUnknown };
    THolds Holds(int pid, const String& devicePath) const;

    const String& ProcRoot() const noexcept { return procRoot_; }

private:
    template <typename Match>
    TFileHolderList Find(const Match& match) const;
    std::vector<int> Processes() const;

    String procRoot_;
};

} // namespace fk
