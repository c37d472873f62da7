#pragma once
// Calls handed from worker threads to the main thread.
//
// A worker that must run something on the main thread (TThread::Synchronize) queues it here
// and blocks until the main thread has run it. The main thread runs queued calls
//  - from the Qt event loop, when a QCoreApplication exists (each queued call posts one
//    wake-up to it), and
//  - while it waits in TThread::WaitFor or WaitWhile, so a worker blocked in Synchronize
//    can never deadlock a main thread that is waiting for that worker to end.
// This is the one process-wide queue; the main thread is the thread that loaded the program.
//
// The queue is never destroyed: a worker may still wait in it while the process ends, and
// nothing that runs at exit may wait for a worker. Once the main thread is leaving (Leave),
// workers hand calls over only until the leaving deadline; after it a call is dropped at once.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace fk {

class TMainThreadQueue {
public:
    static TMainThreadQueue& Instance();

    static bool IsMainThread() noexcept;

    // Runs fn on the main thread and returns when it has run; a direct call on the main
    // thread. An exception thrown by fn is thrown again in the calling thread. False when fn
    // did not run because the main thread is leaving and its deadline has passed.
    bool Run(const std::function<void()>& fn);

    // Main thread: runs every queued call; true when at least one ran.
    bool ProcessPending();

    // Main thread: runs queued calls until `waiting()` returns false. Whoever changes what
    // `waiting` reads must call Wake() afterwards. Once leaving, it waits no longer than the
    // leaving deadline; false when it gave up with `waiting()` still true.
    bool WaitWhile(const std::function<bool()>& waiting);

    // Main thread: waits up to timeoutMs for a queued call and runs what is queued.
    bool WaitAndProcess(int timeoutMs);

    // Wakes a main thread blocked in WaitWhile so it re-reads its condition.
    void Wake();

    // Main thread: lets workers wake the Qt event loop through a descriptor the loop
    // watches, so a queued call costs one write and no allocation. Called when a thread is
    // started from the main thread; without it (or without a Qt application) workers post
    // a queued call to the application object instead.
    void AttachToEventLoop();

    // The main thread is leaving: the event loop runs no more. Until `deadline` the calls of
    // workers are still run while the main thread waits (WaitWhile, WaitAndProcess); after
    // it every waiting and every new call of a worker gives up. Calling it again moves the
    // deadline only earlier.
    void Leave(std::chrono::steady_clock::time_point deadline);
    static bool Leaving() noexcept { return leaving_.load(std::memory_order_acquire); }

    // How many calls of workers wait to be run (for tests and diagnostics).
    std::size_t Queued();

private:
    TMainThreadQueue();
    ~TMainThreadQueue();
    struct TWaker;

    struct Item {
        std::function<void()> fn;
        std::exception_ptr error;
        bool done = false;
    };

    void PostToEventLoop();
    bool PastDeadline() const; // mutex held
    static std::atomic<bool> leaving_;
    std::chrono::steady_clock::time_point deadline_{}; // when leaving_

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Item*> items_;
    bool posted_ = false; // a wake-up is queued in the Qt event loop
    int wakeFd_ = -1;     // eventfd the event loop watches once attached
    bool attached_ = false;
    std::unique_ptr<TWaker> waker_; // main thread only
};

} // namespace fk
