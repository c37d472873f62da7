#pragma once
// TTCPThread: the TCP client's reader thread and the connection state around it.
//
// The thread connects (blocking, with a time-out) and then waits in poll on the socket and a
// wake-up descriptor until data arrives, the peer closes, or it is told to stop; it never
// polls with a zero time-out. What it finds it hands to the owner through Synchronize (or
// directly, with ThreadedEvent).
//
// The state (Status, the established connection) is changed only where the owner's
// callbacks run: on the main thread through Synchronize, or by the owner's own calls
// (StartConnect, Disconnect). Every connection attempt gets a new generation number; a
// report that belongs to an older generation (a connection closed in the meantime) is dropped
// before it reaches the owner.
#include "module/ModuleTypes.h"
#include "module/TCPSocket.h"
#include "module/WakeUp.h"
#include "platform/Thread.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace fk {

class TTCPConnection;

class TTCPThread final : public TThread {
public:
    // Largest chunk handed over in one read callback.
    static constexpr std::size_t ReadChunkLimit = 65536;

    explicit TTCPThread(TTCPConnection& owner);
    ~TTCPThread() override;

    bool ThreadedEvent() const noexcept { return threadedEvent_.load(); }
    void SetThreadedEvent(bool value) noexcept { threadedEvent_.store(value); }

    TIdStatus Status() const noexcept { return status_.load(); }
    // The established connection; null while not connected.
    const std::shared_ptr<TTCPSocket>& Connection() const noexcept { return connection_; }

    // Closes any previous connection (disconnect procedure), then asks the thread to
    // connect. False when the thread has ended or cannot run.
    bool StartConnect(const String& host, TIdIPVersion ipVersion, u16 port, int timeoutMs);
    // The disconnect procedure, on the calling thread: disconnecting callback on entry,
    // disconnected callback once per connection that was up or being made.
    void Disconnect();
    // From now on nothing reaches the owner (it is being destroyed).
    void Detach() noexcept { detached_.store(true); }

    // Why the latest connection attempt failed (110 refused or unreachable, 1460 time-out ...).
    DWORD ConnectError() const noexcept { return connectError_.load(); }

protected:
    void Execute() override;
    void TerminatedSet() override { wake_.Signal(); }

private:
    struct TRequest {
        String Host;
        TIdIPVersion IPVersion = Id_IPv4;
        u16 Port = 0;
        int TimeoutMs = 0;
        u64 Generation = 0;
    };

    bool TakeRequest(TRequest& request);
    bool Current(u64 generation) const noexcept { return generation_.load() == generation; }
    void WaitForWake(int timeoutMs) const noexcept;
    // Connects; the socket, or an invalid one with the error stored (nothing when aborted).
    TUniqueFd ConnectSocket(const TRequest& request, TSocketAddress& peer, DWORD& error, bool& aborted);
    void RunConnection(const TRequest& request);
    void ReadLoop(const std::shared_ptr<TTCPSocket>& socket, u64 generation);

    // Runs fn where the owner's callbacks run; exceptions are dropped.
    void Dispatch(const std::function<void()>& fn);
    bool Deliverable(u64 generation) const noexcept { return !detached_.load() && Current(generation); }
    void StatusNotification(TIdStatus status, const String& text);

    TTCPConnection& owner_;
    TWakeUp wake_;
    std::atomic<bool> threadedEvent_{false};
    std::atomic<bool> detached_{false};
    std::atomic<TIdStatus> status_{hsDisconnected};
    std::atomic<u64> generation_{0};
    std::atomic<DWORD> connectError_{0};
    std::shared_ptr<TTCPSocket> connection_; // FConnectionHandler

    std::mutex mutex_; // guards request_
    std::optional<TRequest> request_;
};

} // namespace fk
