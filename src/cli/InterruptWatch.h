#pragma once
// Ctrl-C (SIGINT), SIGTERM and SIGHUP (the terminal or the ssh session went away) as events of
// the main thread's event loop: while a watch exists, the three signals are blocked in the creating thread (and in the threads it starts from
// then on) and read from a signalfd that the event loop watches. The destructor restores the
// signal mask.
#include <QObject>

#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace fk {

class TInterruptWatch {
public:
    explicit TInterruptWatch(std::function<void()> onInterrupt);
    ~TInterruptWatch();
    TInterruptWatch(const TInterruptWatch&) = delete;
    TInterruptWatch& operator=(const TInterruptWatch&) = delete;

    // False when the signals could not be routed to the event loop (they act as before).
    bool Active() const noexcept { return fd_ >= 0; }

private:
    void Drain();

    std::function<void()> onInterrupt_;
    sigset_t previous_{};
    bool masked_ = false;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace fk
