#include "ports/OpenHandshake.h"

#include "platform/MainThreadQueue.h"

namespace fk {

void TOpenHandshake::SignalTried()
{
    {
        std::lock_guard lock(mutex_);
        tried_.store(true);
    }
    cv_.notify_all();
    TMainThreadQueue::Instance().Wake();
}

void TOpenHandshake::WaitTried()
{
    if (TMainThreadQueue::IsMainThread()) {
        TMainThreadQueue::Instance().WaitWhile([this] { return !tried_.load(); });
        return;
    }
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return tried_.load(); });
}

void TOpenHandshake::Release()
{
    {
        std::lock_guard lock(mutex_);
        released_ = true;
    }
    cv_.notify_all();
}

void TOpenHandshake::WaitReleased(const std::function<bool()>& stop)
{
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return released_ || stop(); });
}

void TOpenHandshake::Wake()
{
    {
        std::lock_guard lock(mutex_);
    }
    cv_.notify_all();
}

} // namespace fk
