#pragma once
// A precise one-shot or periodic timer with 100-ns due times, delivered on the main thread.
//
// Arming (SetEnabled(true)) is one timerfd_settime call with no allocation. A waiter thread
// blocks in poll on the timer descriptor and a stop descriptor; when the timer expires it
// hands the expiry to the main thread, which reads the expiry count itself: a timer that
// was disarmed or re-armed in between reads nothing, so a disabled timer never calls its
// handler late.
//
// Due times: `Time` < 0 is relative to now, > 0 is an absolute system time in 100-ns units
// since 1601 (UTC). `OnTimer(Sender, time)` gets the system time at which the timer fired.
//
// A timer may be freed, or switched to CustomWait, by its own OnTimer handler: the waiter
// that delivered the call is then let go and ends by itself once the handler has returned.
//
// CustomWait: with CustomWait true there is no waiter thread. The owner then watches
// Handle() itself (for example with poll or a QSocketNotifier) and calls Dispatch() on the
// thread that should run OnTimer when it becomes readable.
#include "platform/Component.h"
#include "platform/Types.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace fk {

using TTimeEvent = TEvent<TObject*, u64>;

class TPrecTimer : public TComponent {
public:
    explicit TPrecTimer(TComponent* owner);
    TPrecTimer(TComponent* owner, bool enabled);
    ~TPrecTimer() override;

    bool Enabled() const noexcept { return enabled_; }
    void SetEnabled(bool on);
    bool Running() const noexcept { return running_; }

    std::int64_t Time = -10000000; // due time for a non-periodic arming
    bool ResumeSystem = false;     // kept for completeness; Linux timers cannot wake the machine here
    bool Periodic = true;          // arm with PeriodToTime(Interval) instead of Time
    u32 Interval = 1000;           // period in ms; 0 = one-shot

    TTimeEvent OnTimer;

    bool CustomWait() const noexcept { return !waiter_; }
    void SetCustomWait(bool value);

    int Handle() const noexcept { return fd_; }
    // Reads the expiry count and, if the timer did expire, delivers it. True if delivered.
    bool Dispatch();

    static std::int64_t PeriodToTime(u32 ms) noexcept { return std::int64_t(ms) * -10000; }

protected:
    virtual void Timer(u64 time);
    void Loaded() override;

private:
    class TWaiter;
    void Init(bool enabled);
    bool Deliver(u64 firedAt);
    // Ends the waiter; from inside a delivery it is detached instead of waited for.
    void ReleaseWaiter() noexcept;

    int fd_ = -1;
    bool enabled_ = true;
    bool running_ = true;
    std::unique_ptr<TWaiter> waiter_;
};

} // namespace fk
