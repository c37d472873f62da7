#include "platform/MainThreadQueue.h"
#include "platform/Thread.h"
#include "ChildProcess.h"
#include "FaultLog.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <vector>

using namespace fk;

namespace {

// Synchronises `rounds` increments of a main-thread counter, then returns its id.
class Syncer : public TThread {
public:
    Syncer(int* counter, int rounds, DWORD id)
        : counter_(counter)
        , rounds_(rounds)
        , id_(id)
    {
    }
    ~Syncer() override
    {
        Terminate();
        WaitFor();
    }
    std::atomic<int> done{0};

protected:
    void Execute() override
    {
        for (int i = 0; i < rounds_ && !Terminated(); ++i) {
            Synchronize([this] {
                EXPECT_TRUE(IsMainThread());
                ++*counter_; // main thread only: no lock needed
            });
            ++done;
        }
        SetReturnValue(id_);
    }

private:
    int* counter_;
    int rounds_;
    DWORD id_;
};

// Blocks on a condition variable until terminated.
class Sleeper final : public TThread {
public:
    Sleeper() { Start(); }
    ~Sleeper() override
    {
        Terminate();
        WaitFor();
    }

protected:
    void TerminatedSet() override
    {
        std::lock_guard lock(m_);
        cv_.notify_all();
    }
    void Execute() override
    {
        std::unique_lock lock(m_);
        cv_.wait(lock, [this] { return Terminated(); });
        SetReturnValue(42);
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
};

} // namespace

TEST(Thread, SynchronizeIsADirectCallOnTheMainThread)
{
    bool ran = false;
    TThread::Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(TThread::IsMainThread());
}

TEST(Thread, SuspendedThreadRunsOnlyAfterStart)
{
    int counter = 0;
    Syncer t(&counter, 3, 7);
    EXPECT_FALSE(t.Started());
    EXPECT_EQ(t.WaitFor(), 0u); // not started: returns at once
    EXPECT_TRUE(t.Start());
    EXPECT_FALSE(t.Start());
    EXPECT_EQ(t.WaitFor(), 7u);
    EXPECT_EQ(counter, 3);
}

TEST(Thread, TerminateWakesABlockedThreadAndWaitForReturnsItsValue)
{
    Sleeper s;
    s.Terminate();
    EXPECT_EQ(s.WaitFor(), 42u);
    EXPECT_TRUE(s.Finished());
}

TEST(Thread, WaitForOnTheMainThreadServesSynchronizeUnderLoad)
{
    // Many threads synchronise while the main thread terminates and waits for them: every
    // WaitFor must return even though the threads block in Synchronize meanwhile.
    constexpr int kThreads = 16;
    constexpr int kRounds = 200;
    int counter = 0;
    std::vector<std::unique_ptr<Syncer>> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.push_back(std::make_unique<Syncer>(&counter, kRounds, DWORD(i + 1)));
        threads.back()->Start();
    }
    int completed = 0;
    for (int i = 0; i < kThreads; ++i) {
        if (i % 2)
            threads[i]->Terminate();
        EXPECT_EQ(threads[i]->WaitFor(), DWORD(i + 1));
        completed += threads[i]->done.load();
    }
    EXPECT_EQ(counter, completed);
    EXPECT_GE(completed, kRounds * kThreads / 2);
}

TEST(Thread, OnTerminateRunsOnTheMainThreadBeforeWaitForReturns)
{
    int counter = 0;
    Syncer t(&counter, 1, 1);
    bool onMain = false;
    t.OnTerminate = TNotifyEvent::Bind(&onMain, [&](TObject* sender) {
        onMain = TThread::IsMainThread() && sender == &t;
    });
    t.Start();
    t.WaitFor();
    EXPECT_TRUE(onMain);
}

TEST(Thread, SynchronizeRunsFromTheQtEventLoop)
{
    int counter = 0;
    Syncer t(&counter, 5, 1);
    t.OnTerminate = TNotifyEvent::Bind(&t, [](TObject*) { QCoreApplication::quit(); });
    t.Start();
    QTimer::singleShot(10000, [] { QCoreApplication::quit(); }); // guard against a hang
    QCoreApplication::exec();
    t.WaitFor();
    EXPECT_EQ(counter, 5);
}

TEST(Thread, FreeOnTerminateFreesItself)
{
    struct Flag {
        std::mutex m;
        std::condition_variable cv;
        bool freed = false;
    } flag;
    class SelfFreeing : public TThread {
    public:
        explicit SelfFreeing(Flag* f)
            : f_(f)
        {
        }
        ~SelfFreeing() override
        {
            std::lock_guard lock(f_->m);
            f_->freed = true;
            f_->cv.notify_all();
        }

    protected:
        void Execute() override {}

    private:
        Flag* f_;
    };
    StartSelfFreeing<SelfFreeing>(&flag);
    std::unique_lock lock(flag.m);
    EXPECT_TRUE(flag.cv.wait_for(lock, std::chrono::seconds(10), [&] { return flag.freed; }));
}

TEST(Thread, ExceptionsInSynchronizedCallsReachTheCaller)
{
    class Thrower : public TThread {
    public:
        ~Thrower() override { WaitFor(); }
        std::atomic<bool> caught{false};

    protected:
        void Execute() override
        {
            try {
                Synchronize([] { throw std::runtime_error("boom"); });
            } catch (const std::runtime_error&) {
                caught = true;
            }
        }
    };
    auto t = StartThread<Thrower>();
    t->WaitFor();
    EXPECT_TRUE(t->caught);
}

TEST(Thread, AnExceptionThatEndsTheBodyIsReportedAndTheThreadStillEndsInOrder)
{
    class Failing : public TThread {
    protected:
        void Execute() override { throw std::runtime_error("no device"); }
    };
    test::TFaultLog faults;
    Failing t;
    bool terminated = false;
    t.OnTerminate = TNotifyEvent::Bind(&terminated, [&](TObject*) { terminated = true; });
    t.Start();
    t.WaitFor();
    EXPECT_TRUE(terminated);
    EXPECT_EQ(faults.Lines(), std::vector<std::string>{"a worker thread: no device"});
}

// A leaving main thread (in a child: leaving is for good) still runs the workers' hand-overs
// while it waits, until its deadline; after it a hand-over gives up at once and a worker
// waiting in one is let go.
TEST(Thread, HandOversGiveUpOnceTheLeavingMainThreadsDeadlineHasPassed)
{
    class Handover : public TThread {
    public:
        ~Handover() override { WaitFor(); }
        std::atomic<int> ran{0}, dropped{0};

    protected:
        void Execute() override
        {
            for (int i = 0; i < 3; ++i)
                if (!Synchronize([this] { ++ran; }))
                    ++dropped;
        }
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        using namespace std::chrono;
        auto& queue = TMainThreadQueue::Instance();
        queue.Leave(steady_clock::now() + seconds(20));
        {
            auto served = StartThread<Handover>();
            served->WaitFor();
            if (served->ran != 3)
                ::_exit(2);
        }
        // A worker left waiting: the main thread does not run the queue; the deadline lets it go.
        queue.Leave(steady_clock::now() + milliseconds(200));
        auto waiting = StartThread<Handover>();
        for (int i = 0; i < 2000 && !waiting->Finished(); ++i)
            ::poll(nullptr, 0, 10);
        const bool gaveUp = waiting->dropped == 3 && waiting->ran == 0;
        waiting.reset();
        ::_exit(gaveUp ? 0 : 3);
    }
    const int status = fk::test::WaitChild(child, 30000);
    ASSERT_NE(status, -1) << "a hand-over or a wait did not give up";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
