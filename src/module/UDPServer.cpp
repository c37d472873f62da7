#include "module/UDPServer.h"

#include "module/SocketAddress.h"
#include "module/UDPListenerThread.h"
#include "platform/LastError.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

namespace fk {

TUDPServer::TUDPServer(TComponent* owner)
    : TComponent(owner)
{
}

TUDPServer::~TUDPServer() { Stop(); }

void TUDPServer::SetThreadedEvent(bool value)
{
    threadedEvent_ = value;
    if (thread_)
        thread_->SetThreadedEvent(value);
}

bool TUDPServer::Active() const noexcept { return thread_ && !thread_->Finished(); }

void TUDPServer::Stop()
{
    if (thread_) {
        thread_->Detach();
        thread_.reset(); // terminates and waits
    }
    socket_.Reset();
    boundPort_ = 0;
}

bool TUDPServer::SetDefaultPort(u16 port)
{
    if (port == defaultPort_)
        return true;
    defaultPort_ = port;
    if (!thread_)
        return true;
    Stop();
    return SetActive(true);
}

bool TUDPServer::SetActive(bool value)
{
    if (!value) {
        Stop();
        return true;
    }
    if (Active())
        return true;
    Stop(); // a thread that ended after a receive failure
    TSocketAddress address;
    const String host = !bindAddress_.empty() ? bindAddress_ : (ipVersion_ == Id_IPv6 ? "::" : "0.0.0.0");
    if (!address.Resolve(host, ipVersion_, defaultPort_))
        return false;
    TUniqueFd fd(::socket(address.Family(), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    const int one = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof(one));
    if (::bind(fd.Get(), address.Get(), address.Length()) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    const u16 bound = TSocketAddress::Local(fd.Get()).Port();
    try {
        auto thread = std::make_unique<TUDPListenerThread>(*this, fd.Get(), bound);
        thread->SetThreadedEvent(threadedEvent_);
        socket_ = std::move(fd);
        boundPort_ = bound;
        thread_ = std::move(thread);
        thread_->Start();
    } catch (...) {
        Stop();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TUDPServer::SendTo(const String& host, u16 port, const void* data, std::size_t size)
{
    if (!socket_.Valid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    TSocketAddress to;
    if (!to.Resolve(host, ipVersion_, port))
        return false;
    if (::sendto(socket_.Get(), data, size, MSG_NOSIGNAL, to.Get(), to.Length()) < 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

void TUDPServer::DoOnUDPRead(const TByteString& data, const TUDPBinding& binding)
{
    OnUDPRead.Invoke(this, data, binding);
}

void TUDPServer::DoOnUDPException(const TUDPBinding& binding, const String& message)
{
    OnUDPException.Invoke(this, binding, message);
}

} // namespace fk
