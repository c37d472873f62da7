#include "module/UDPClient.h"

#include "platform/LastError.h"

#include <cerrno>
#include <sys/socket.h>

namespace fk {

TUDPClient::TUDPClient(TComponent* owner)
    : TComponent(owner)
{
}

void TUDPClient::SetHost(const String& host)
{
    if (host != host_)
        resolved_ = false;
    host_ = host;
}

void TUDPClient::SetPort(u16 port)
{
    if (port != port_)
        resolved_ = false;
    port_ = port;
}

void TUDPClient::SetIPVersion(TIdIPVersion value)
{
    if (value != ipVersion_)
        resolved_ = false;
    ipVersion_ = value;
}

bool TUDPClient::SendBuffer(const TByteString& data) { return SendBuffer(data.data(), data.size()); }

bool TUDPClient::SendBuffer(const void* data, std::size_t size)
{
    if (!resolved_) {
        if (!target_.Resolve(host_, ipVersion_, port_))
            return false;
        resolved_ = true;
    }
    if (!socket_.Valid() || socketFamily_ != target_.Family()) {
        socket_.Reset(::socket(target_.Family(), SOCK_DGRAM | SOCK_CLOEXEC, 0));
        socketFamily_ = target_.Family();
        if (!socket_.Valid()) {
            SetLastErrorFromErrno(errno);
            return false;
        }
    }
    if (::sendto(socket_.Get(), data, size, MSG_NOSIGNAL, target_.Get(), target_.Length()) < 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

} // namespace fk
