#pragma once
// TPortLock: the "LCK..<name>" lock file that serial programs use to keep off a port that
// another program has open.
//
// The file holds the owner's process id as ten characters and a newline. Acquire creates it
// exclusively; a lock left by a process that no longer runs, or by one that runs but does not
// hold the device (its id was reused), or one that cannot be read, is taken over, unless it cannot be removed (another user's file in a shared lock folder). A lock directory that does not exist or that we may not write to is not an
// error: the port is then protected only by flock and TIOCEXCL, like any program that
// cannot write there. Release removes the file if it is still ours.
#include "platform/LastError.h"
#include "platform/Types.h"

namespace fk {

class TPortLock {
public:
    TPortLock() = default;
    ~TPortLock() { Release(); }
    TPortLock(TPortLock&& other) noexcept;
    TPortLock& operator=(TPortLock&& other) noexcept;
    TPortLock(const TPortLock&) = delete;
    TPortLock& operator=(const TPortLock&) = delete;

    // 0 when the port may be used (locked, or no usable lock directory); ERROR_ACCESS_DENIED
    // when a running process holds the lock; ERROR_PORT_STALE_LOCK when the lock's process
    // has ended but its file cannot be removed. An empty directory disables lock files.
    DWORD Acquire(const String& lockDirectory, const String& devicePath);
    void Release() noexcept;
    bool Held() const noexcept { return !path_.empty(); }
    const String& Path() const noexcept { return path_; }

    // "LCK.." + the device path below /dev with '/' replaced by '_' (or its last component).
    static String LockFileName(const String& devicePath);
    // The lock file of a device in a lock directory.
    static String LockFilePath(const String& lockDirectory, const String& devicePath);
    // The usual lock directory of this system: /run/lock, else /var/lock, else none.
    static String DefaultDirectory();

private:
    String path_;
};

} // namespace fk
