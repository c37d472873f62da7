#pragma once
// Helpers of the module tests: free loopback ports, an event-loop wait with a guard time,
// datagrams from any loopback address, and a record of a link's events.
#include "module/KestConnectComm.h"
#include "ports/UniqueFd.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace fk::test {

// The longest wait for something that should happen; never a timing assertion.
inline constexpr int GuardMs = 10000;

// Runs the event loop, blocking between events, for at most ms.
inline void SpinOnce(int ms)
{
    QTimer tick;
    tick.setSingleShot(true);
    tick.start(ms);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Runs the event loop until done() or the guard time; returns whether done() came true.
inline bool SpinUntil(const std::function<bool()>& done, int guardMs = GuardMs)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        if (done())
            return true;
        if (t.elapsed() >= guardMs)
            return false;
        SpinOnce(10);
    }
}

inline void SpinFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        SpinOnce(int(std::max<qint64>(1, std::min<qint64>(10, ms - t.elapsed()))));
}

inline sockaddr_in Loopback(const std::string& ip, u16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    return a;
}

// A port that is free for UDP and TCP right now (the kernel's choice for a UDP socket).
inline u16 FreePort()
{
    for (;;) {
        TUniqueFd udp(::socket(AF_INET, SOCK_DGRAM, 0));
        sockaddr_in a = Loopback("0.0.0.0", 0);
        ::bind(udp.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t length = sizeof a;
        ::getsockname(udp.Get(), reinterpret_cast<sockaddr*>(&a), &length);
        const u16 port = ntohs(a.sin_port);
        TUniqueFd tcp(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in t = Loopback("0.0.0.0", port);
        if (::bind(tcp.Get(), reinterpret_cast<sockaddr*>(&t), sizeof t) == 0)
            return port;
    }
}

// Sends one datagram from `fromIP` (any loopback address) to 127.0.0.1:port.
inline void SendDatagram(const std::string& fromIP, u16 port, const std::string& bytes)
{
    TUniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    const int one = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in from = Loopback(fromIP, 0);
    ASSERT_EQ(::bind(fd.Get(), reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
    sockaddr_in to = Loopback("127.0.0.1", port);
    ASSERT_EQ(::sendto(fd.Get(), bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              ssize_t(bytes.size()));
}

// Every event of a link, as text, in the order raised.
class TLinkRecorder {
public:
    explicit TLinkRecorder(TKestConnectComm& comm)
    {
        comm.OnStatusChange = TIPPortStatusEvent::Bind(this, [this](TObject*, TIdStatus s, const String& h, TIdIPVersion) {
            Add("status " + std::to_string(int(s)) + " " + h);
        });
        comm.OnConnecting = TCommOpenEvent::Bind(this, [this](TObject*, const String& n, u32 r) { Open("connecting", n, r); });
        comm.OnConnect = TCommOpenEvent::Bind(this, [this](TObject*, const String& n, u32 r) { Open("connect", n, r); });
        comm.OnConnected = TCommOpenEvent::Bind(this, [this](TObject*, const String& n, u32 r) { Open("connected", n, r); });
        comm.OnDisconnecting = TCommCloseEvent::Bind(this, [this](TObject*, const String& n, u32 r, TCommCloseReason c) {
            Close("disconnecting", n, r, c);
        });
        comm.OnDisconnected = TCommCloseEvent::Bind(this, [this](TObject*, const String& n, u32 r, TCommCloseReason c) {
            Close("disconnected", n, r, c);
        });
        comm.OnModemConnected = TNotifyEvent::Bind(this, [this](TObject*) { Add("modem connected"); });
        comm.OnModemDisconnected = TNotifyEvent::Bind(this, [this](TObject*) { Add("modem disconnected"); });
        comm.OnModemSuspend = TNotifyEvent::Bind(this, [this](TObject*) { ++Suspends; });
        comm.OnModemResume = TNotifyEvent::Bind(this, [this](TObject*) { ++Resumes; });
        comm.OnDataReceived = TDataTransferEvent::Bind(this, [this](TObject*, const void* b, std::size_t n) {
            Data.emplace_back(static_cast<const char*>(b), n);
        });
    }

    bool Has(const std::string& event) const
    {
        return std::find(Events.begin(), Events.end(), event) != Events.end();
    }
    std::size_t Count(const std::string& prefix) const
    {
        return std::size_t(std::count_if(Events.begin(), Events.end(),
                                         [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
    }

    std::vector<std::string> Events;
    std::vector<std::string> Data;
    int Suspends = 0;
    int Resumes = 0;

private:
    void Add(const std::string& e) { Events.push_back(e); }
    void Open(const char* what, const String& name, u32 result)
    {
        Add(std::string(what) + " " + name + " " + std::to_string(result));
    }
    void Close(const char* what, const String& name, u32 result, TCommCloseReason reason)
    {
        Add(std::string(what) + " " + name + " " + std::to_string(result) + " " + std::to_string(int(reason)));
    }
};

} // namespace fk::test
