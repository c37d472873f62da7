#pragma once
// Byte and bit order reversal, and little-endian fields in byte buffers (the order of the
// device's records and of firmware image heads).
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

// A little-endian 16- or 32-bit field at p.
inline void PutLE16(u8* p, u16 v) noexcept
{
    p[0] = static_cast<u8>(v & 0xFF);
    p[1] = static_cast<u8>(v >> 8);
}
inline void PutLE32(u8* p, u32 v) noexcept
{
    PutLE16(p, static_cast<u16>(v & 0xFFFF));
    PutLE16(p + 2, static_cast<u16>(v >> 16));
}
inline u32 GetLE32(const u8* p) noexcept { return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24; }

} // namespace fk::BitOrder
