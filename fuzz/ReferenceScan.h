#pragma once
// A plain, byte-by-byte scanner written straight from the scanning rule, without memchr or
// vector sums: the fuzz targets check the real scanners against it, result for result.
#include "platform/LastError.h"
#include "protocol/KestPacket.h"

#include <cstdint>
#include <cstdlib>

namespace fk::fuzz {

struct ScanResult {
    bool found;
    unsigned pos, length;
    DWORD code;
    bool operator==(const ScanResult&) const = default;
};

template <unsigned HeaderSize>
ScanResult ReferenceScan(const std::uint8_t* b, unsigned size, unsigned pos, unsigned maxDataLength)
{
    ScanResult r{false, pos, 0, ERROR_PACKET_NO_DATA};
    if (size < HeaderSize)
        return r;
    for (unsigned i = pos; i + HeaderSize <= size; ++i) {
        unsigned length = 0;
        bool start = b[i] == 0x55;
        if (HeaderSize == 6) {
            length = ((b[i + 1] & 3u) << 8 | b[i + 3]) + 6;
        } else {
            length = b[i + 4] | b[i + 5] << 8;
            start = start && length >= 10;
        }
        if (!start) {
            if (r.code != ERROR_PACKET_INCOMPLETE)
                r.code = ERROR_PACKET_UNRECOGNIZED;
            continue;
        }
        r.pos = i;
        r.length = length;
        const unsigned dataLength = length > HeaderSize ? length - HeaderSize : 0;
        if (size - i >= length && dataLength <= maxDataLength) {
            std::uint8_t sum = 0;
            for (unsigned k = 0; k < length; ++k)
                sum = static_cast<std::uint8_t>(sum + b[i + k]);
            if (sum == 0) {
                r.found = true;
                r.code = ERROR_SUCCESS;
                return r;
            }
            r.code = ERROR_PACKET_CHECKSUM;
        } else {
            r.code = ERROR_PACKET_INCOMPLETE;
        }
    }
    return r;
}

// Scans like the packet connection: from pos on, packet after packet, and checks each call
// against the reference. Every packet found must also be adopted whole by the raw-packet
// constructor and be valid there.
template <class Packet>
void CheckScanner(const std::uint8_t* data, std::size_t size)
{
    constexpr unsigned H = Packet::Header_t::DataOffset;
    if (size < 4)
        return;
    unsigned pos = data[0] | data[1] << 8;
    const unsigned maxDataLength = (data[2] | data[3] << 8) ^ 0x100; // 256 for the zero pair
    const std::uint8_t* b = data + 4;
    const unsigned n = static_cast<unsigned>(size - 4);
    pos %= n + 2;
    for (int round = 0; round < 64; ++round) {
        unsigned p = pos, length = 0xDEAD;
        const bool found = Packet::RetreivePacket(b, n, p, maxDataLength, length);
        const ScanResult got{found, p, length, GetLastError()};
        const ScanResult want = ReferenceScan<H>(b, n, pos, maxDataLength);
        if (!(got == want))
            std::abort();
        if (!found)
            break;
        Packet adopted(b + p, n - p);
        if (adopted.GetPacketBuffer().size() != length || !adopted.IsValid())
            std::abort();
        pos = p + length;
    }
}

} // namespace fk::fuzz
