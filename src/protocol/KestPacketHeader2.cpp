#include "protocol/KestPacketHeader2.h"

#include "protocol/ByteSum.h"
#include "protocol/KeyDraw.h"

#include <algorithm>

namespace fk {

void KestPacketHeader2_t_::Initialize(TDevType2 source, TDevType2 destination, TDevContext2 code,
                                      unsigned short packetLength) noexcept
{
    Start = StartConstant;
    Msg.Initialize(source, destination, code);
    SetPacketLength(packetLength);
    Reserved = 0;
    Match = 0;
    Key = 0;
    CheckSum = 0;
}

u8 KestPacketHeader2_t_::CheckSumCalc() const noexcept
{
    return ByteSum8(this, GetPacketLength());
}

void KestPacketHeader2_t_::CreateKey() noexcept
{
    Key = DrawKey(Key_MIN, Key_MAX);
}

// Scrambling: the chaining byte k starts as the key and then is the previous scrambled byte;
// the mask is 179 * k + 107 + i (mod 256, i the byte's index in the block); a scrambled byte
// is the plain byte XOR the mask, rotated right by one bit.
namespace {
inline u8 Mask(u8 k, unsigned i) noexcept { return static_cast<u8>(179u * k + 107u + i); }
inline u8 Ror1(u8 v) noexcept { return static_cast<u8>(v >> 1 | v << 7); }
inline u8 Rol1(u8 v) noexcept { return static_cast<u8>(v << 1 | v >> 7); }
} // namespace

void KestPacketHeader2_t_::Encode(void* dst, const void* src, unsigned n, unsigned char key) noexcept
{
    if (!dst || !src)
        return;
    u8* d = static_cast<u8*>(dst);
    const u8* s = static_cast<const u8*>(src);
    u8 k = key;
    for (unsigned i = 0; i < n; ++i) {
        const u8 c = Ror1(static_cast<u8>(s[i] ^ Mask(k, i)));
        d[i] = c;
        k = c;
    }
}

void KestPacketHeader2_t_::Decode(void* dst, const void* src, unsigned n, unsigned char key) noexcept
{
    if (!dst || !src)
        return;
    u8* d = static_cast<u8*>(dst);
    const u8* s = static_cast<const u8*>(src);
    u8 k = key;
    for (unsigned i = 0; i < n; ++i) {
        const u8 c = s[i];
        d[i] = static_cast<u8>(Rol1(c) ^ Mask(k, i));
        k = c;
    }
}

void KestPacketHeader2_t_::PrepareSend() noexcept
{
    CreateKey();
    Encode();
    Start = StartConstant;
    CheckSumNegCalc();
}

unsigned KestPacketHeader2_t_::RetreiveData(void* out, unsigned outSize) const noexcept
{
    if (!out)
        return 0;
    const unsigned n = std::min<unsigned>(GetDataLength(), outSize);
    Decode(out, Data(), n, Key);
    return n;
}

// A reply matches its request when it is a valid packet with the request's reply-match byte
// and message code, is addressed to the request's source (or to anyone, 0), and comes from
// the request's destination (or the request went to anyone, 0). Lengths and checksums are
// the receiver's business and are not looked at here.
bool KestPacketHeader2_t_::IsReplyValid(const KestPacketHeader2_t_& request) const noexcept
{
    return IsValid() && Match == request.Match && Msg.Code == request.Msg.Code
        && (Msg.Dev.Destination == 0 || Msg.Dev.Destination == request.Msg.Dev.Source)
        && (request.Msg.Dev.Destination == 0 || request.Msg.Dev.Destination == Msg.Dev.Source);
}

bool KestPacketHeader2_t_::IsPacketExpected(KestPacketMsgS2_t_* expected) const noexcept
{
    if (!IsValid())
        return false;
    if (expected && Msg.Dev.Source < Msg.Dev.Destination)
        expected->Initialize(Msg.Dev.Destination, Msg.Code);
    return true;
}

} // namespace fk
