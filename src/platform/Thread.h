#pragma once
// A worker thread with the life cycle the components expect:
//  - created suspended; Start() runs it. A thread must not run before its object is fully
//    constructed (Execute is virtual), so a class that wants to run at once calls Start()
//    as the last statement of its own constructor and is final, or is made with StartThread;
//  - Execute() is the thread's body and should return soon after Terminated() turns true;
//    a subclass overrides TerminatedSet() to wake whatever its Execute blocks on;
//  - after Execute the OnTerminate handler runs on the main thread (through Synchronize);
//  - WaitFor() blocks until the thread has ended and returns its ReturnValue; on the main
//    thread it keeps running synchronised calls meanwhile, so it cannot deadlock against a
//    worker that is blocked in Synchronize;
//  - with FreeOnTerminate the thread frees its own object when it ends (nobody may WaitFor
//    it or free it then).
// Deleting a running thread object terminates it and waits for it; once the main thread is
// leaving, only until the leaving deadline (a thread still running then is left to the end of
// the process).
#include "platform/Event.h"
#include "platform/LastError.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace fk {

class TThread : public TObject {
public:
    TThread() = default;
    ~TThread() override;

    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts a thread created suspended; false if it was already started.
    bool Start();
    void Terminate();
    bool Terminated() const noexcept { return terminated_.load(std::memory_order_acquire); }
    bool Started() const noexcept { return started_; }
    bool Finished() const noexcept { return finished_.load(std::memory_order_acquire); }
    DWORD WaitFor();

    bool FreeOnTerminate() const noexcept { return freeOnTerminate_.load(); }
    void SetFreeOnTerminate(bool value) noexcept { freeOnTerminate_.store(value); }

    DWORD ReturnValue() const noexcept { return returnValue_.load(); }
    bool IsCurrentThread() const noexcept { return std::this_thread::get_id() == id_.load(); }

    // Raised on the main thread when Execute has returned, before the thread ends.
    TNotifyEvent OnTerminate;

    // Runs fn on the main thread and waits until it has run (direct call on the main thread).
    // False when fn was dropped because the main thread is leaving (TMainThreadQueue::Leave).
    static bool Synchronize(const std::function<void()>& fn);
    static bool IsMainThread() noexcept;
    // Main thread: runs pending synchronised calls, waiting up to timeoutMs for one.
    static bool CheckSynchronize(int timeoutMs = 0);

protected:
    virtual void Execute() = 0;
    // Called by Terminate() after the flag is set, on the terminating thread.
    virtual void TerminatedSet() {}
    void SetReturnValue(DWORD value) noexcept { returnValue_.store(value); }

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable cv_;
    std::thread thread_;
    std::atomic<std::thread::id> id_{};
    bool started_ = false;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> freeOnTerminate_{false};
    std::atomic<DWORD> returnValue_{0};
};

// Creates a thread of type T and starts it once it is fully constructed.
template <class T, class... A>
std::unique_ptr<T> StartThread(A&&... args)
{
    auto thread = std::make_unique<T>(std::forward<A>(args)...);
    thread->Start();
    return thread;
}

// Creates a thread of type T, lets it free itself when it ends, and starts it. The returned
// pointer must not be used once the thread may have ended.
template <class T, class... A>
T* StartSelfFreeing(A&&... args)
{
    T* thread = new T(std::forward<A>(args)...);
    thread->SetFreeOnTerminate(true);
    thread->Start();
    return thread;
}

} // namespace fk
