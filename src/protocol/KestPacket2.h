#pragma once
// A protocol-2 packet object, and the scanner that finds protocol-2 packets in received bytes.
#include "protocol/KestPacket.h"
#include "protocol/KestPacketHeader2.h"

namespace fk {

class TKestPacket2 : public TKestPacket {
public:
    using Header_t = KestPacketHeader2_t_;

    // The default packet: 55 FF 00 00 0A 00 00 00 00 00 (code 0xFF, nodes 0, length 10).
    TKestPacket2() noexcept;
    // Exactly the header's bytes, length field as given.
    explicit TKestPacket2(const Header_t& header) noexcept;
    // The header with dataLength bytes from data behind it and its data length set; with more
    // than 65525 bytes, or no data where some are announced, the header alone.
    TKestPacket2(const Header_t& header, const void* data, unsigned dataLength) noexcept;
    // Adopts a raw packet: a copy of exactly the packet's length (the 16-bit length field) when
    // that many bytes are there and they hold at least a header; otherwise the default packet.
    TKestPacket2(const void* packet, unsigned size) noexcept;

    bool IsCheckSumValid() const override;
    bool IsValid() const override;
    void CheckSumNegCalc() override;
    void CreateKey() override;
    void PrepareSend() override;
    bool PrepareSend(TByteString& out) const override;
    void RetreiveData() override;
    unsigned RetreiveData(void* out, unsigned size) override;

    // The header, or null when the buffer holds less than one.
    Header_t* GetHeader() noexcept { return Header<Header_t>(); }
    const Header_t* GetHeader() const noexcept { return Header<Header_t>(); }

    // Looks for the first good protocol-2 packet in buffer[pos, size) without changing it.
    // True with pos at the packet and packetLength its length; false with the last error
    // saying why (ERROR_PACKET_*; 87 without a buffer), pos and packetLength then describing
    // the last candidate seen (pos unchanged and packetLength 0 when there was none).
    static bool RetreivePacket(const void* buffer, unsigned size, unsigned& pos,
                               unsigned maxDataLength, unsigned& packetLength) noexcept;
};

} // namespace fk
