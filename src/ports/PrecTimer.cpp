#include "ports/PrecTimer.h"

#include "platform/LastError.h"
#include "platform/SystemClock.h"
#include "platform/Thread.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace fk {

// Blocks until the timer descriptor is readable or it is told to stop, and hands each
// expiry to the main thread. Its return value is 6 when there is no timer descriptor, or
// the error of a failed wait.
//
// While an expiry it handed over runs (InDelivery), the waiter is blocked in Synchronize
// for it, so whoever lets it go from inside that call must not wait for it: Abandon lets
// the waiter end and free itself once the call has returned, without touching its timer.
class TPrecTimer::TWaiter final : public TThread {
public:
    explicit TWaiter(TPrecTimer* owner)
        : owner_(owner)
        , timerFd_(owner->fd_)
        , stopFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
        SetReturnValue(timerFd_ < 0 ? ERROR_INVALID_HANDLE : ERROR_SUCCESS);
        Start();
    }

    ~TWaiter() override
    {
        Terminate();
        WaitFor();
        if (stopFd_ >= 0)
            close(stopFd_);
    }

    // Main thread: an expiry handed over by this waiter is being delivered.
    bool InDelivery() const noexcept { return delivering_; }

    // Main thread, inside a delivery: ends the waiter without waiting for it.
    void Abandon() noexcept
    {
        SetFreeOnTerminate(true);
        Terminate();
    }

protected:
    void TerminatedSet() override
    {
        if (stopFd_ >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] auto n = write(stopFd_, &one, sizeof one);
        }
    }

    void Execute() override
    {
        if (timerFd_ < 0 || stopFd_ < 0)
            return;
        pollfd fds[2] = {{timerFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        while (!Terminated()) {
            fds[0].revents = fds[1].revents = 0;
            const int r = poll(fds, 2, -1);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                SetReturnValue(ErrorFromErrno(errno));
                return;
            }
            if (Terminated() || (fds[1].revents & POLLIN))
                continue; // re-check the terminate flag
            if (fds[0].revents & POLLIN) {
                const u64 firedAt = GetSystemTimeAsFileTime();
                TPrecTimer* owner = owner_;
                const bool delivered = Synchronize([this, owner, firedAt] {
                    // The timer may be freed by its handler; this waiter outlives the call.
                    delivering_ = true;
                    owner->Deliver(firedAt);
                    delivering_ = false;
                });
                if (!delivered)
                    return; // the program is ending: the expiry would wake this loop for ever
            }
        }
    }

private:
    TPrecTimer* owner_;
    int timerFd_;
    int stopFd_;
    bool delivering_ = false; // main thread only
};

TPrecTimer::TPrecTimer(TComponent* owner)
    : TComponent(owner)
{
    Init(true);
}

TPrecTimer::TPrecTimer(TComponent* owner, bool enabled)
    : TComponent(owner)
{
    Init(enabled);
}

void TPrecTimer::Init(bool enabled)
{
    enabled_ = running_ = enabled;
    fd_ = timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC | TFD_NONBLOCK);
    waiter_ = std::make_unique<TWaiter>(this);
}

TPrecTimer::~TPrecTimer()
{
    Destroying();
    ReleaseWaiter(); // an expiry it still hands over is dropped (destroying)
    if (fd_ >= 0) {
        const itimerspec off{};
        timerfd_settime(fd_, 0, &off, nullptr);
        close(fd_);
    }
}

void TPrecTimer::ReleaseWaiter() noexcept
{
    if (waiter_ && waiter_->InDelivery()) {
        // Called from OnTimer: the waiter is blocked until this call returns. It ends on
        // its own afterwards and frees itself.
        waiter_.release()->Abandon();
        return;
    }
    waiter_.reset(); // ends the waiter and waits for it
}

void TPrecTimer::SetCustomWait(bool value)
{
    if (value) {
        ReleaseWaiter();
        return;
    }
    if (waiter_)
        return;
    if (fd_ < 0)
        fd_ = timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC | TFD_NONBLOCK);
    waiter_ = std::make_unique<TWaiter>(this);
}

void TPrecTimer::SetEnabled(bool on)
{
    if (IsDesigning()) {
        enabled_ = running_ = on;
        return;
    }
    if (!on) {
        if (fd_ >= 0) {
            const itimerspec off{};
            timerfd_settime(fd_, 0, &off, nullptr);
        }
        enabled_ = running_ = false;
        return;
    }
    const std::int64_t due = Periodic ? PeriodToTime(Interval) : Time;
    itimerspec setting{};
    setting.it_interval.tv_sec = Interval / 1000;
    setting.it_interval.tv_nsec = long(Interval % 1000) * 1000000L;
    int flags = 0;
    if (due < 0) {
        const u64 rel = u64(-(due + 1)) + 1; // -due without overflow at the minimum
        setting.it_value.tv_sec = time_t(rel / 10000000u);
        setting.it_value.tv_nsec = long(rel % 10000000u) * 100L;
    } else if (due > 0) {
        flags = TFD_TIMER_ABSTIME;
        const u64 abs = u64(due);
        if (abs <= FileTimeUnixEpoch) {
            setting.it_value.tv_nsec = 1; // before 1970: long past, fire at once
        } else {
            setting.it_value.tv_sec = time_t((abs - FileTimeUnixEpoch) / 10000000u);
            setting.it_value.tv_nsec = long((abs - FileTimeUnixEpoch) % 10000000u) * 100L;
        }
    }
    if (setting.it_value.tv_sec == 0 && setting.it_value.tv_nsec == 0) {
        // A due time of 0 means "now"; an all-zero value would disarm the timer instead.
        flags = 0;
        setting.it_value.tv_nsec = 1;
    }
    const bool ok = fd_ >= 0 && timerfd_settime(fd_, flags, &setting, nullptr) == 0;
    if (!ok)
        SetLastErrorFromErrno(fd_ < 0 ? EBADF : errno);
    enabled_ = ok;
    running_ = ok && Interval != 0;
}

void TPrecTimer::Loaded()
{
    TComponent::Loaded();
    SetEnabled(enabled_);
}

bool TPrecTimer::Dispatch() { return Deliver(GetSystemTimeAsFileTime()); }

bool TPrecTimer::Deliver(u64 firedAt)
{
    if (IsDestroying() || fd_ < 0)
        return false;
    std::uint64_t expirations = 0;
    if (read(fd_, &expirations, sizeof expirations) != sizeof expirations || expirations == 0)
        return false; // disarmed or re-armed since it fired
    Timer(firedAt);
    return true;
}

void TPrecTimer::Timer(u64 time)
{
    enabled_ = running_;
    OnTimer.Invoke(this, time);
}

} // namespace fk
