#pragma once
// TOpenHandshake: the open handshake of a synchronous serial open. The I/O thread reports
// that it tried to open the device, the opener reports that it delivered the open
// notifications; only then does the thread look at line events.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace fk {

class TOpenHandshake {
public:
    void SignalTried();
    void WaitTried();    // the opener (serves synchronised calls on the main thread)
    void Release();
    void WaitReleased(const std::function<bool()>& stop); // the I/O thread
    void Wake();         // re-check `stop`

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::atomic<bool> tried_{false};
    bool released_ = false;
};

} // namespace fk
