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
    // thread. An exception thrown by fn is thrown again in the calling thread.
    void Run(const std::function<void()>& fn);

    // Main thread: runs every queued call; true when at least one ran.
    bool ProcessPending();

    // Main thread: runs queued calls until `waiting()` returns false. Whoever changes what
    // `waiting` reads must call Wake() afterwards.
    void WaitWhile(const std::function<bool()>& waiting);

    // Main thread: waits up to timeoutMs for a queued call and runs what is queued.
    bool WaitAndProcess(int timeoutMs);

    // Wakes a main thread blocked in WaitWhile so it re-reads its condition.
    void Wake();

    // Main thread: lets workers wake the Qt event loop through a descriptor the loop
    // watches, so a queued call costs one write and no allocation. Called when a thread is
    // started from the main thread; without it (or without a Qt application) workers post
    // a queued call to the application object instead.
    void AttachToEventLoop();

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

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Item*> items_;
    bool posted_ = false; // a wake-up is queued in the Qt event loop
    int wakeFd_ = -1;     // eventfd the event loop watches once attached
    bool attached_ = false;
    std::unique_ptr<TWaker> waker_; // main thread only
};

} // namespace fk
