#pragma once
// The 8-bit additive sum that both packet formats use as their checksum.
#include "platform/Types.h"

#include <cstddef>

namespace fk {

// The sum (mod 256) of n bytes starting at data, starting from 0. A null data gives 0.
u8 ByteSum8(const void* data, std::size_t n) noexcept;

} // namespace fk
