#include "protocol/KestPacket2.h"

namespace fk {

TKestPacket2::TKestPacket2() noexcept { CreatePacket<Header_t>(); }

TKestPacket2::TKestPacket2(const Header_t& header) noexcept { CreatePacket<Header_t>(header); }

TKestPacket2::TKestPacket2(const Header_t& header, const void* data, unsigned dataLength) noexcept
{
    CreatePacket<Header_t>(header, data, dataLength);
}

TKestPacket2::TKestPacket2(const void* packet, unsigned size) noexcept
{
    CreatePacket<Header_t>(packet, size);
}

bool TKestPacket2::IsCheckSumValid() const { return _CheckSumValid<Header_t>(); }
bool TKestPacket2::IsValid() const { return _IsValid<Header_t>(); }
void TKestPacket2::CheckSumNegCalc() { _CheckSumNegCalc<Header_t>(); }
void TKestPacket2::CreateKey() { _CreateKey<Header_t>(); }
void TKestPacket2::PrepareSend() { _PrepareSend<Header_t>(); }
bool TKestPacket2::PrepareSend(TByteString& out) const { return _PrepareSend<Header_t>(out); }
void TKestPacket2::RetreiveData() { _RetreiveData<Header_t>(); }
unsigned TKestPacket2::RetreiveData(void* out, unsigned size) { return _RetreiveData<Header_t>(out, size); }

bool TKestPacket2::RetreivePacket(const void* buffer, unsigned size, unsigned& pos,
                                   unsigned maxDataLength, unsigned& packetLength) noexcept
{
    return _RetreivePacket<Header_t>(buffer, size, pos, maxDataLength, packetLength);
}

} // namespace fk
