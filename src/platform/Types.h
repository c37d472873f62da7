#pragma once
// The shared value types.
//  - Text (user-visible text, port names, host names) is UTF-8 in std::string: String.
//  - AnsiString: 8-bit text on the module link (module names, SSIDs, pass phrases).
//  - RawByteString: bytes in a string, as read by ReadExisting and accepted by SendData.
//  - TByteString: a growable byte array (packet buffers, queues, read buffers, payloads).
#include <cstdint>
#include <string>
#include <vector>

namespace fk {

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using TBool8 = std::uint8_t;

using String = std::string;
using AnsiString = std::string;
using RawByteString = std::string;
using TByteString = std::vector<std::uint8_t>;

} // namespace fk
