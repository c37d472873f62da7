#include "support/BitOrder.h"

namespace fk::BitOrder {

u32 revbyte32(u32 v) noexcept
{
    return __builtin_bswap32(v);
}

u64 revbyte64(u64 v) noexcept
{
    return __builtin_bswap64(v);
}

u8 revbit8(u8 v) noexcept
{
    u32 x = v;
    x = ((x & 0xF0u) >> 4) | ((x & 0x0Fu) << 4);
    x = ((x & 0xCCu) >> 2) | ((x & 0x33u) << 2);
    x = ((x & 0xAAu) >> 1) | ((x & 0x55u) << 1);
    return static_cast<u8>(x);
}

u16 revbit16(u16 v) noexcept
{
    return static_cast<u16>(revbit32(v) >> 16);
}

u32 revbit32(u32 v) noexcept
{
    // Reverse the bits inside each byte, then the bytes.
    v = ((v & 0xF0F0F0F0u) >> 4) | ((v & 0x0F0F0F0Fu) << 4);
    v = ((v & 0xCCCCCCCCu) >> 2) | ((v & 0x33333333u) << 2);
    v = ((v & 0xAAAAAAAAu) >> 1) | ((v & 0x55555555u) << 1);
    return __builtin_bswap32(v);
}

u64 revbit64(u64 v) noexcept
{
    v = ((v & 0xF0F0F0F0F0F0F0F0ull) >> 4) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
    v = ((v & 0xCCCCCCCCCCCCCCCCull) >> 2) | ((v & 0x3333333333333333ull) << 2);
    v = ((v & 0xAAAAAAAAAAAAAAAAull) >> 1) | ((v & 0x5555555555555555ull) << 1);
    return __builtin_bswap64(v);
}

} // namespace fk::BitOrder
