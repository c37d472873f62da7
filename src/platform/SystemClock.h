#pragma once
// The two clocks the components use: a 32-bit millisecond tick for time-outs (compare
// ticks only through TickDiff, which is modulo 2^32 and so survives the wrap), and the
// system time as 100-ns intervals since the start of 1601 (UTC) for the speed meter and
// the precise timer.
#include <cstdint>

namespace fk {

// Milliseconds of the monotonic clock, truncated to 32 bits.
std::uint32_t GetTickCount() noexcept;

// later - earlier, modulo 2^32.
constexpr std::uint32_t TickDiff(std::uint32_t later, std::uint32_t earlier) noexcept
{
    return later - earlier;
}

// 100-ns intervals between 1601-01-01 and 1970-01-01.
inline constexpr std::uint64_t FileTimeUnixEpoch = 116444736000000000ULL;

// The system (wall) clock in 100-ns intervals since 1601-01-01 UTC.
std::uint64_t GetSystemTimeAsFileTime() noexcept;

} // namespace fk
