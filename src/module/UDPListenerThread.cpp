#include "module/UDPListenerThread.h"

#include "module/SocketAddress.h"
#include "module/UDPServer.h"
#include "platform/FaultReport.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace fk {

TUDPListenerThread::TUDPListenerThread(TUDPServer& owner, int fd, u16 localPort)
    : owner_(owner)
    , fd_(fd)
    , localPort_(localPort)
{
}

TUDPListenerThread::~TUDPListenerThread()
{
    Detach();
    Terminate();
    WaitFor();
}

bool TUDPListenerThread::ReadDatagram(TDatagram& datagram, int& error) const
{
    error = 0;
    for (;;) {
        // The size of the waiting datagram, whatever the buffer: read it whole.
        const ssize_t size = ::recv(fd_, nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
        if (size < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                error = errno;
            return false;
        }
        datagram.Data.resize(std::size_t(size));
        TSocketAddress from;
        socklen_t length = TSocketAddress::Capacity();
        const ssize_t n = ::recvfrom(fd_, datagram.Data.data(), datagram.Data.size(), MSG_DONTWAIT, from.Get(), &length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                error = errno;
            return false;
        }
        from.SetLength(length);
        datagram.Data.resize(std::size_t(n));
        datagram.Binding.PeerIP = from.IP();
        datagram.Binding.PeerPort = from.Port();
        datagram.Binding.Port = localPort_;
        datagram.Binding.IPVersion = from.IPVersion();
        return true;
    }
}

void TUDPListenerThread::Dispatch(const std::function<void()>& fn)
{
    try {
        if (threadedEvent_.load())
            fn();
        else
            Synchronize(fn);
    } catch (...) {
        TFaultReport::Caught("the UDP listener's hand-over"); // must not leave the thread
    }
}

void TUDPListenerThread::Deliver(const std::vector<TDatagram>& batch)
{
    Dispatch([&] {
        for (const TDatagram& d : batch) {
            if (detached_.load())
                return;
            try {
                owner_.DoOnUDPRead(d.Data, d.Binding);
            } catch (...) {
                TFaultReport::Caught("a UDP datagram handler"); // the next datagram is still delivered
            }
        }
    });
}

void TUDPListenerThread::Execute()
{
    std::vector<TDatagram> batch;
    while (!Terminated()) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wake_.Fd(), POLLIN, 0}};
        const int r = ::poll(p, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        int error = r < 0 ? errno : 0;
        if (p[1].revents & POLLIN)
            wake_.Drain();
        if (error == 0 && (p[0].revents & (POLLIN | POLLERR))) {
            batch.clear();
            TDatagram d;
            while (batch.size() < BatchLimit && ReadDatagram(d, error))
                batch.push_back(std::move(d));
            if (!batch.empty() && !Terminated())
                Deliver(batch);
        }
        if (error != 0) {
            TUDPBinding binding;
            binding.Port = localPort_;
            const String message = std::strerror(error);
            Dispatch([&] {
                if (!detached_.load())
                    owner_.DoOnUDPException(binding, message);
            });
            return; // the socket is unusable; the owner activates a new one when needed
        }
    }
}

} // namespace fk
