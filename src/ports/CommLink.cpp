#include "ports/CommLink.h"

#include "platform/MainThreadQueue.h"

namespace fk {

void TCommLink::Lock()
{
    if (!Mutex.try_lock()) {
        if (TMainThreadQueue::IsMainThread()) {
            bool got = false;
            const bool waited = TMainThreadQueue::Instance().WaitWhile([&] {
                if (!got)
                    got = Mutex.try_lock();
                return !got;
            });
            if (!waited && !got)
                Mutex.lock(); // past the leaving deadline no holder waits for this thread
        } else {
            Mutex.lock();
        }
    }
    ++Depth;
}

void TCommLink::Unlock() noexcept
{
    --Depth;
    Mutex.unlock();
    if (!TMainThreadQueue::IsMainThread())
        TMainThreadQueue::Instance().Wake(); // a main thread may wait for the lock
}

int TCommLink::UnlockAll() noexcept
{
    const int depth = Depth;
    Depth = 0;
    for (int i = 0; i < depth; ++i)
        Mutex.unlock();
    if (!TMainThreadQueue::IsMainThread())
        TMainThreadQueue::Instance().Wake();
    return depth;
}

void TCommLink::Relock(int depth)
{
    if (depth <= 0)
        return;
    Lock();
    for (int i = 1; i < depth; ++i)
        Mutex.lock();
    Depth = depth;
}

} // namespace fk
