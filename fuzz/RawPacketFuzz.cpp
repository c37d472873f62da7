// Fuzzes the packet constructors and every packet operation on what they build.
// Input: one control byte (bit 0: protocol 2; bits 1..7: how many bytes of the rest to cut
// off the end, to make truncated blocks), then a raw block.
#include "protocol/KestPacket1.h"
#include "protocol/KestPacket2.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

template <class Packet>
void Exercise(Packet& p)
{
    using H = typename Packet::Header_t;
    const fk::TByteString plainBytes = p.GetPacketBuffer();
    const bool whole = plainBytes.size() >= H::DataOffset
        && reinterpret_cast<const H*>(plainBytes.data())->GetPacketLength() <= plainBytes.size();

    fk::TByteString wire;
    const bool sent = p.PrepareSend(wire);
    if (p.GetPacketBuffer() != plainBytes) // sending a copy never changes the packet
        std::abort();
    if (sent != whole)
        std::abort();
    if (sent) {
        Packet rx(wire.data(), static_cast<unsigned>(wire.size()));
        const H* h = reinterpret_cast<const H*>(plainBytes.data());
        // What was sent comes back whole, correct and, unscrambled, with the same data.
        if (h->IsValid() && h->GetPacketLength() >= H::DataOffset) {
            if (!rx.IsValid() || rx.GetPacketBuffer().size() != h->GetPacketLength())
                std::abort();
            std::vector<std::uint8_t> back(h->GetDataLength() + 1u, 0);
            const unsigned got = rx.RetreiveData(back.data(), static_cast<unsigned>(back.size()));
            if (got != h->GetDataLength()
                || std::memcmp(back.data(), plainBytes.data() + H::DataOffset, got) != 0)
                std::abort();
        }
    }
    p.IsCheckSumValid();
    p.IsValid();
    std::uint8_t small[7];
    p.RetreiveData(small, sizeof small);
    p.CreateKey();
    p.PrepareSend();
    p.CheckSumNegCalc();
    p.RetreiveData();
}

template <class Packet>
void Run(const std::uint8_t* raw, unsigned size)
{
    using H = typename Packet::Header_t;
    Packet adopted(raw, size);
    if (adopted.GetPacketBuffer().size() < H::DataOffset)
        std::abort();
    Exercise(adopted);
    if (size >= H::DataOffset) {
        H header;
        std::memcpy(&header, raw, sizeof header);
        Packet headerOnly(header); // the length field may announce bytes that are not there
        Exercise(headerOnly);
        Packet withData(header, raw + H::DataOffset, size - H::DataOffset);
        Exercise(withData);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 70000)
        return 0;
    const unsigned cut = data[0] >> 1;
    const unsigned n = static_cast<unsigned>(size - 1);
    const unsigned len = n > cut ? n - cut : 0;
    if (data[0] & 1)
        Run<fk::TKestPacket2>(data + 1, len);
    else
        Run<fk::TKestPacket1>(data + 1, len);
    return 0;
}
