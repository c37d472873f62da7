#include "protocol/KestPacketHeader1.h"

#include "protocol/ByteSum.h"
#include "protocol/KeyDraw.h"

#include <algorithm>
#include <cstring>

namespace fk {

// The chaining bytes of both scrambling schemes, indexed by the whole of header byte 1.
// Part of our wire format: a peer must use the same table. It was made once, and is checked
// in as a constant, by this recipe (a test rebuilds it and compares):
//   start from t[i] = i for i = 0..255;
//   SplitMix64 with the seed 0x466572726F76616E ("Ferrovan" in ASCII):
//     state += 0x9E3779B97F4A7C15; z = state;
//     z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9; z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
//     next = z ^ (z >> 31)   (all mod 2^64);
//   for i = 255 down to 1: j = next % (i + 1); swap t[i] and t[j].
// The result is a permutation of 0..255, so every index gives a different chaining byte.
const u8 KestPacketHeader1_t_::KeyTranslator[256] = {
    0x08, 0x2B, 0x51, 0x56, 0xC0, 0x02, 0x37, 0x1C, 0x98, 0x1E, 0x0F, 0x9B, 0x5A, 0x18, 0x94, 0x88,
    0xE3, 0xDC, 0x4E, 0xD8, 0x4A, 0xE9, 0x85, 0x7A, 0xB4, 0xAB, 0x8F, 0xC3, 0x87, 0xC6, 0x12, 0x7C,
    0x44, 0xD2, 0x03, 0xB3, 0x99, 0x7B, 0x16, 0xCC, 0xEB, 0x96, 0xC9, 0x25, 0x7E, 0x04, 0xA5, 0x6A,
    0xC1, 0x8B, 0x54, 0x6B, 0x5F, 0x10, 0xD7, 0xA7, 0xE1, 0xBA, 0xEE, 0x6D, 0x71, 0x72, 0x17, 0xA9,
    0x84, 0xFF, 0x0C, 0x89, 0x75, 0x2F, 0x6C, 0x21, 0x46, 0x58, 0xA2, 0x29, 0xF1, 0xC8, 0xD9, 0xAA,
    0xD4, 0x36, 0xC2, 0xB8, 0xCB, 0xF3, 0x6F, 0xD0, 0xF5, 0x41, 0x01, 0xF8, 0xDF, 0x80, 0xFD, 0x7D,
    0x8E, 0x55, 0x3C, 0x64, 0xA0, 0x9F, 0x77, 0xD6, 0xF9, 0x35, 0x60, 0xFC, 0xBF, 0x3D, 0xBC, 0xE5,
    0x9E, 0x32, 0x2C, 0x97, 0xE8, 0x0D, 0xE0, 0xB1, 0x40, 0xBE, 0x1F, 0x4C, 0xBD, 0x9A, 0x2A, 0x59,
    0xFE, 0x24, 0xF6, 0x3A, 0x5E, 0x20, 0xE2, 0x6E, 0x06, 0xC4, 0x79, 0x19, 0x15, 0x5C, 0x53, 0x07,
    0xBB, 0x14, 0xED, 0xB9, 0x2D, 0x3E, 0x91, 0xEA, 0x74, 0xA3, 0x5D, 0x34, 0xD1, 0x0A, 0x1D, 0xFA,
    0xB5, 0xE4, 0x4D, 0x57, 0x43, 0x76, 0x27, 0xAE, 0x49, 0x39, 0xCF, 0xAD, 0x13, 0x30, 0xE7, 0x68,
    0x61, 0x3B, 0x4B, 0x26, 0x11, 0x52, 0xB0, 0x70, 0xE6, 0xEF, 0x23, 0x8A, 0x65, 0x90, 0x1A, 0xEC,
    0x81, 0x50, 0xDD, 0xA4, 0x28, 0xDE, 0x05, 0x73, 0xF0, 0x22, 0x8C, 0xD5, 0xF2, 0xAC, 0x09, 0x47,
    0xDA, 0xC7, 0x82, 0x42, 0xAF, 0xA1, 0x3F, 0xCA, 0xB7, 0xD3, 0xC5, 0x62, 0x66, 0xFB, 0x33, 0x31,
    0x38, 0x5B, 0x78, 0x1B, 0x86, 0x67, 0x95, 0xB6, 0x92, 0x4F, 0x83, 0xA6, 0x0E, 0xDB, 0x69, 0xCE,
    0xA8, 0x45, 0x63, 0x0B, 0xF7, 0x00, 0x8D, 0x2E, 0x9C, 0xB2, 0x48, 0x93, 0xCD, 0xF4, 0x7F, 0x9D,
};

// --- device byte and message identity ---

void KestPacketDev1_t_::Initialize(TDevType1 type, TBool8 flag1, TDevContext1 context) noexcept
{
    Initialize(type, flag1, 0, context);
}

void KestPacketDev1_t_::Initialize(TDevType1 type, TBool8 flag1, TBool8 flag2,
                                   TDevContext1 context) noexcept
{
    Value = static_cast<u8>((type & 7u) << 5 | (flag2 ? 1u : 0u) << 4 | (context & 7u) << 1
                            | (flag1 ? 1u : 0u));
}

void KestPacketMsg1_t_::Initialize(TDevType1 type, TBool8 flag1, TBool8 flag2, TDevContext1 context,
                                   unsigned char message) noexcept
{
    Dev.Initialize(type, flag1, flag2, context);
    Message = message;
}

// --- construction ---

void KestPacketHeader1_t_::Initialize(KestPacketHeader1_t_* h) noexcept
{
    h->Start = StartConstant;
    h->KeyLength = 0;
    h->CheckSum = 0;
    h->LengthLow = 0;
    h->Msg.Dev.Value = 0;
    h->Msg.Message = 0;
}

void KestPacketHeader1_t_::Initialize(KestPacketHeader1_t_* h, TDevType1 type, TDevContext1 context,
                                      unsigned char message, unsigned short dataLength) noexcept
{
    Initialize(h, type, 0, 0, context, message, dataLength, 0);
}

void KestPacketHeader1_t_::Initialize(KestPacketHeader1_t_* h, TDevType1 type, TBool8 flag1,
                                      TBool8 flag2, TDevContext1 context, unsigned char message,
                                      unsigned short dataLength, unsigned char key) noexcept
{
    h->Start = StartConstant;
    // Bytes 1 and 2 take key * 4 as a 16-bit little-endian value; for keys above 63 the top
    // key bits spill into the checksum byte, which CheckSumNegCalc corrects relative anyway.
    const unsigned k4 = unsigned(key) * 4;
    h->KeyLength = static_cast<u8>(k4 & 0xFF);
    h->CheckSum = static_cast<u8>(k4 >> 8);
    h->LengthLow = 0;
    h->SetDataLength(dataLength);
    h->Msg.Dev.Initialize(type, flag1, flag2, context);
    h->Msg.Message = message;
}

// --- lengths ---

void KestPacketHeader1_t_::SetDataLength(unsigned short n) noexcept
{
    const unsigned len = std::min<unsigned>(n, DataLength_MAX);
    KeyLength = static_cast<u8>((KeyLength & 0xFCu) | (len >> 8));
    LengthLow = static_cast<u8>(len & 0xFF);
}

void KestPacketHeader1_t_::SetPacketLength(unsigned short n) noexcept
{
    if (n <= PacketLength_MIN)
        SetDataLength(0);
    else if (n < PacketLength_MAX)
        SetDataLength(static_cast<unsigned short>(n - DataOffset));
    else
        SetDataLength(DataLength_MAX);
}

// --- checksum and key ---

u8 KestPacketHeader1_t_::CheckSum8Calc(const void* data, unsigned n) noexcept
{
    return ByteSum8(data, n);
}

u8 KestPacketHeader1_t_::CheckSumCalc() const noexcept
{
    return CheckSum8Calc(this, GetPacketLength());
}

void KestPacketHeader1_t_::CheckSumNegCalc() noexcept
{
    CheckSum = static_cast<u8>(CheckSum - CheckSumCalc());
}

void KestPacketHeader1_t_::CreateKey() noexcept
{
    const u8 key = DrawKey(Key_MIN, Key_MAX);
    KeyLength = static_cast<u8>((KeyLength & 3u) | unsigned(key) << 2);
}

// --- scrambling ---

void KestPacketHeader1_t_::WriteEncodeExKey(void* dst, const void* src, unsigned n,
                                            unsigned char k) noexcept
{
    if (!dst || !src)
        return;
    u8* d = static_cast<u8*>(dst);
    const u8* s = static_cast<const u8*>(src);
    u8 prev = k;
    for (unsigned i = 0; i < n; ++i) {
        const u8 p = s[i];
        d[i] = static_cast<u8>(p ^ prev);
        prev = p;
    }
}

void KestPacketHeader1_t_::WriteDecodeExKey(void* dst, const void* src, unsigned n,
                                            unsigned char k) noexcept
{
    if (!dst || !src)
        return;
    u8* d = static_cast<u8*>(dst);
    const u8* s = static_cast<const u8*>(src);
    u8 prev = k;
    for (unsigned i = 0; i < n; ++i) {
        const u8 p = static_cast<u8>(s[i] ^ prev);
        d[i] = p;
        prev = p;
    }
}

// The read scheme mixes in each byte's offset inside the packet, (6 + i) mod 256, also when
// the bytes are handed over in a buffer of their own.
void KestPacketHeader1_t_::ReadEncodeExKey(void* dst, const void* src, unsigned n,
                                           unsigned char k) noexcept
{
    if (!dst || !src)
        return;
    u8* d = static_cast<u8*>(dst);
    const u8* s = static_cast<const u8*>(src);
    u8 run = k;
    u8 pos = DataOffset;
    for (unsigned i = 0; i < n; ++i, ++pos) {
        const u8 c = static_cast<u8>(s[i] ^ pos ^ run);
        d[i] = c;
        run = static_cast<u8>(run ^ c);
    }
}

void KestPacketHeader1_t_::ReadDecodeExKey(void* dst, const void* src, unsigned n,
                                           unsigned char k) noexcept
{
    if (!dst || !src)
        return;
    u8* d = static_cast<u8*>(dst);
    const u8* s = static_cast<const u8*>(src);
    u8 run = k;
    u8 pos = DataOffset;
    for (unsigned i = 0; i < n; ++i, ++pos) {
        run = static_cast<u8>(run ^ s[i]);
        d[i] = static_cast<u8>(run ^ pos);
    }
}

KestPacketHeader1_t_::Scheme KestPacketHeader1_t_::DataScheme() const noexcept
{
    if (GetDevType() == 0)
        return CanWriteEncode() ? Scheme::Write : Scheme::None;
    return CanReadDecode() ? Scheme::Read : Scheme::None;
}

// --- sending and receiving ---

void KestPacketHeader1_t_::PrepareSend() noexcept
{
    CreateKey();
    switch (DataScheme()) {
    case Scheme::Write:
        WriteEncode();
        break;
    case Scheme::Read:
        ReadEncode();
        break;
    case Scheme::None:
        break;
    }
    Start = StartConstant;
    CheckSumNegCalc();
}

void KestPacketHeader1_t_::PrepareSend(KestPacketHeader1_t_* out, unsigned outSize) const noexcept
{
    if (!out)
        return;
    u8* o = reinterpret_cast<u8*>(out);
    const Scheme scheme = DataScheme(); // decided on this (plain) header before out changes
    const unsigned packetLength = GetPacketLength();
    if (out != this)
        std::memcpy(o, this, std::min<unsigned>(DataOffset, outSize));
    if (outSize >= 2)
        out->CreateKey();
    const unsigned n = std::min(packetLength, outSize);
    if (n > DataOffset) {
        const u8 index = o[1];
        switch (scheme) {
        case Scheme::Write:
            WriteEncode(o + DataOffset, Data(), n - DataOffset, index);
            break;
        case Scheme::Read:
            ReadEncode(o + DataOffset, Data(), n - DataOffset, index);
            break;
        case Scheme::None:
            if (out != this)
                std::memmove(o + DataOffset, Data(), n - DataOffset);
            break;
        }
    }
    if (outSize >= 1)
        o[0] = StartConstant;
    if (outSize >= 3)
        o[2] = static_cast<u8>(o[2] - CheckSum8Calc(o, n));
}

void KestPacketHeader1_t_::RetreiveData() noexcept
{
    switch (DataScheme()) {
    case Scheme::Write:
        WriteDecode();
        break;
    case Scheme::Read:
        ReadDecode();
        break;
    case Scheme::None:
        break;
    }
}

unsigned KestPacketHeader1_t_::RetreiveData(void* out, unsigned outSize) const noexcept
{
    if (!out)
        return 0;
    const unsigned n = std::min<unsigned>(GetDataLength(), outSize);
    switch (DataScheme()) {
    case Scheme::Write:
        WriteDecode(out, Data(), n, KeyLength);
        break;
    case Scheme::Read:
        ReadDecode(out, Data(), n, KeyLength);
        break;
    case Scheme::None:
        if (out != Data())
            std::memmove(out, Data(), n);
        break;
    }
    return n;
}

bool KestPacketHeader1_t_::IsPacketExpected(KestPacketMsg1_t_*) const noexcept
{
    return false;
}

} // namespace fk
