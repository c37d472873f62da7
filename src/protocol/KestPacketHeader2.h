#pragma once
// Protocol-2 packet header: a 10-byte packed structure laid over the first bytes of a
// packet buffer, with the packet's data directly behind it. Multi-byte fields little-endian.
//
//   byte 0      start byte 0x55
//   byte 1      message code
//   byte 2      source node
//   byte 3      destination node (0 matches any node in reply checks)
//   bytes 4..5  packet length, header included (10..65535)
//   byte 6      reserved, 0 when built
//   byte 7      reply-match byte: a reply carries its request's value
//   byte 8      key, 1..255 when sent
//   byte 9      checksum byte: makes the 8-bit sum of the whole packet 0
//   10..        data (0..65525 bytes), always scrambled on the wire
//
// Member operations that touch data assume the data lie behind the header in the same
// buffer, as many bytes as the length field says.
#include "platform/Types.h"

#include <type_traits>

namespace fk {

using TDevType2 = u8;    // a node
using TDevContext2 = u8; // a message code

#pragma pack(push, 1)

// Source and destination node.
struct KestPacketDev2_t_ {
    TDevType2 Source;
    TDevType2 Destination;

    void Initialize() noexcept { Initialize(0, 0); }
    void Initialize(TDevType2 source, TDevType2 destination) noexcept
    {
        Source = source;
        Destination = destination;
    }
    bool operator==(const KestPacketDev2_t_&) const = default;
};

// The full identity of a message: code, then source and destination.
struct KestPacketMsg2_t_ {
    TDevContext2 Code;
    KestPacketDev2_t_ Dev;

    void Initialize() noexcept { Initialize(0, 0, 0xFF); }
    void Initialize(TDevType2 source, TDevType2 destination, TDevContext2 code) noexcept
    {
        Code = code;
        Dev.Initialize(source, destination);
    }
    void Initialize(const KestPacketMsg2_t_& other) noexcept { *this = other; }
    bool operator==(const KestPacketMsg2_t_&) const = default;
};

// The short identity of an expected reply: code, and the node that is to answer.
struct KestPacketMsgS2_t_ {
    TDevContext2 Code;
    TDevType2 Node;

    void Initialize() noexcept { Initialize(0, 0xFF); }
    void Initialize(TDevType2 node, TDevContext2 code) noexcept
    {
        Code = code;
        Node = node;
    }
    void Initialize(const KestPacketMsgS2_t_& other) noexcept { *this = other; }
    bool operator==(const KestPacketMsgS2_t_&) const = default;
};

struct KestPacketHeader2_t_ {
    static constexpr u8 StartConstant = 0x55;
    static constexpr u16 DataOffset = 10;
    static constexpr u16 PacketLength_MIN = 10;
    static constexpr u16 PacketLength_MAX = 65535;
    static constexpr u16 DataLength_MAX = 65525;
    static constexpr u8 Key_MIN = 1;
    static constexpr u8 Key_MAX = 255;

    u8 Start;
    KestPacketMsg2_t_ Msg;
    u8 LengthLow;
    u8 LengthHigh;
    u8 Reserved;
    u8 Match;
    u8 Key;
    u8 CheckSum;

    // Byte 0 0x55, the code and nodes, the packet length, bytes 6..9 zero. Callers pass 10
    // and then set the data length.
    void Initialize(TDevType2 source, TDevType2 destination, TDevContext2 code,
                    unsigned short packetLength) noexcept;
    // The default header of a packet object: code 0xFF, both nodes 0, packet length 10.
    static void Initialize(KestPacketHeader2_t_* h) noexcept { h->Initialize(0, 0, 0xFF, DataOffset); }

    // Fields.
    TDevContext2 GetCode() const noexcept { return Msg.Code; }
    TDevType2 GetSource() const noexcept { return Msg.Dev.Source; }
    TDevType2 GetDestination() const noexcept { return Msg.Dev.Destination; }

    // Lengths.
    unsigned short GetPacketLength() const noexcept
    {
        return static_cast<unsigned short>(LengthLow | LengthHigh << 8);
    }
    void SetPacketLength(unsigned short n) noexcept
    {
        LengthLow = static_cast<u8>(n & 0xFF);
        LengthHigh = static_cast<u8>(n >> 8);
    }
    unsigned short GetDataLength() const noexcept
    {
        const unsigned short n = GetPacketLength();
        return n > DataOffset ? static_cast<unsigned short>(n - DataOffset) : 0;
    }
    // Packet length n + 10, with the data length clamped to 65525.
    void SetDataLength(unsigned short n) noexcept
    {
        SetPacketLength(n < DataLength_MAX ? static_cast<unsigned short>(n + DataOffset) : PacketLength_MAX);
    }

    // Checks and checksum.
    bool IsValid() const noexcept { return Start == StartConstant && GetPacketLength() >= PacketLength_MIN; }
    u8 CheckSumCalc() const noexcept;
    bool IsCheckSumValid() const noexcept { return CheckSumCalc() == 0; }
    void CheckSumNegCalc() noexcept { CheckSum = static_cast<u8>(CheckSum - CheckSumCalc()); }

    // A fresh key 1..255 in byte 8.
    void CreateKey() noexcept;

    // Scrambling of n bytes; dst and src may be the same buffer, null dst or src does nothing.
    // The position counter starts at 107 for the first byte given.
    static void Encode(void* dst, const void* src, unsigned n, unsigned char key) noexcept;
    static void Decode(void* dst, const void* src, unsigned n, unsigned char key) noexcept;
    // In place over this packet's own data, with the key of byte 8.
    void Encode() noexcept { Encode(Data(), Data(), GetDataLength(), Key); }
    void Decode() noexcept { Decode(Data(), Data(), GetDataLength(), Key); }

    // Sending: new key, scrambled data, start byte, checksum.
    void PrepareSend() noexcept;

    // Receiving: unscramble in place, or decode at most outSize data bytes into out and
    // leave the packet scrambled (returns how many were written).
    void RetreiveData() noexcept { Decode(); }
    unsigned RetreiveData(void* out, unsigned outSize) const noexcept;

    // Called on a received packet: whether it answers request (see the .cpp for the rules).
    bool IsReplyValid(const KestPacketHeader2_t_& request) const noexcept;
    // Called on a packet about to be sent: false when it is not valid; otherwise true, and
    // when it goes from a lower to a higher node, expected (if given) := code and destination.
    bool IsPacketExpected(KestPacketMsgS2_t_* expected) const noexcept;

    // Used by the packet objects and the scanner: a header starts at p when p[0] is the start
    // byte and the length field at p + 4 is at least 10.
    static bool StartsHeader(const u8* p) noexcept
    {
        return p[0] == StartConstant && (p[4] | p[5] << 8) >= PacketLength_MIN;
    }

    u8* Data() noexcept { return reinterpret_cast<u8*>(this) + DataOffset; }
    const u8* Data() const noexcept { return reinterpret_cast<const u8*>(this) + DataOffset; }
};

#pragma pack(pop)

static_assert(sizeof(KestPacketDev2_t_) == 2);
static_assert(sizeof(KestPacketMsg2_t_) == 3);
static_assert(sizeof(KestPacketMsgS2_t_) == 2);
static_assert(sizeof(KestPacketHeader2_t_) == 10);
static_assert(alignof(KestPacketHeader2_t_) == 1);
static_assert(std::is_standard_layout_v<KestPacketHeader2_t_>);
static_assert(std::is_trivially_copyable_v<KestPacketHeader2_t_>);

} // namespace fk
