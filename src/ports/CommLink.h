#pragma once
// TCommLink: what a serial port and its I/O thread (TCommThread) share: one lock and the port
// the thread reports to.
//
// The lock orders them: the port holds it while it uses the thread's device and transfer
// records, the thread while it moves bytes of a transfer and while it runs a notification on
// its own thread. A port lets its thread go by clearing Port under the lock; from then on
// nothing the thread does reaches the port. TLinkGuard holds the lock for one scope.
#include <mutex>

namespace fk {

class TSerialPort;

class TCommLink {
public:
    std::recursive_mutex Mutex;
    TSerialPort* Port = nullptr; // guarded by Mutex; null once the port let the thread go
    int Depth = 0;               // how many TLinkGuards the owning thread holds

    // Releases every level the calling thread holds (it must hold at least one) and returns
    // how many; Relock takes them again. Lets a closer wait for the thread to end.
    int UnlockAll() noexcept;
    void Relock(int depth);
    // Takes the lock. On the main thread the wait keeps running synchronised calls, so a
    // thread that holds the lock while it waits for the main thread cannot deadlock it.
    void Lock();
    void Unlock() noexcept;
};

} // namespace fk
