// Fuzzes the protocol-2 stream scanner against the plain reference scanner.
// Input: u16 start position, u16 data length limit (xor 256), then the received bytes.
#include "ReferenceScan.h"
#include "protocol/KestPacket2.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fk::fuzz::CheckScanner<fk::TKestPacket2>(data, size);
    return 0;
}
