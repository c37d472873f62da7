#pragma once
// Small helpers shared by the protocol tests.
#include "platform/Types.h"

#include <random>
#include <string>

namespace fk::test {

inline TByteString Hex(const std::string& text)
{
    TByteString out;
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<u8>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline TByteString RandomBytes(std::mt19937& rng, std::size_t n)
{
    TByteString out(n);
    for (auto& b : out)
        b = static_cast<u8>(rng());
    return out;
}

} // namespace fk::test
