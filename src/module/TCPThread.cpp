#include "module/TCPThread.h"

#include "module/TCPConnection.h"
#include "platform/FaultReport.h"
#include "platform/SystemClock.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace fk {

TTCPThread::TTCPThread(TTCPConnection& owner)
    : owner_(owner)
{
}

TTCPThread::~TTCPThread()
{
    // The thread waits on wake_, which goes with this object: stop it first.
    Detach();
    Terminate();
    WaitFor();
}

bool TTCPThread::StartConnect(const String& host, TIdIPVersion ipVersion, u16 port, int timeoutMs)
{
    if (Terminated() || Finished() || !wake_.Valid())
        return false;
    Disconnect();
    {
        std::lock_guard lock(mutex_);
        TRequest request;
        request.Host = host;
        request.IPVersion = ipVersion;
        request.Port = port;
        request.TimeoutMs = timeoutMs;
        request.Generation = generation_.fetch_add(1) + 1;
        request_ = std::move(request);
    }
    status_.store(hsConnecting);
    wake_.Signal();
    if (!Started())
        Start();
    return true;
}

void TTCPThread::Disconnect()
{
    const u64 entry = generation_.load();
    if (status_.load() < hsDisconnecting) {
        status_.store(hsDisconnecting);
        try {
            owner_.DoOnTCPDisconnecting();
        } catch (...) {
            TFaultReport::Caught("the TCP disconnecting handler"); // the disconnect goes on
        }
        // The handler closed this connection itself, or started a new one: nothing is left
        // to do here, and the disconnected callback has fired (or will, for the new one).
        if (generation_.load() != entry)
            return;
    }
    std::shared_ptr<TTCPSocket> socket;
    {
        std::lock_guard lock(mutex_);
        generation_.fetch_add(1);
        request_.reset();
    }
    socket = std::exchange(connection_, nullptr);
    if (socket)
        socket->Shutdown();
    wake_.Signal();
    const TIdStatus old = status_.exchange(hsDisconnected);
    if (socket) {
        StatusNotification(hsDisconnecting, "Disconnecting.");
        StatusNotification(hsDisconnected, "Disconnected.");
    }
    if (old != hsDisconnected) {
        try {
            owner_.DoOnTCPDisconnected();
        } catch (...) {
            TFaultReport::Caught("the TCP disconnected handler");
        }
    }
}

void TTCPThread::StatusNotification(TIdStatus status, const String& text)
{
    if (detached_.load())
        return;
    try {
        owner_.DoOnTCPStatusEvent(&owner_, status, text);
    } catch (...) {
        TFaultReport::Caught("the TCP status handler");
    }
}

void TTCPThread::Dispatch(const std::function<void()>& fn)
{
    try {
        if (ThreadedEvent())
            fn();
        else
            Synchronize(fn);
    } catch (...) {
        TFaultReport::Caught("the TCP reader's hand-over"); // must not leave the thread
    }
}

bool TTCPThread::TakeRequest(TRequest& request)
{
    std::lock_guard lock(mutex_);
    if (!request_)
        return false;
    const bool current = request_->Generation == generation_.load();
    if (current)
        request = std::move(*request_);
    request_.reset();
    return current;
}

void TTCPThread::WaitForWake(int timeoutMs) const noexcept
{
    pollfd p{wake_.Fd(), POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) > 0)
        wake_.Drain();
}

void TTCPThread::Execute()
{
    while (!Terminated()) {
        TRequest request;
        if (!TakeRequest(request)) {
            WaitForWake(-1);
            continue;
        }
        RunConnection(request);
    }
}

TUniqueFd TTCPThread::ConnectSocket(const TRequest& request, TSocketAddress& peer, DWORD& error, bool& aborted)
{
    aborted = false;
    if (!peer.Resolve(request.Host, request.IPVersion, request.Port)) {
        error = GetLastError();
        return {};
    }
    TUniqueFd fd(::socket(peer.Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        error = ErrorFromErrno(errno);
        return {};
    }
    if (::connect(fd.Get(), peer.Get(), peer.Length()) == 0)
        return fd;
    if (errno != EINPROGRESS && errno != EINTR) {
        error = ErrorFromErrno(errno);
        return {};
    }
    const u32 start = GetTickCount();
    for (;;) {
        const u32 elapsed = TickDiff(GetTickCount(), start);
        if (elapsed >= u32(request.TimeoutMs)) {
            error = ERROR_TIMEOUT;
            return {};
        }
        pollfd p[2] = {{fd.Get(), POLLOUT, 0}, {wake_.Fd(), POLLIN, 0}};
        const int r = ::poll(p, 2, int(u32(request.TimeoutMs) - elapsed));
        if (r < 0 && errno != EINTR) {
            error = ErrorFromErrno(errno);
            return {};
        }
        if (r > 0 && (p[1].revents & POLLIN)) {
            wake_.Drain();
            if (Terminated() || !Current(request.Generation)) {
                aborted = true;
                return {};
            }
        }
        if (r > 0 && p[0].revents != 0) {
            int soError = 0;
            socklen_t length = sizeof(soError);
            if (::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &soError, &length) != 0)
                soError = errno;
            if (soError != 0) {
                error = ErrorFromErrno(soError);
                return {};
            }
            return fd;
        }
    }
}

void TTCPThread::RunConnection(const TRequest& request)
{
    const u64 generation = request.Generation;
    Dispatch([&] {
        if (Deliverable(generation))
            owner_.DoOnTCPStatusEvent(&owner_, hsConnecting,
                                      "Connecting to " + request.Host + ":" + std::to_string(request.Port) + ".");
    });
    TSocketAddress peer;
    DWORD error = ERROR_SUCCESS;
    bool aborted = false;
    TUniqueFd fd = ConnectSocket(request, peer, error, aborted);
    if (aborted)
        return;
    auto socket = fd.Valid() ? std::make_shared<TTCPSocket>(std::move(fd), peer) : nullptr;
    bool adopted = false;
    Dispatch([&] {
        if (!Deliverable(generation))
            return;
        connectError_.store(socket ? ERROR_SUCCESS : error);
        if (socket) {
            connection_ = socket;
            status_.store(hsConnected);
            adopted = true;
            owner_.DoOnTCPStatusEvent(&owner_, hsConnected, "Connected.");
        } else {
            status_.store(hsDisconnected);
        }
        owner_.DoOnTCPConnectEvent(&owner_);
    });
    if (adopted)
        ReadLoop(socket, generation);
}

void TTCPThread::ReadLoop(const std::shared_ptr<TTCPSocket>& socket, u64 generation)
{
    TByteString buffer;
    while (!Terminated() && Current(generation)) {
        pollfd p[2] = {{socket->Fd(), POLLIN, 0}, {wake_.Fd(), POLLIN, 0}};
        const int r = ::poll(p, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        bool closed = r < 0;
        if (p[1].revents & POLLIN)
            wake_.Drain();
        if (!closed && (p[0].revents == 0 || !Current(generation)))
            continue;
        buffer.clear();
        if (!closed)
            socket->ReadAvailable(buffer, ReadChunkLimit, closed);
        if (!buffer.empty()) {
            Dispatch([&] {
                if (Deliverable(generation))
                    owner_.DoOnTCPReadEvent(&owner_, buffer);
            });
        }
        if (closed) {
            Dispatch([&] {
                if (Deliverable(generation))
                    Disconnect();
            });
            return;
        }
    }
}

} // namespace fk
