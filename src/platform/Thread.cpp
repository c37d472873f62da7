#include "platform/Thread.h"

#include "platform/FaultReport.h"
#include "platform/MainThreadQueue.h"

namespace fk {

TThread::~TThread()
{
    // A thread that frees itself has already ended (or is ending in Run, which detached it).
    if (thread_.joinable() && !IsCurrentThread()) {
        if (!Finished()) {
            Terminate();
            WaitFor();
        }
        if (Finished() || !TMainThreadQueue::Leaving())
            thread_.join();
        else
            thread_.detach(); // the process is ending: nothing may wait for a thread now
    }
}

bool TThread::Start()
{
    std::lock_guard lock(mutex_);
    if (started_)
        return false;
    started_ = true;
    if (IsMainThread())
        TMainThreadQueue::Instance().AttachToEventLoop();
    thread_ = std::thread([this] { Run(); });
    return true;
}

void TThread::Run()
{
    {
        // Start() holds the mutex until thread_ is stored.
        std::lock_guard lock(mutex_);
        id_.store(std::this_thread::get_id());
    }
    try {
        Execute();
    } catch (...) {
        TFaultReport::Caught("a worker thread"); // it must not leave the thread
    }
    if (OnTerminate) {
        try {
            Synchronize([this] { OnTerminate.Invoke(this); });
        } catch (...) {
            TFaultReport::Caught("a worker thread's end notification");
        }
    }
    const bool freeSelf = FreeOnTerminate();
    if (freeSelf) {
        thread_.detach();
        delete this;
        return;
    }
    {
        std::lock_guard lock(mutex_);
        finished_.store(true, std::memory_order_release);
    }
    cv_.notify_all();
    TMainThreadQueue::Instance().Wake();
}

void TThread::Terminate()
{
    terminated_.store(true, std::memory_order_release);
    TerminatedSet();
}

DWORD TThread::WaitFor()
{
    if (!started_ || IsCurrentThread())
        return returnValue_.load();
    if (IsMainThread()) {
        TMainThreadQueue::Instance().WaitWhile([this] { return !Finished(); });
    } else {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return Finished(); });
    }
    return returnValue_.load();
}

bool TThread::Synchronize(const std::function<void()>& fn) { return TMainThreadQueue::Instance().Run(fn); }

bool TThread::IsMainThread() noexcept { return TMainThreadQueue::IsMainThread(); }

bool TThread::CheckSynchronize(int timeoutMs)
{
    if (!IsMainThread())
        return false;
    if (timeoutMs <= 0)
        return TMainThreadQueue::Instance().ProcessPending();
    return TMainThreadQueue::Instance().WaitAndProcess(timeoutMs);
}

} // namespace fk
