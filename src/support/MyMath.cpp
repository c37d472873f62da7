#include "support/MyMath.h"

#include <cmath>
#include <cstring>

namespace fk::MyMath {

namespace {

// The table's formulas, evaluated without the rounding error of x + 0.5 / x - 0.5:
// the distance of x from floor(x) (or ceil(x)) is exact in every floating type, so
// comparing it with one half decides "nearest" exactly (floor(0.49999999999999994 + 0.5)
// would give 1 in double arithmetic; here it gives 0 as the formula means).
template <typename T>
T RoundUp(T x) // nearest, halves upwards: floor(x + 0.5)
{
    const T f = std::floor(x);
    return (x - f >= T(0.5)) ? f + T(1) : f;
}

template <typename T>
T RoundDown(T x) // nearest, halves downwards: ceil(x - 0.5)
{
    const T c = std::ceil(x);
    return (c - x >= T(0.5)) ? c - T(1) : c;
}

template <typename T>
T Round(T x, FloatRoundMethod_ method)
{
    switch (method) {
    case 0:
        return std::floor(x);
    case 1:
        return std::ceil(x);
    case 2:
        return std::trunc(x);
    case 3:
        return x >= T(0) ? std::ceil(x) : std::floor(x);
    case 4: // halves towards zero
        return x >= T(0) ? RoundDown(x) : RoundUp(x);
    case 5: // halves away from zero
        return x >= T(0) ? RoundUp(x) : RoundDown(x);
    default: // 6 and above: halves upwards
        return RoundUp(x);
    }
}

} // namespace

float floatroundf(float x, FloatRoundMethod_ method) noexcept
{
    return Round(x, method);
}

double floatround(double x, FloatRoundMethod_ method) noexcept
{
    return Round(x, method);
}

long double floatroundl(long double x, FloatRoundMethod_ method) noexcept
{
    return Round(x, method);
}

bool memeq(const void* a, const void* b, unsigned n) noexcept
{
    auto pa = static_cast<const unsigned char*>(a);
    auto pb = static_cast<const unsigned char*>(b);
    for (; n >= 4; n -= 4, pa += 4, pb += 4) {
        std::uint32_t wa, wb;
        std::memcpy(&wa, pa, 4);
        std::memcpy(&wb, pb, 4);
        if (wa != wb)
            return false;
    }
    for (; n != 0; --n)
        if (*pa++ != *pb++)
            return false;
    return true;
}

bool memempty(const void* p, unsigned n) noexcept
{
    auto q = static_cast<const unsigned char*>(p);
    for (; n >= 4; n -= 4, q += 4) {
        std::uint32_t w;
        std::memcpy(&w, q, 4);
        if (w != 0)
            return false;
    }
    for (; n != 0; --n)
        if (*q++ != 0)
            return false;
    return true;
}

u32 memsum(const void* p, unsigned n) noexcept
{
    auto q = static_cast<const unsigned char*>(p);
    u32 sum = 0;
    for (unsigned i = 0; i < n; ++i)
        sum += q[i];
    return sum;
}

std::int32_t memsums(const void* p, unsigned n) noexcept
{
    auto q = static_cast<const signed char*>(p);
    u32 sum = 0; // unsigned accumulator: wraps without undefined behaviour
    for (unsigned i = 0; i < n; ++i)
        sum += static_cast<u32>(static_cast<std::int32_t>(q[i]));
    return static_cast<std::int32_t>(sum);
}

unsigned char HexCharToIntDef(char c, unsigned char def) noexcept
{
    if (c >= '0' && c <= '9')
        return static_cast<unsigned char>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<unsigned char>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<unsigned char>(c - 'a' + 10);
    return def;
}

char IntToHexCharDef(unsigned char v, char def, bool upper) noexcept
{
    if (v < 10)
        return static_cast<char>('0' + v);
    if (v < 16)
        return static_cast<char>((upper ? 'A' : 'a') + (v - 10));
    return def;
}

} // namespace fk::MyMath
