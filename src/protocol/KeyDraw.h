#pragma once
// Drawing of packet keys.
//
// Each thread draws from its own generator (thread_local), seeded once from the operating
// system's entropy source, so no lock is taken and two threads never share state.
// The draw is uniform over the range: raw 32-bit values from the top, incomplete copy of
// the range are rejected instead of being folded in by a plain modulo.
#include "platform/Types.h"

#include <cstdint>

namespace fk {

// A key drawn uniformly from lo..hi (inclusive) with the calling thread's generator.
// lo > hi is treated as the single value lo.
u8 DrawKey(u8 lo, u8 hi) noexcept;

// The uniform draw itself, over any source of 32-bit values (a callable returning
// std::uint32_t, e.g. std::mt19937). Kept separate so that its rejection rule can be checked.
template <class Engine>
u8 DrawUniform(Engine& engine, u8 lo, u8 hi)
{
    if (hi <= lo)
        return lo;
    const std::uint32_t range = std::uint32_t(hi) - lo + 1;
    // The largest multiple of range that fits in 2^32; values at or above it would favour
    // the low end of the range.
    const std::uint64_t limit = (std::uint64_t(1) << 32) - ((std::uint64_t(1) << 32) % range);
    for (;;) {
        const std::uint32_t x = static_cast<std::uint32_t>(engine());
        if (x < limit)
            return static_cast<u8>(lo + x % range);
    }
}

} // namespace fk
