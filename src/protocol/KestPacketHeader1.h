#pragma once
// Protocol-1 packet header: a 6-byte packed structure laid over the first bytes of a
// packet buffer, with the packet's data directly behind it.
//
//   byte 0      start byte 0x55
//   byte 1      bits 0..1: data length bits 8..9; bits 2..7: key (1..63 when sent)
//   byte 2      checksum byte: makes the 8-bit sum of the whole packet 0
//   byte 3      data length bits 0..7
//   byte 4      device byte (KestPacketDev1_t_)
//   byte 5      message code
//   6..         data (0..1023 bytes)
//
// The data travel plain or scrambled by one of two key-chained XOR schemes, chosen by the
// device type, context and message code; the chaining byte comes from KeyTranslator, indexed
// by the whole of byte 1.
//
// Member operations that touch data assume the data lie behind the header in the same
// buffer, as many bytes as the length field says.
#include "platform/Types.h"

#include <cstddef>
#include <type_traits>

namespace fk {

using TDevType1 = u8;    // only the low 3 bits are stored
using TDevContext1 = u8; // only the low 3 bits are stored

#pragma pack(push, 1)

// Device byte: bit 0 first flag, bits 1..3 context, bit 4 second flag, bits 5..7 device type.
struct KestPacketDev1_t_ {
    u8 Value;

    void Initialize(TDevType1 type, TBool8 flag1, TDevContext1 context) noexcept;
    void Initialize(TDevType1 type, TBool8 flag1, TBool8 flag2, TDevContext1 context) noexcept;

    TDevType1 GetType() const noexcept { return static_cast<TDevType1>(Value >> 5); }
    TDevContext1 GetContext() const noexcept { return static_cast<TDevContext1>((Value >> 1) & 7); }
    TBool8 GetFlag1() const noexcept { return Value & 1; }
    TBool8 GetFlag2() const noexcept { return (Value >> 4) & 1; }
};

// The identity of a protocol-1 message: device byte, then message code.
struct KestPacketMsg1_t_ {
    KestPacketDev1_t_ Dev;
    u8 Message;

    void Initialize(TDevType1 type, TBool8 flag1, TBool8 flag2, TDevContext1 context,
                    unsigned char message) noexcept;
};

struct KestPacketHeader1_t_ {
    static constexpr u8 StartConstant = 0x55;
    static constexpr u16 DataLength_MAX = 1023;
    static constexpr u8 Key_MIN = 1;
    static constexpr u8 Key_MAX = 63;
    static constexpr u8 DataOffset = 6;
    static constexpr u8 PacketLength_MIN = 6;
    static constexpr u16 PacketLength_MAX = 1029;
    static const u8 KeyTranslator[256];

    u8 Start;
    u8 KeyLength; // key in bits 2..7, data length bits 8..9 in bits 0..1
    u8 CheckSum;
    u8 LengthLow;
    KestPacketMsg1_t_ Msg;

    // Construction. The static forms work on the header at h.
    static void Initialize(KestPacketHeader1_t_* h) noexcept;
    void Initialize() noexcept { Initialize(this); }
    static void Initialize(KestPacketHeader1_t_* h, TDevType1 type, TDevContext1 context,
                           unsigned char message, unsigned short dataLength) noexcept;
    void Initialize(TDevType1 type, TDevContext1 context, unsigned char message,
                    unsigned short dataLength) noexcept
    {
        Initialize(this, type, context, message, dataLength);
    }
    static void Initialize(KestPacketHeader1_t_* h, TDevType1 type, TBool8 flag1, TBool8 flag2,
                           TDevContext1 context, unsigned char message, unsigned short dataLength,
                           unsigned char key) noexcept;

    // Fields.
    u8 GetKey() const noexcept { return static_cast<u8>(KeyLength >> 2); }
    TDevType1 GetDevType() const noexcept { return Msg.Dev.GetType(); }
    TDevContext1 GetContext() const noexcept { return Msg.Dev.GetContext(); }
    u8 GetMessage() const noexcept { return Msg.Message; }

    // Lengths.
    unsigned short GetDataLength() const noexcept
    {
        return static_cast<unsigned short>((KeyLength & 3u) << 8 | LengthLow);
    }
    unsigned short GetPacketLength() const noexcept
    {
        return static_cast<unsigned short>(GetDataLength() + DataOffset);
    }
    void SetDataLength(unsigned short n) noexcept;
    void SetPacketLength(unsigned short n) noexcept;

    // Checks and checksum.
    bool IsValid() const noexcept { return Start == StartConstant; }
    static u8 CheckSum8Calc(const void* data, unsigned n) noexcept;
    u8 CheckSumCalc() const noexcept;
    bool IsCheckSumValid() const noexcept { return CheckSumCalc() == 0; }
    void CheckSumNegCalc() noexcept;

    // A fresh key 1..63 in bits 2..7 of byte 1; the length bits stay.
    void CreateKey() noexcept;

    // Which scrambling the packet's data travel in.
    bool CanWriteEncode() const noexcept { return GetContext() == 2 && Msg.Message < 0xF0; }
    bool CanReadDecode() const noexcept { return GetContext() == 1; }

    // Scrambling primitives. dst and src may be the same buffer; null dst or src does nothing.
    // The ExKey forms take the chaining byte k itself, the others KeyTranslator[index].
    static void WriteEncodeExKey(void* dst, const void* src, unsigned n, unsigned char k) noexcept;
    static void WriteDecodeExKey(void* dst, const void* src, unsigned n, unsigned char k) noexcept;
    static void ReadEncodeExKey(void* dst, const void* src, unsigned n, unsigned char k) noexcept;
    static void ReadDecodeExKey(void* dst, const void* src, unsigned n, unsigned char k) noexcept;
    static void WriteEncode(void* dst, const void* src, unsigned n, unsigned char index) noexcept
    {
        WriteEncodeExKey(dst, src, n, KeyTranslator[index]);
    }
    static void WriteDecode(void* dst, const void* src, unsigned n, unsigned char index) noexcept
    {
        WriteDecodeExKey(dst, src, n, KeyTranslator[index]);
    }
    static void ReadEncode(void* dst, const void* src, unsigned n, unsigned char index) noexcept
    {
        ReadEncodeExKey(dst, src, n, KeyTranslator[index]);
    }
    static void ReadDecode(void* dst, const void* src, unsigned n, unsigned char index) noexcept
    {
        ReadDecodeExKey(dst, src, n, KeyTranslator[index]);
    }
    // In place over this packet's own data.
    void WriteEncode() noexcept { WriteEncode(Data(), Data(), GetDataLength(), KeyLength); }
    void WriteDecode() noexcept { WriteDecode(Data(), Data(), GetDataLength(), KeyLength); }
    void ReadEncode() noexcept { ReadEncode(Data(), Data(), GetDataLength(), KeyLength); }
    void ReadDecode() noexcept { ReadDecode(Data(), Data(), GetDataLength(), KeyLength); }

    // Sending: new key, scrambled data, start byte, checksum. The second form writes a
    // wire-ready copy into out (outSize bytes at most) and leaves this packet as it is.
    void PrepareSend() noexcept;
    void PrepareSend(KestPacketHeader1_t_* out, unsigned outSize) const noexcept;

    // Receiving: unscramble in place, or write at most outSize plain data bytes into out
    // (returns how many were written).
    void RetreiveData() noexcept;
    unsigned RetreiveData(void* out, unsigned outSize) const noexcept;

    // Protocol 1 never announces a reply: always false, expected is left alone.
    bool IsPacketExpected(KestPacketMsg1_t_* expected) const noexcept;

    // Used by the packet objects and the scanner.
    static bool StartsHeader(const u8* p) noexcept { return p[0] == StartConstant; }

    u8* Data() noexcept { return reinterpret_cast<u8*>(this) + DataOffset; }
    const u8* Data() const noexcept { return reinterpret_cast<const u8*>(this) + DataOffset; }

private:
    enum class Scheme { None, Write, Read };
    Scheme DataScheme() const noexcept;
};

#pragma pack(pop)

static_assert(sizeof(KestPacketDev1_t_) == 1);
static_assert(sizeof(KestPacketMsg1_t_) == 2);
static_assert(sizeof(KestPacketHeader1_t_) == 6);
static_assert(alignof(KestPacketHeader1_t_) == 1);
static_assert(std::is_standard_layout_v<KestPacketHeader1_t_>);
static_assert(std::is_trivially_copyable_v<KestPacketHeader1_t_>);

} // namespace fk
