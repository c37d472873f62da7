#include "platform/MainThreadQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <chrono>
#include <thread>

namespace fk {

namespace {
// Static initialisation runs on the thread that loads the program: the main thread.
const std::thread::id g_mainThread = std::this_thread::get_id();
}

TMainThreadQueue& TMainThreadQueue::Instance()
{
    static TMainThreadQueue queue;
    return queue;
}

bool TMainThreadQueue::IsMainThread() noexcept { return std::this_thread::get_id() == g_mainThread; }

void TMainThreadQueue::Run(const std::function<void()>& fn)
{
    if (IsMainThread()) {
        fn();
        return;
    }
    Item item;
    item.fn = fn;
    std::unique_lock lock(mutex_);
    items_.push_back(&item);
    const bool post = !posted_;
    posted_ = true;
    cv_.notify_all();
    if (post) {
        lock.unlock();
        PostToEventLoop();
        lock.lock();
    }
    cv_.wait(lock, [&] { return item.done; });
    if (item.error)
        std::rethrow_exception(item.error);
}

void TMainThreadQueue::PostToEventLoop()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [] { TMainThreadQueue::Instance().ProcessPending(); }, Qt::QueuedConnection);
}

bool TMainThreadQueue::ProcessPending()
{
    bool ran = false;
    std::unique_lock lock(mutex_);
    posted_ = false;
    while (!items_.empty()) {
        Item* item = items_.front();
        items_.pop_front();
        lock.unlock();
        try {
            item->fn();
        } catch (...) {
            item->error = std::current_exception();
        }
        ran = true;
        lock.lock();
        item->done = true;
        cv_.notify_all();
    }
    return ran;
}

void TMainThreadQueue::WaitWhile(const std::function<bool()>& waiting)
{
    for (;;) {
        ProcessPending();
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return !items_.empty() || !waiting(); });
        if (items_.empty())
            return;
    }
}

bool TMainThreadQueue::WaitAndProcess(int timeoutMs)
{
    {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !items_.empty(); });
    }
    return ProcessPending();
}

void TMainThreadQueue::Wake()
{
    std::lock_guard lock(mutex_);
    cv_.notify_all();
}

} // namespace fk
