#pragma once
// The MD5 message digest of RFC 1321, written here (no library).
#include "platform/Types.h"

#include <cstddef>

namespace fk {

class TMessageDigest5 {
public:
    static constexpr unsigned BLOCKSIZE = 64;
    static constexpr unsigned HashSize = 16;

    TMessageDigest5() noexcept { Reset(); }
    // Reset() then AddData(data, length).
    TMessageDigest5(const void* data, unsigned length) noexcept;

    // A, B, C, D := the initial values of RFC 1321; bit count 0; no data added.
    void Reset() noexcept;
    // Adds length bytes (nothing for 0). Whole blocks are transformed straight from data.
    void AddData(const void* data, unsigned length) noexcept;
    // Pads, writes the 16 digest bytes to digest and resets. Writes nothing and leaves the
    // state alone when no data was added since the last reset.
    void FinalDigest(void* digest) noexcept;

    // Standard round functions and step (RFC 1321), in the forms that need fewest operations.
    static constexpr u32 F1(u32 x, u32 y, u32 z) noexcept { return z ^ (x & (y ^ z)); }
    static constexpr u32 F2(u32 x, u32 y, u32 z) noexcept { return y ^ (z & (x ^ y)); }
    static constexpr u32 F3(u32 x, u32 y, u32 z) noexcept { return x ^ y ^ z; }
    static constexpr u32 F4(u32 x, u32 y, u32 z) noexcept { return y ^ (x | ~z); }

private:
    // Runs the block transform over count consecutive 64-byte blocks at p.
    void Transform(const u8* p, std::size_t count) noexcept;

    bool FDataAdded = false;
    u32 A = 0, B = 0, C = 0, D = 0;
    u32 FBitsLow = 0, FBitsHigh = 0; // message length in bits
    u8 FBuffer[BLOCKSIZE] = {};
};

} // namespace fk
