#pragma once
// TUDPClient: sends datagrams to a settable host, port and IP version from a socket of its
// own (bound to an ephemeral port on first use).
#include "module/ModuleTypes.h"
#include "module/SocketAddress.h"
#include "platform/Component.h"
#include "ports/UniqueFd.h"

namespace fk {

class TUDPClient : public TComponent {
public:
    explicit TUDPClient(TComponent* owner);

    const String& Host() const noexcept { return host_; }
    void SetHost(const String& host);
    u16 Port() const noexcept { return port_; }
    void SetPort(u16 port);
    TIdIPVersion IPVersion() const noexcept { return ipVersion_; }
    void SetIPVersion(TIdIPVersion value);

    // One datagram to Host:Port; false with the last error (87 without a host).
    bool SendBuffer(const TByteString& data);
    bool SendBuffer(const void* data, std::size_t size);

private:
    String host_;
    u16 port_ = 0;
    TIdIPVersion ipVersion_ = Id_IPv4;
    bool resolved_ = false;
    TSocketAddress target_;
    TUniqueFd socket_;
    int socketFamily_ = 0;
};

} // namespace fk
