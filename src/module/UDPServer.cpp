#include "module/UDPServer.h"

#include "module/SocketAddress.h"
#include "module/UDPListenerThread.h"
#include "platform/LastError.h"

#include <cerrno>
#include <new>
#include <system_error>
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
    lock_.Release();
    boundPort_ = 0;
}

bool TUDPServer::Fail(const String& message, DWORD code)
{
    Stop();
    activationError_ = message;
    SetLastError(code);
    return false;
}

bool TUDPServer::SetDefaultPort(u16 port)
{
    if (port == defaultPort_)
        return true;
    defaultPort_ = port;
    if (!wanted_)
        return true;
    Stop();
    return SetActive(true);
}

bool TUDPServer::SetActive(bool value)
{
    wanted_ = value;
    if (!value) {
        Stop();
        activationError_.clear();
        return true;
    }
    if (Active())
        return true;
    Stop(); // a thread that ended after a receive failure
    const String portText = "UDP port " + std::to_string(defaultPort_);
    TSocketAddress address;
    const String host = !bindAddress_.empty() ? bindAddress_ : (ipVersion_ == Id_IPv6 ? "::" : "0.0.0.0");
    if (!address.Resolve(host, ipVersion_, defaultPort_))
        return Fail("cannot listen on " + host + ": " + ErrorText(GetLastError()), GetLastError());
    // Only a listener on every address shares its port unnoticed; port 0 is a new port anyway.
    if (bindAddress_.empty() && defaultPort_ != 0 && lock_.Acquire(defaultPort_) != ERROR_SUCCESS)
        return Fail(portText + " is in use by " + lock_.Holder(), ERROR_ACCESS_DENIED);
    TUniqueFd fd(::socket(address.Family(), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        const DWORD code = ErrorFromErrno(errno);
        return Fail("cannot listen on " + portText + ": " + ErrorText(code), code);
    }
    const int one = 1;
    // SO_REUSEPORT lets the simulated modules (of this user, on 127.0.0.x) bind the port
    // beside us, and no other user: the kernel shares such a port only among sockets of the
    // same user. SO_REUSEADDR would let any user's socket bind it and take our datagrams.
    // A listener on one address also takes SO_REUSEADDR, as it is one of those modules' kind.
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEPORT, &one, sizeof(one));
    if (!bindAddress_.empty())
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof(one));
    if (::bind(fd.Get(), address.Get(), address.Length()) != 0) {
        const DWORD code = ErrorFromErrno(errno, TErrnoUse::Listen);
        if (code == ERROR_ACCESS_DENIED)
            return Fail(portText + " is in use by " + TUDPPortLock::DescribeBlocker(defaultPort_), code);
        return Fail("cannot listen on " + portText + ": " + ErrorText(code), code);
    }
    // A listener of ours that took its lock in another runtime folder shares the port.
    if (String holder; bindAddress_.empty() && defaultPort_ != 0 && TUDPPortLock::FindSharingListener(fd.Get(), holder))
        return Fail(portText + " is in use by " + holder, ERROR_ACCESS_DENIED);
    const u16 bound = TSocketAddress::Local(fd.Get()).Port();
    try {
        auto thread = std::make_unique<TUDPListenerThread>(*this, fd.Get(), bound);
        thread->SetThreadedEvent(threadedEvent_);
        socket_ = std::move(fd);
        boundPort_ = bound;
        thread_ = std::move(thread);
        thread_->Start();
    } catch (const std::bad_alloc&) {
        return Fail("cannot listen on " + portText + ": " + ErrorText(ERROR_NOT_ENOUGH_MEMORY),
                    ERROR_NOT_ENOUGH_MEMORY);
    } catch (const std::system_error& e) {
        // No thread for the listener (the system's limit of threads).
        const DWORD code = e.code().category() == std::system_category() ? ErrorFromErrno(e.code().value())
                                                                         : ERROR_NOT_ENOUGH_MEMORY;
        return Fail("cannot listen on " + portText + ": " + ErrorText(code), code);
    }
    activationError_.clear();
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
