#include "platform/SystemClock.h"

#include <ctime>

namespace fk {

std::uint32_t GetTickCount() noexcept
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::uint64_t ms = std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

std::uint64_t GetSystemTimeAsFileTime() noexcept
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FileTimeUnixEpoch + std::uint64_t(ts.tv_sec) * 10000000u + std::uint64_t(ts.tv_nsec) / 100u;
}

} // namespace fk
