#pragma once
// SIGTERM and SIGINT as events of the main thread's event loop. The signal handler only
// writes the signal number into a pipe (async-signal-safe); a socket notifier reads it on
// the main thread and calls OnSignal there. One watch at a time; the destructor puts the
// previous handlers back.
#include <functional>
#include <memory>

class QSocketNotifier;

namespace fk {

class TSignalWatch {
public:
    explicit TSignalWatch(std::function<void(int signal)> onSignal);
    ~TSignalWatch();
    TSignalWatch(const TSignalWatch&) = delete;
    TSignalWatch& operator=(const TSignalWatch&) = delete;

    // False when the pipe or the handlers could not be set up (the signals act as before).
    bool Active() const noexcept { return active_; }

private:
    void Drain();

    std::function<void(int)> onSignal_;
    int fds_[2] = {-1, -1};
    bool active_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace fk
