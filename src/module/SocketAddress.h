#pragma once
// TSocketAddress: an IPv4 or IPv6 socket address, made from a host name or textual address
// and a port, and turned back into text.
#include "module/ModuleTypes.h"

#include <sys/socket.h>

namespace fk {

class TSocketAddress {
public:
    TSocketAddress() = default;
    TSocketAddress(const sockaddr* address, socklen_t length) noexcept;

    // Looks the host up for the IP version (numeric addresses need no name service; names
    // may block while resolving). False with the last error 87 for an empty host, 110 when
    // the name cannot be resolved.
    bool Resolve(const String& host, TIdIPVersion ipVersion, u16 port);

    const sockaddr* Get() const noexcept { return reinterpret_cast<const sockaddr*>(&storage_); }
    sockaddr* Get() noexcept { return reinterpret_cast<sockaddr*>(&storage_); }
    socklen_t Length() const noexcept { return length_; }
    void SetLength(socklen_t length) noexcept { length_ = length; }
    static socklen_t Capacity() noexcept { return sizeof(sockaddr_storage); }

    int Family() const noexcept { return storage_.ss_family; }
    TIdIPVersion IPVersion() const noexcept { return Family() == AF_INET6 ? Id_IPv6 : Id_IPv4; }
    String IP() const;
    u16 Port() const noexcept;

    static int FamilyOf(TIdIPVersion ipVersion) noexcept { return ipVersion == Id_IPv6 ? AF_INET6 : AF_INET; }
    // The local address and port a socket is bound to.
    static TSocketAddress Local(int fd) noexcept;
    // The peer of a connected socket.
    static TSocketAddress Peer(int fd) noexcept;

private:
    sockaddr_storage storage_{};
    socklen_t length_ = 0;
};

} // namespace fk
