#include "support/MessageDigest5.h"

#include <bit>
#include <cstring>

namespace fk {

namespace {

inline u32 LoadLE(const u8* p) noexcept
{
    u32 v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap32(v);
    return v;
}

inline void StoreLE(u8* p, u32 v) noexcept
{
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

} // namespace

// One step: a := b + ((a + f(b, c, d) + x + t) <<< s).
#define MD5STEP(f, a, b, c, d, x, t, s)                                                       \
    do {                                                                                      \
        a += TMessageDigest5::f(b, c, d) + (x) + static_cast<u32>(t);                         \
        a = std::rotl(a, s) + b;                                                              \
    } while (0)

// The second round's G(b, c, d) = (b & d) | (c & ~d): the two terms never share a bit, so
// they can be added one by one; c & ~d does not wait for b, which shortens the chain.
#define MD5STEP2(a, b, c, d, x, t, s)                                                         \
    do {                                                                                      \
        a += (x) + static_cast<u32>(t) + ((c) & ~(d));                                        \
        a += (b) & (d);                                                                       \
        a = std::rotl(a, s) + b;                                                              \
    } while (0)

TMessageDigest5::TMessageDigest5(const void* data, unsigned length) noexcept
{
    Reset();
    AddData(data, length);
}

void TMessageDigest5::Reset() noexcept
{
    A = 0x67452301u;
    B = 0xefcdab89u;
    C = 0x98badcfeu;
    D = 0x10325476u;
    FBitsLow = 0;
    FBitsHigh = 0;
    FDataAdded = false;
}

void TMessageDigest5::Transform(const u8* p, std::size_t count) noexcept
{
    u32 a = A, b = B, c = C, d = D;
    for (; count != 0; --count, p += BLOCKSIZE) {
        const u32 x0 = LoadLE(p + 0), x1 = LoadLE(p + 4), x2 = LoadLE(p + 8), x3 = LoadLE(p + 12);
        const u32 x4 = LoadLE(p + 16), x5 = LoadLE(p + 20), x6 = LoadLE(p + 24), x7 = LoadLE(p + 28);
        const u32 x8 = LoadLE(p + 32), x9 = LoadLE(p + 36), x10 = LoadLE(p + 40), x11 = LoadLE(p + 44);
        const u32 x12 = LoadLE(p + 48), x13 = LoadLE(p + 52), x14 = LoadLE(p + 56), x15 = LoadLE(p + 60);
        const u32 aa = a, bb = b, cc = c, dd = d;

        MD5STEP(F1, a, b, c, d, x0, 0xd76aa478, 7);
        MD5STEP(F1, d, a, b, c, x1, 0xe8c7b756, 12);
        MD5STEP(F1, c, d, a, b, x2, 0x242070db, 17);
        MD5STEP(F1, b, c, d, a, x3, 0xc1bdceee, 22);
        MD5STEP(F1, a, b, c, d, x4, 0xf57c0faf, 7);
        MD5STEP(F1, d, a, b, c, x5, 0x4787c62a, 12);
        MD5STEP(F1, c, d, a, b, x6, 0xa8304613, 17);
        MD5STEP(F1, b, c, d, a, x7, 0xfd469501, 22);
        MD5STEP(F1, a, b, c, d, x8, 0x698098d8, 7);
        MD5STEP(F1, d, a, b, c, x9, 0x8b44f7af, 12);
        MD5STEP(F1, c, d, a, b, x10, 0xffff5bb1, 17);
        MD5STEP(F1, b, c, d, a, x11, 0x895cd7be, 22);
        MD5STEP(F1, a, b, c, d, x12, 0x6b901122, 7);
        MD5STEP(F1, d, a, b, c, x13, 0xfd987193, 12);
        MD5STEP(F1, c, d, a, b, x14, 0xa679438e, 17);
        MD5STEP(F1, b, c, d, a, x15, 0x49b40821, 22);

        MD5STEP2(a, b, c, d, x1, 0xf61e2562, 5);
        MD5STEP2(d, a, b, c, x6, 0xc040b340, 9);
        MD5STEP2(c, d, a, b, x11, 0x265e5a51, 14);
        MD5STEP2(b, c, d, a, x0, 0xe9b6c7aa, 20);
        MD5STEP2(a, b, c, d, x5, 0xd62f105d, 5);
        MD5STEP2(d, a, b, c, x10, 0x02441453, 9);
        MD5STEP2(c, d, a, b, x15, 0xd8a1e681, 14);
        MD5STEP2(b, c, d, a, x4, 0xe7d3fbc8, 20);
        MD5STEP2(a, b, c, d, x9, 0x21e1cde6, 5);
        MD5STEP2(d, a, b, c, x14, 0xc33707d6, 9);
        MD5STEP2(c, d, a, b, x3, 0xf4d50d87, 14);
        MD5STEP2(b, c, d, a, x8, 0x455a14ed, 20);
        MD5STEP2(a, b, c, d, x13, 0xa9e3e905, 5);
        MD5STEP2(d, a, b, c, x2, 0xfcefa3f8, 9);
        MD5STEP2(c, d, a, b, x7, 0x676f02d9, 14);
        MD5STEP2(b, c, d, a, x12, 0x8d2a4c8a, 20);

        MD5STEP(F3, a, b, c, d, x5, 0xfffa3942, 4);
        MD5STEP(F3, d, a, b, c, x8, 0x8771f681, 11);
        MD5STEP(F3, c, d, a, b, x11, 0x6d9d6122, 16);
        MD5STEP(F3, b, c, d, a, x14, 0xfde5380c, 23);
        MD5STEP(F3, a, b, c, d, x1, 0xa4beea44, 4);
        MD5STEP(F3, d, a, b, c, x4, 0x4bdecfa9, 11);
        MD5STEP(F3, c, d, a, b, x7, 0xf6bb4b60, 16);
        MD5STEP(F3, b, c, d, a, x10, 0xbebfbc70, 23);
        MD5STEP(F3, a, b, c, d, x13, 0x289b7ec6, 4);
        MD5STEP(F3, d, a, b, c, x0, 0xeaa127fa, 11);
        MD5STEP(F3, c, d, a, b, x3, 0xd4ef3085, 16);
        MD5STEP(F3, b, c, d, a, x6, 0x04881d05, 23);
        MD5STEP(F3, a, b, c, d, x9, 0xd9d4d039, 4);
        MD5STEP(F3, d, a, b, c, x12, 0xe6db99e5, 11);
        MD5STEP(F3, c, d, a, b, x15, 0x1fa27cf8, 16);
        MD5STEP(F3, b, c, d, a, x2, 0xc4ac5665, 23);

        MD5STEP(F4, a, b, c, d, x0, 0xf4292244, 6);
        MD5STEP(F4, d, a, b, c, x7, 0x432aff97, 10);
        MD5STEP(F4, c, d, a, b, x14, 0xab9423a7, 15);
        MD5STEP(F4, b, c, d, a, x5, 0xfc93a039, 21);
        MD5STEP(F4, a, b, c, d, x12, 0x655b59c3, 6);
        MD5STEP(F4, d, a, b, c, x3, 0x8f0ccc92, 10);
        MD5STEP(F4, c, d, a, b, x10, 0xffeff47d, 15);
        MD5STEP(F4, b, c, d, a, x1, 0x85845dd1, 21);
        MD5STEP(F4, a, b, c, d, x8, 0x6fa87e4f, 6);
        MD5STEP(F4, d, a, b, c, x15, 0xfe2ce6e0, 10);
        MD5STEP(F4, c, d, a, b, x6, 0xa3014314, 15);
        MD5STEP(F4, b, c, d, a, x13, 0x4e0811a1, 21);
        MD5STEP(F4, a, b, c, d, x4, 0xf7537e82, 6);
        MD5STEP(F4, d, a, b, c, x11, 0xbd3af235, 10);
        MD5STEP(F4, c, d, a, b, x2, 0x2ad7d2bb, 15);
        MD5STEP(F4, b, c, d, a, x9, 0xeb86d391, 21);

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    A = a;
    B = b;
    C = c;
    D = d;
}

void TMessageDigest5::AddData(const void* data, unsigned length) noexcept
{
    if (length == 0)
        return;
    auto p = static_cast<const u8*>(data);
    const unsigned used = (FBitsLow >> 3) & (BLOCKSIZE - 1);

    // 64-bit bit count: length * 8 into the low word with its carry, the top bits of
    // length into the high word.
    const u32 low = FBitsLow + (static_cast<u32>(length) << 3);
    if (low < FBitsLow)
        ++FBitsHigh;
    FBitsLow = low;
    FBitsHigh += static_cast<u32>(length) >> 29;
    FDataAdded = true;

    std::size_t n = length;
    if (used != 0) {
        const std::size_t room = BLOCKSIZE - used;
        if (n < room) {
            std::memcpy(FBuffer + used, p, n);
            return;
        }
        std::memcpy(FBuffer + used, p, room);
        Transform(FBuffer, 1);
        p += room;
        n -= room;
    }
    if (n >= BLOCKSIZE) {
        Transform(p, n / BLOCKSIZE);
        p += n & ~std::size_t(BLOCKSIZE - 1);
        n &= BLOCKSIZE - 1;
    }
    if (n != 0)
        std::memcpy(FBuffer, p, n);
}

void TMessageDigest5::FinalDigest(void* digest) noexcept
{
    if (!FDataAdded)
        return;
    const u32 bitsLow = FBitsLow, bitsHigh = FBitsHigh;
    unsigned used = (bitsLow >> 3) & (BLOCKSIZE - 1);
    FBuffer[used++] = 0x80;
    if (used > BLOCKSIZE - 8) {
        std::memset(FBuffer + used, 0, BLOCKSIZE - used);
        Transform(FBuffer, 1);
        used = 0;
    }
    std::memset(FBuffer + used, 0, BLOCKSIZE - 8 - used);
    StoreLE(FBuffer + 56, bitsLow);
    StoreLE(FBuffer + 60, bitsHigh);
    Transform(FBuffer, 1);

    u8 out[HashSize];
    StoreLE(out + 0, A);
    StoreLE(out + 4, B);
    StoreLE(out + 8, C);
    StoreLE(out + 12, D);
    std::memcpy(digest, out, HashSize);
    Reset();
}

#undef MD5STEP
#undef MD5STEP2

} // namespace fk
