#pragma once
// Byte and bit order reversal.
#include "platform/Types.h"

namespace fk::BitOrder {

// Byte order reversed (0x11223344 -> 0x44332211).
u32 revbyte32(u32 v) noexcept;
u64 revbyte64(u64 v) noexcept;

// Bit order reversed: bit i moves to bit (width - 1 - i).
u8 revbit8(u8 v) noexcept;
u16 revbit16(u16 v) noexcept;
u32 revbit32(u32 v) noexcept;
u64 revbit64(u64 v) noexcept;

} // namespace fk::BitOrder
