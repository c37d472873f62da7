#pragma once
// A protocol-1 packet object, and the scanner that finds protocol-1 packets in received bytes.
#include "protocol/KestPacket.h"
#include "protocol/KestPacketHeader1.h"

namespace fk {

class TKestPacket1 : public TKestPacket {
public:
    using Header_t = KestPacketHeader1_t_;

    // The default packet: 55 00 00 00 00 00.
    TKestPacket1() noexcept;
    // Exactly the header's bytes, length field as given.
    explicit TKestPacket1(const Header_t& header) noexcept;
    // The header with dataLength bytes from data behind it and its data length set; with more
    // than 1023 bytes, or no data where some are announced, the header alone.
    TKestPacket1(const Header_t& header, const void* data, unsigned dataLength) noexcept;
    // Adopts a raw packet: a copy of exactly the packet's length (data length + 6) when
    // that many bytes are there and they hold at least a header; otherwise the default packet.
    TKestPacket1(const void* packet, unsigned size) noexcept;

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

    // Looks for the first good protocol-1 packet in buffer[pos, size) without changing it.
    // True with pos at the packet and packetLength its length; false with the last error
    // saying why (ERROR_PACKET_*; 87 without a buffer), pos and packetLength then describing
    // the last candidate seen (pos unchanged and packetLength 0 when there was none).
    static bool RetreivePacket(const void* buffer, unsigned size, unsigned& pos,
                               unsigned maxDataLength, unsigned& packetLength) noexcept;
};

} // namespace fk
