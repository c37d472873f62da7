#include "support/BitOrder.h"
#include "support/MyMath.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

using namespace fk;
using namespace fk::MyMath;

TEST(MyMathRound, DesignEdgeCases)
{
    EXPECT_EQ(floatround(2.5, 4), 2.0);
    EXPECT_EQ(floatround(2.5, 5), 3.0);
    EXPECT_EQ(floatround(-2.5, 5), -3.0);
    EXPECT_EQ(floatround(-2.5, 6), -2.0);
    EXPECT_EQ(floatround(-2.7, 2), -2.0);
}

TEST(MyMathRound, EveryMethod)
{
    struct Row {
        double x;
        double expect[7]; // methods 0..6
    };
    const Row rows[] = {
        //        down  up   zero away  n-tz  n-az  n-up
        {2.5, {2, 3, 2, 3, 2, 3, 3}},
        {-2.5, {-3, -2, -2, -3, -2, -3, -2}},
        {2.4, {2, 3, 2, 3, 2, 2, 2}},
        {2.6, {2, 3, 2, 3, 3, 3, 3}},
        {-2.4, {-3, -2, -2, -3, -2, -2, -2}},
        {-2.6, {-3, -2, -2, -3, -3, -3, -3}},
        {0.5, {0, 1, 0, 1, 0, 1, 1}},
        {-0.5, {-1, 0, 0, -1, 0, -1, 0}},
        {3, {3, 3, 3, 3, 3, 3, 3}},
        {-3, {-3, -3, -3, -3, -3, -3, -3}},
        {0, {0, 0, 0, 0, 0, 0, 0}},
        {1.5, {1, 2, 1, 2, 1, 2, 2}},
        {-1.5, {-2, -1, -1, -2, -1, -2, -1}},
    };
    for (const Row& r : rows) {
        for (int m = 0; m <= 6; ++m) {
            SCOPED_TRACE(testing::Message() << "x=" << r.x << " method=" << m);
            EXPECT_EQ(floatround(r.x, static_cast<FloatRoundMethod_>(m)), r.expect[m]);
            EXPECT_EQ(floatroundf(static_cast<float>(r.x), static_cast<FloatRoundMethod_>(m)),
                      static_cast<float>(r.expect[m]));
            EXPECT_EQ(floatroundl(static_cast<long double>(r.x), static_cast<FloatRoundMethod_>(m)),
                      static_cast<long double>(r.expect[m]));
        }
    }
}

TEST(MyMathRound, MethodsAboveSixRoundHalvesUp)
{
    for (int m : {7, 100, 255}) {
        EXPECT_EQ(floatround(-2.5, static_cast<FloatRoundMethod_>(m)), -2.0);
        EXPECT_EQ(floatround(2.5, static_cast<FloatRoundMethod_>(m)), 3.0);
        EXPECT_EQ(floatround(2.49, static_cast<FloatRoundMethod_>(m)), 2.0);
    }
}

TEST(MyMathRound, NoErrorFromAddingAHalf)
{
    // The largest double below 0.5: x + 0.5 rounds to 1 in double arithmetic.
    const double justBelowHalf = std::nextafter(0.5, 0.0);
    EXPECT_EQ(floatround(justBelowHalf, 6), 0.0);
    EXPECT_EQ(floatround(justBelowHalf, 5), 0.0);
    EXPECT_EQ(floatround(-justBelowHalf, 5), 0.0);
    EXPECT_EQ(floatround(std::nextafter(2.5, 3.0), 4), 3.0);
    // Large integral values are left alone; infinities too.
    EXPECT_EQ(floatround(4503599627370497.0, 6), 4503599627370497.0);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(floatround(inf, 6), inf);
    EXPECT_EQ(floatround(-inf, 4), -inf);
    EXPECT_TRUE(std::isnan(floatround(std::nan(""), 5)));
}

TEST(MyMathBlocks, MemEq)
{
    std::vector<unsigned char> a(37), b;
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] = static_cast<unsigned char>(i * 7 + 1);
    b = a;
    for (unsigned n = 0; n <= a.size(); ++n)
        EXPECT_TRUE(memeq(a.data(), b.data(), n)) << n;
    // A difference in every position, in the four-byte part and in the tail, is found;
    // bytes beyond n are not looked at.
    for (std::size_t i = 0; i < a.size(); ++i) {
        b = a;
        b[i] ^= 0x80;
        for (unsigned n = 0; n <= a.size(); ++n)
            EXPECT_EQ(memeq(a.data(), b.data(), n), n <= i) << i << " " << n;
    }
    // Unaligned starts.
    EXPECT_TRUE(memeq(a.data() + 1, b.data() + 1, 0));
    b = a;
    EXPECT_TRUE(memeq(a.data() + 3, b.data() + 3, 30));
}

TEST(MyMathBlocks, MemEmpty)
{
    std::vector<unsigned char> z(21, 0);
    EXPECT_TRUE(memempty(z.data(), 0));
    EXPECT_TRUE(memempty(nullptr, 0));
    EXPECT_TRUE(memempty(z.data(), 21));
    for (std::size_t i = 0; i < z.size(); ++i) {
        z[i] = 1;
        EXPECT_FALSE(memempty(z.data(), 21)) << i;
        EXPECT_TRUE(memempty(z.data(), static_cast<unsigned>(i)));
        z[i] = 0;
    }
}

TEST(MyMathBlocks, MemSums)
{
    const unsigned char bytes[] = {0x01, 0xFF, 0x80, 0x7F, 0x00};
    EXPECT_EQ(memsum(bytes, 5), 1u + 255u + 128u + 127u);
    EXPECT_EQ(memsums(bytes, 5), 1 - 1 - 128 + 127);
    EXPECT_EQ(memsum(bytes, 0), 0u);
    EXPECT_EQ(memsums(bytes, 0), 0);
    std::vector<unsigned char> ff(1000, 0xFF);
    EXPECT_EQ(memsum(ff.data(), 1000), 255000u);
    EXPECT_EQ(memsums(ff.data(), 1000), -1000);
    std::vector<unsigned char> m(100, 0x80);
    EXPECT_EQ(memsums(m.data(), 100), -12800);
}

TEST(MyMathHex, Digits)
{
    const char* digits = "0123456789ABCDEF";
    const char* lower = "0123456789abcdef";
    for (unsigned char v = 0; v < 16; ++v) {
        EXPECT_EQ(HexCharToIntDef(digits[v], 255), v);
        EXPECT_EQ(HexCharToIntDef(lower[v], 255), v);
        EXPECT_EQ(IntToHexCharDef(v, '?', true), digits[v]);
        EXPECT_EQ(IntToHexCharDef(v, '?', false), lower[v]);
    }
    EXPECT_EQ(HexCharToIntDef('g', 255), 255);
    EXPECT_EQ(HexCharToIntDef('G', 7), 7);
    EXPECT_EQ(HexCharToIntDef(' ', 0), 0);
    EXPECT_EQ(HexCharToIntDef('/', 1), 1);
    EXPECT_EQ(HexCharToIntDef(':', 1), 1);
    EXPECT_EQ(HexCharToIntDef('@', 1), 1);
    EXPECT_EQ(HexCharToIntDef('\xC3', 1), 1);
    EXPECT_EQ(IntToHexCharDef(11, '?', false), 'b');
    EXPECT_EQ(IntToHexCharDef(11, '?', true), 'B');
    EXPECT_EQ(IntToHexCharDef(16, '?', true), '?');
    EXPECT_EQ(IntToHexCharDef(255, 'z', false), 'z');
}

TEST(BitOrder, DesignEdgeCases)
{
    EXPECT_EQ(BitOrder::revbit8(1), 128);
    EXPECT_EQ(BitOrder::revbyte32(0x11223344u), 0x44332211u);
}

TEST(BitOrder, AgainstBitByBit)
{
    std::mt19937_64 rng(12345);
    auto slow = [](u64 v, int width) {
        u64 r = 0;
        for (int i = 0; i < width; ++i)
            if (v >> i & 1)
                r |= u64(1) << (width - 1 - i);
        return r;
    };
    for (int k = 0; k < 2000; ++k) {
        const u64 v = rng();
        EXPECT_EQ(BitOrder::revbit8(static_cast<u8>(v)), slow(v & 0xFF, 8));
        EXPECT_EQ(BitOrder::revbit16(static_cast<u16>(v)), slow(v & 0xFFFF, 16));
        EXPECT_EQ(BitOrder::revbit32(static_cast<u32>(v)), slow(v & 0xFFFFFFFF, 32));
        EXPECT_EQ(BitOrder::revbit64(v), slow(v, 64));
    }
    EXPECT_EQ(BitOrder::revbit16(0x0001), 0x8000);
    EXPECT_EQ(BitOrder::revbit32(0x00000003u), 0xC0000000u);
    EXPECT_EQ(BitOrder::revbit64(1), 0x8000000000000000ull);
    EXPECT_EQ(BitOrder::revbyte64(0x0102030405060708ull), 0x0807060504030201ull);
    EXPECT_EQ(BitOrder::revbyte32(0), 0u);
}
