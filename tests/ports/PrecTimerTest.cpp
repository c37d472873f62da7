#include "platform/SystemClock.h"
#include "platform/Thread.h"
#include "ports/PrecTimer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>
#include <vector>

using namespace fk;

namespace {

void Spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

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
    Spin(150);
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
    timer->Time = -300000; // 30 ms
    timer->SetEnabled(true);
    Spin(5);
    timer->SetEnabled(false);
    Spin(80);
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
    Spin(50);
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
    Spin(300);
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
    Spin(200);
    timer->SetEnabled(false);
    const auto n = rec.times.size();
    EXPECT_GE(n, 4u);
    EXPECT_TRUE(timer->Enabled() == false && timer->Running() == false);
    Spin(60);
    EXPECT_EQ(rec.times.size(), n);
}

TEST(PrecTimer, CreatedDisabledStaysIdle)
{
    auto timer = Make<TPrecTimer>(false);
    Recorder rec;
    timer->OnTimer = rec.Handler();
    timer->Interval = 5;
    Spin(40);
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
    Spin(40);
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
