#include "protocol/KestPacket1.h"

namespace fk {

TKestPacket1::TKestPacket1() noexcept { CreatePacket<Header_t>(); }

TKestPacket1::TKestPacket1(const Header_t& header) noexcept { CreatePacket<Header_t>(header); }

TKestPacket1::TKestPacket1(const Header_t& header, const void* data, unsigned dataLength) noexcept
{
    CreatePacket<Header_t>(header, data, dataLength);
}

TKestPacket1::TKestPacket1(const void* packet, unsigned size) noexcept
{
    CreatePacket<Header_t>(packet, size);
}

bool TKestPacket1::IsCheckSumValid() const { return _CheckSumValid<Header_t>(); }
bool TKestPacket1::IsValid() const { return _IsValid<Header_t>(); }
void TKestPacket1::CheckSumNegCalc() { _CheckSumNegCalc<Header_t>(); }
void TKestPacket1::CreateKey() { _CreateKey<Header_t>(); }
void TKestPacket1::PrepareSend() { _PrepareSend<Header_t>(); }
bool TKestPacket1::PrepareSend(TByteString& out) const { return _PrepareSend<Header_t>(out); }
void TKestPacket1::RetreiveData() { _RetreiveData<Header_t>(); }
unsigned TKestPacket1::RetreiveData(void* out, unsigned size) { return _RetreiveData<Header_t>(out, size); }

bool TKestPacket1::RetreivePacket(const void* buffer, unsigned size, unsigned& pos,
                                   unsigned maxDataLength, unsigned& packetLength) noexcept
{
    return _RetreivePacket<Header_t>(buffer, size, pos, maxDataLength, packetLength);
}

} // namespace fk
