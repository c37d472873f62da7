#pragma once
// TUDPListenerThread: the receiving thread of a TUDPServer. It blocks in poll on the socket
// and a wake-up descriptor, reads every waiting datagram whole (its size is peeked first, so
// nothing is cut off), and hands them over in batches.
#include "module/ModuleTypes.h"
#include "module/WakeUp.h"
#include "platform/Thread.h"

#include <atomic>

namespace fk {

class TUDPServer;

class TUDPListenerThread final : public TThread {
public:
    // Datagrams handed over in one call to the main thread at most.
    static constexpr std::size_t BatchLimit = 64;

    TUDPListenerThread(TUDPServer& owner, int fd, u16 localPort);
    ~TUDPListenerThread() override;

    void SetThreadedEvent(bool value) noexcept { threadedEvent_.store(value); }
    // Nothing reaches the owner any more.
    void Detach() noexcept { detached_.store(true); }

protected:
    void Execute() override;
    void TerminatedSet() override { wake_.Signal(); }

private:
    struct TDatagram {
        TByteString Data;
        TUDPBinding Binding;
    };
    // Reads one datagram; false when none is waiting, with `failed` set on a socket error.
    bool ReadDatagram(TDatagram& datagram, int& error) const;
    void Deliver(const std::vector<TDatagram>& batch);
    void Dispatch(const std::function<void()>& fn);

    TUDPServer& owner_;
    const int fd_;
    const u16 localPort_;
    TWakeUp wake_;
    std::atomic<bool> threadedEvent_{false};
    std::atomic<bool> detached_{false};
};

} // namespace fk
