#pragma once
// TUDPPortLock: keeps a second program of this user from listening for modules on a UDP port
// that one already listens on.
//
// Two sockets bound to every address of the same UDP port (both with SO_REUSEADDR, which the
// listener needs beside the simulated modules on 127.0.0.x) share the port silently: one of
// them gets the datagrams, the other nothing. So the listener first takes "udp-<port>.lock"
// in the user's runtime folder (the single-instance guard's), locked with flock and holding
// the owner's process id and program name; a second listener finds it locked and is told who
// holds the port. The kernel drops the lock when its holder ends, however it ends. A listener
// that looks in another runtime folder is found among the port's sockets after binding
// (FindSharingListener). Sockets of other users cannot share the port at all: the listener
// binds with SO_REUSEPORT, which the kernel grants to sockets of the same user only.
#include "platform/LastError.h"
#include "platform/Types.h"
#include "ports/UniqueFd.h"

namespace fk {

class TUDPPortLock {
public:
    TUDPPortLock() = default;
    ~TUDPPortLock() { Release(); }
    TUDPPortLock(const TUDPPortLock&) = delete;
    TUDPPortLock& operator=(const TUDPPortLock&) = delete;

    // 0 when the port is ours (or there is no runtime folder to check in); ERROR_ACCESS_DENIED
    // when a running program holds it: Holder() then names that program.
    DWORD Acquire(u16 port);
    void Release() noexcept;
    bool Held() const noexcept { return fd_.Valid(); }
    // The holder found by the last failed Acquire, "ferrovan (process 1234)".
    const String& Holder() const noexcept { return holder_; }

    static String FileName(u16 port);

    // Other sockets of the port of the bound socket fd that share it with us (sockets of this
    // user bound to the same address, every address included): a second listener that took no
    // lock, because it looks in another runtime folder (another XDG_RUNTIME_DIR, sudo -E).
    // True with holder naming it ("ferrovan-kest (process 1234)") when there is one.
    static bool FindSharingListener(int fd, String& holder);
    // Who holds a port that could not be bound: a program of ours named, "another user's
    // program" when the holder cannot be seen, "another program" when none was found.
    static String DescribeBlocker(u16 port);

private:
    TUniqueFd fd_;
    String path_;
    String holder_;
};

} // namespace fk
