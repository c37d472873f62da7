#include "platform/MainThreadQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace fk {

namespace {
// Static initialisation runs on the thread that loads the program: the main thread.
const std::thread::id g_mainThread = std::this_thread::get_id();
}

// The notifier lives on the main thread as a child of the application object, so it goes
// away with the application.
struct TMainThreadQueue::TWaker {
    QPointer<QSocketNotifier> notifier;
};

TMainThreadQueue::TMainThreadQueue()
    : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , waker_(std::make_unique<TWaker>())
{
}

TMainThreadQueue::~TMainThreadQueue()
{
    if (wakeFd_ >= 0)
        close(wakeFd_);
}

void TMainThreadQueue::AttachToEventLoop()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!IsMainThread() || !app || wakeFd_ < 0 || waker_->notifier)
        return;
    auto* notifier = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, app); // owned by app
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this] {
        std::uint64_t count;
        [[maybe_unused]] auto n = read(wakeFd_, &count, sizeof count);
        ProcessPending();
    });
    QObject::connect(notifier, &QObject::destroyed, [this] {
        std::lock_guard lock(mutex_);
        attached_ = false;
    });
    waker_->notifier = notifier;
    std::lock_guard lock(mutex_);
    attached_ = true;
}

std::atomic<bool> TMainThreadQueue::leaving_{false};

TMainThreadQueue& TMainThreadQueue::Instance()
{
    // Never destroyed: its destructor would run at exit while workers may still wait in it
    // (destroying a condition variable waits for its waiters), and nothing at exit may wait.
    union TKeep {
        TKeep() : queue() {}
        ~TKeep() {}
        TMainThreadQueue queue;
    };
    static TKeep keep;
    return keep.queue;
}

bool TMainThreadQueue::IsMainThread() noexcept { return std::this_thread::get_id() == g_mainThread; }

bool TMainThreadQueue::Run(const std::function<void()>& fn)
{
    if (IsMainThread()) {
        fn();
        return true;
    }
    Item item;
    item.fn = fn;
    std::unique_lock lock(mutex_);
    if (leaving_ && PastDeadline())
        return false;
    items_.push_back(&item);
    const bool post = !posted_ && !leaving_; // a leaving main thread runs no event loop
    posted_ = posted_ || post;
    cv_.notify_all();
    if (post && attached_) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = write(wakeFd_, &one, sizeof one);
    } else if (post) {
        lock.unlock();
        PostToEventLoop();
        lock.lock();
    }
    while (!item.done) {
        if (!leaving_) {
            cv_.wait(lock);
            continue;
        }
        if (PastDeadline()) {
            // Still queued: dropped. Already taken by the main thread: it is running now and
            // its end is near.
            const auto queued = std::find(items_.begin(), items_.end(), &item);
            if (queued != items_.end()) {
                items_.erase(queued);
                return false;
            }
            cv_.wait(lock, [&] { return item.done; });
            break;
        }
        cv_.wait_until(lock, deadline_);
    }
    if (item.error)
        std::rethrow_exception(item.error);
    return true;
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

bool TMainThreadQueue::WaitWhile(const std::function<bool()>& waiting)
{
    for (;;) {
        ProcessPending();
        std::unique_lock lock(mutex_);
        const auto ready = [&] { return !items_.empty() || !waiting(); };
        if (!leaving_) {
            cv_.wait(lock, ready);
        } else if (!cv_.wait_until(lock, deadline_, ready)) {
            return false; // the leaving deadline has passed
        }
        if (items_.empty())
            return true;
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

void TMainThreadQueue::Leave(std::chrono::steady_clock::time_point deadline)
{
    {
        std::lock_guard lock(mutex_);
        if (!leaving_ || deadline < deadline_)
            deadline_ = deadline;
        leaving_.store(true, std::memory_order_release);
    }
    cv_.notify_all();
}

bool TMainThreadQueue::PastDeadline() const { return std::chrono::steady_clock::now() >= deadline_; }

std::size_t TMainThreadQueue::Queued()
{
    std::lock_guard lock(mutex_);
    return items_.size();
}

void TMainThreadQueue::Wake()
{
    std::lock_guard lock(mutex_);
    cv_.notify_all();
}

} // namespace fk
