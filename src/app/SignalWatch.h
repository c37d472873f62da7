#pragma once
// SIGTERM, SIGINT and SIGHUP (the terminal or the ssh session went away) as events of the
// main thread's event loop. The signal handler only writes the signal number into a pipe
// (async-signal-safe); a socket notifier reads it on the main thread and calls OnSignal there.
// A stop signal is never ignored: one that comes while the main thread is leaving, or more
// than StopTimeMs after the first one, takes its default action at once. One watch at a time;
// the destructor puts the previous handlers back.
#include <functional>
#include <memory>

class QSocketNotifier;

namespace fk {

class TSignalWatch {
public:
    // The time a stop is given to end the program before another stop signal ends it at once.
    static constexpr long long StopTimeMs = 2500;

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
