#include "platform/SystemClock.h"
#include "platform/Thread.h"
#include "ports/PrecTimer.h"
#include "EventLoopRun.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace fk;
using fk::test::RunEventLoopFor;

namespace {

struct Recorder {
    std::vector<u64> times;
    std::vector<bool> onMain;
    TTimeEvent Handler()
    {
        return TTimeEvent::Bind(this, [this](TObject*, u64 t) {
            times.push_back(t);
            onMain.push_back(TThread::IsMainThread());
        });
    }
};

} // namespace

TEST(PrecTimer, PeriodToTimeIsARelativeDueTime)
{
    EXPECT_EQ(TPrecTimer::PeriodToTime(1000), -10000000);
    EXPECT_EQ(TPrecTimer::PeriodToTime(0), 0);
}

TEST(PrecTimer, OneShotFiresOnceOnTheMainThreadAndDisablesItself)
{
    auto timer = Make<TPrecTimer>(false);
    Recorder rec;
    timer->OnTimer = rec.Handler();
    timer->Periodic = false;
    timer->Interval = 0;
    timer->Time = -200000; // 20 ms
    const u64 armedAt = GetSystemTimeAsFileTime();
    timer->SetEnabled(true);
    EXPECT_TRUE(timer->Enabled());
    EXPECT_FALSE(timer->Running());
    RunEventLoopFor(150);
    ASSERT_EQ(rec.times.size(), 1u);
    EXPECT_TRUE(rec.onMain[0]);
    EXPECT_GE(rec.times[0], armedAt + 200000 - 10000); // not early (1 ms clock slack)
    EXPECT_LT(rec.times[0], armedAt + 10000000);       // and within a second
    EXPECT_FALSE(timer->Enabled());
}

TEST(PrecTimer, DisablingBeforeItFiresPreventsTheCall)
{
    auto timer = Make<TPrecTimer>(false);
    Recorder rec;
    timer->OnTimer = rec.Handler();
    timer->Periodic = false;
    timer->Interval = 0;
    timer->Time = -5000000; // 500 ms: disabled long before it is due, even on a loaded machine
    timer->SetEnabled(true);
    RunEventLoopFor(5);
    timer->SetEnabled(false);
    RunEventLoopFor(600);
    EXPECT_TRUE(rec.times.empty());
}

TEST(PrecTimer, AnExpiryThatRacesADisableIsNotDelivered)
{
    // Let the timer expire while the main thread is busy, then disable it before the main
    // thread gets to the queued delivery: the handler must not run.
    auto timer = Make<TPrecTimer>(false);
    Recorder rec;
    timer->OnTimer = rec.Handler();
    timer->Periodic = false;
    timer->Interval = 0;
    timer->Time = -10000; // 1 ms
    timer->SetEnabled(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // expiry happens, main busy
    timer->SetEnabled(false);
    RunEventLoopFor(50);
    EXPECT_TRUE(rec.times.empty());
}

TEST(PrecTimer, AbsoluteDueTimeAndReArmingInTheHandler)
{
    auto timer = Make<TPrecTimer>(false);
    Recorder rec;
    TPrecTimer* t = timer.get();
    int count = 0;
    timer->OnTimer = TTimeEvent::Bind(&rec, [&](TObject*, u64 time) {
        rec.times.push_back(time);
        if (++count < 3) {
            t->Time = -100000; // 10 ms after this one
            t->SetEnabled(true);
        }
    });
    timer->Periodic = false;
    timer->Interval = 0;
    const u64 due = GetSystemTimeAsFileTime() + 400000; // 40 ms from now, absolute
    timer->Time = std::int64_t(due);
    timer->SetEnabled(true);
    RunEventLoopFor(300);
    ASSERT_EQ(rec.times.size(), 3u);
    EXPECT_GE(rec.times[0], due - 10000);
    EXPECT_GE(rec.times[1], rec.times[0] + 100000 - 10000);
}

TEST(PrecTimer, PeriodicTimerKeepsRunningUntilDisabled)
{
    auto timer = Make<TPrecTimer>(false);
    Recorder rec;
    timer->OnTimer = rec.Handler();
    timer->Periodic = true;
    timer->Interval = 15;
    timer->SetEnabled(true);
    EXPECT_TRUE(timer->Running());
    RunEventLoopFor(200);
    timer->SetEnabled(false);
    const auto n = rec.times.size();
    EXPECT_GE(n, 4u);
    EXPECT_TRUE(timer->Enabled() == false && timer->Running() == false);
    RunEventLoopFor(60);
    EXPECT_EQ(rec.times.size(), n);
}

TEST(PrecTimer, CreatedDisabledStaysIdle)
{
    auto timer = Make<TPrecTimer>(false);
    Recorder rec;
    timer->OnTimer = rec.Handler();
    timer->Interval = 5;
    RunEventLoopFor(40);
    EXPECT_TRUE(rec.times.empty());
    EXPECT_FALSE(timer->Enabled());
}

TEST(PrecTimer, CustomWaitLeavesDispatchToTheOwner)
{
    auto timer = Make<TPrecTimer>(false);
    timer->SetCustomWait(true);
    EXPECT_TRUE(timer->CustomWait());
    Recorder rec;
    timer->OnTimer = rec.Handler();
    timer->Periodic = false;
    timer->Interval = 0;
    timer->Time = -50000;
    timer->SetEnabled(true);
    RunEventLoopFor(40);
    EXPECT_TRUE(rec.times.empty()); // nobody waits on it
    EXPECT_TRUE(timer->Dispatch());
    EXPECT_EQ(rec.times.size(), 1u);
    EXPECT_FALSE(timer->Dispatch());
    timer->SetCustomWait(false);
    EXPECT_FALSE(timer->CustomWait());
}

TEST(PrecTimer, DestroyingWithAnExpiryInFlightIsSafe)
{
    for (int i = 0; i < 20; ++i) {
        auto timer = Make<TPrecTimer>(false);
        Recorder rec;
        timer->OnTimer = rec.Handler();
        timer->Periodic = true;
        timer->Interval = 1;
        timer->SetEnabled(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        timer.reset(); // the waiter may be blocked handing an expiry to this thread
        EXPECT_TRUE(rec.times.empty());
    }
}

namespace {

// Ends the test program (SIGALRM) if the scope does not end within `seconds`: a hang is a
// failure, not a stuck test run.
struct Watchdog {
    explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
    ~Watchdog() { ::alarm(0); }
};

std::size_t ThreadCount()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

// Spins the event loop until the process is back to `threads` threads; false after 3 s.
bool WaitForThreads(std::size_t threads)
{
    for (int i = 0; i < 300; ++i) {
        if (ThreadCount() <= threads)
            return true;
        RunEventLoopFor(10);
    }
    return false;
}

} // namespace

TEST(PrecTimer, ItsOwnHandlerMayFreeItOrDropItsWaiter)
{
    const Watchdog watchdog(20);
    std::thread([] {}).join(); // a runtime's helper thread that starts with the first thread counts too
    const std::size_t threads = ThreadCount();

    // Freed through its holder, from a periodic expiry.
    auto timer = Make<TPrecTimer>(false);
    int calls = 0;
    timer->OnTimer = TTimeEvent::Bind(&calls, [&](TObject*, u64) {
        ++calls;
        timer.reset();
    });
    timer->Interval = 1;
    timer->SetEnabled(true);
    for (int i = 0; i < 1000 && timer; ++i)
        RunEventLoopFor(5);
    EXPECT_FALSE(timer);
    RunEventLoopFor(20);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(WaitForThreads(threads)); // the waiter ended by itself

    // Freed through its owner's proper path while the owner lives on.
    auto owner = Make<TComponent>();
    TPrecTimer* owned = Create<TPrecTimer>(owner.get(), false);
    calls = 0;
    owned->OnTimer = TTimeEvent::Bind(&calls, [&](TObject*, u64) {
        ++calls;
        TComponent::Free(owned);
        owned = nullptr;
    });
    owned->Periodic = false;
    owned->Interval = 0;
    owned->Time = -10000; // 1 ms
    owned->SetEnabled(true);
    for (int i = 0; i < 1000 && owned; ++i)
        RunEventLoopFor(5);
    EXPECT_EQ(owned, nullptr);
    EXPECT_EQ(owner->ComponentCount(), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(WaitForThreads(threads));

    // Dropping the waiter from the handler: the timer goes on with CustomWait.
    auto custom = Make<TPrecTimer>(false);
    calls = 0;
    custom->OnTimer = TTimeEvent::Bind(&calls, [&](TObject*, u64) {
        ++calls;
        custom->SetCustomWait(true);
    });
    custom->Interval = 1;
    custom->SetEnabled(true);
    for (int i = 0; i < 1000 && calls == 0; ++i)
        RunEventLoopFor(5);
    EXPECT_TRUE(custom->CustomWait());
    EXPECT_TRUE(WaitForThreads(threads));
    RunEventLoopFor(20);
    EXPECT_EQ(calls, 1); // nobody watches the descriptor now
    EXPECT_TRUE(custom->Dispatch());
    EXPECT_EQ(calls, 2);
}
