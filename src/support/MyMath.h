#pragma once
// Rounding with a selectable method, byte-block compare and sums,
// hexadecimal digit conversion. No state; safe from any thread.
#include "platform/Types.h"

#include <cstdint>

namespace fk::MyMath {

// One-byte rounding selector (values as numbers, no further names):
//  0 down (floor)                 1 up (ceiling)
//  2 towards zero                 3 away from zero
//  4 nearest, halves towards zero 5 nearest, halves away from zero
//  6 and above: nearest, halves upwards (floor(x + 0.5))
using FloatRoundMethod_ = std::uint8_t;

// An integral value in the argument's type.
float floatroundf(float x, FloatRoundMethod_ method) noexcept;
double floatround(double x, FloatRoundMethod_ method) noexcept;
long double floatroundl(long double x, FloatRoundMethod_ method) noexcept;

// The n bytes at a and b are equal (compared four at a time, then the remaining bytes).
bool memeq(const void* a, const void* b, unsigned n) noexcept;
// All n bytes are 0 (true for n = 0).
bool memempty(const void* p, unsigned n) noexcept;
// Sum of the bytes as unsigned values, 32-bit, wrapping.
u32 memsum(const void* p, unsigned n) noexcept;
// Sum of the bytes as signed values (-128..127), 32-bit, wrapping.
std::int32_t memsums(const void* p, unsigned n) noexcept;

// '0'..'9' -> 0..9, 'A'..'F' / 'a'..'f' -> 10..15, anything else -> def.
unsigned char HexCharToIntDef(char c, unsigned char def) noexcept;
// v < 10 -> '0' + v; 10..15 -> 'A'..'F' (upper) or 'a'..'f'; v > 15 -> def.
char IntToHexCharDef(unsigned char v, char def, bool upper) noexcept;

} // namespace fk::MyMath
