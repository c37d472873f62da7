#pragma once
// TUDPPortLock: keeps a second program of this user from listening for modules on a UDP port
// that one already listens on.
//
// Two sockets bound to every address of the same UDP port (both with SO_REUSEADDR, which the
// listener needs beside the simulated modules on 127.0.0.x) share the port silently: one of
// them gets the datagrams, the other nothing. So the listener first takes "udp-<port>.lock"
// in the user's runtime folder (the single-instance guard's), locked with flock and holding
// the owner's process id and program name; a second listener finds it locked and is told who
// holds the port. The kernel drops the lock when its holder ends, however it ends. Without a
// usable runtime folder there is no lock and listening goes on unchecked.
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

private:
    TUniqueFd fd_;
    String path_;
    String holder_;
};

} // namespace fk
