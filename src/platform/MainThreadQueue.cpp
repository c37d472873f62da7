#include "platform/MainThreadQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
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
    if (post && attached_) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = write(wakeFd_, &one, sizeof one);
    } else if (post) {
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
