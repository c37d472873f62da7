#pragma once
// TKestPacket: one complete packet (header and data) in a byte buffer of its own, with the
// header operations of its protocol behind one interface, so that the connection and the
// application can build, send, check and unpack packets without knowing the protocol.
// TKestPacket1 and TKestPacket2 hold the two protocols; the generic routines below serve both,
// parameterised by the header type.
//
// The buffer normally holds exactly the packet its header describes. It can hold less: a
// packet built from a header alone keeps the header's length field as given, and a failed
// allocation leaves the buffer empty. Every routine here checks that the bytes a header
// announces are really in the buffer before it touches them; a packet for which they are
// not is never valid, and is neither checksummed, scrambled nor sent.
#include "platform/Event.h"
#include "platform/LastError.h"
#include "platform/Types.h"
#include "protocol/ByteSum.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace fk {

// What RetreivePacket leaves as the last error when it finds no packet (bit 29: application codes).
enum : DWORD {
    ERROR_PACKET_UNRECOGNIZED = APPLICATION_ERROR_BIT | 1, // no packet start in the rest of the buffer
    ERROR_PACKET_CHECKSUM = APPLICATION_ERROR_BIT | 2,     // the last candidate was complete but corrupt
    ERROR_PACKET_NO_DATA = APPLICATION_ERROR_BIT | 3,      // fewer bytes than a header from pos on
    ERROR_PACKET_INCOMPLETE = APPLICATION_ERROR_BIT | 4,   // a candidate still lacks bytes, or is too long
};

class TKestPacket : public TObject {
public:
    ~TKestPacket() override = default;

    virtual bool IsCheckSumValid() const = 0;
    virtual bool IsValid() const = 0;
    virtual void CheckSumNegCalc() = 0;
    virtual void CreateKey() = 0;
    virtual void PrepareSend() = 0;
    // A wire-ready copy into out; this packet keeps its plain bytes and its key.
    // False (with the last error) when there is nothing sound to send or no memory.
    virtual bool PrepareSend(TByteString& out) const = 0;
    virtual void RetreiveData() = 0;
    // At most size plain data bytes into out; returns how many were written.
    virtual unsigned RetreiveData(void* out, unsigned size) = 0;

    // The first packet byte, null when the buffer is empty.
    u8* GetBuffer() noexcept { return FBuffer.empty() ? nullptr : FBuffer.data(); }
    const u8* GetBuffer() const noexcept { return FBuffer.empty() ? nullptr : FBuffer.data(); }
    const TByteString& GetPacketBuffer() const noexcept { return FBuffer; }

protected:
    TKestPacket() = default;
    TKestPacket(const TKestPacket&) = default;
    TKestPacket(TKestPacket&&) noexcept = default;
    TKestPacket& operator=(const TKestPacket&) = default;
    TKestPacket& operator=(TKestPacket&&) noexcept = default;

    // Creation steps.
    template <class H> void CreatePacket() noexcept;
    template <class H> void CreatePacket(const H& header) noexcept;
    template <class H> void CreatePacket(const H& header, const void* data, unsigned dataLength) noexcept;
    template <class H> void CreatePacket(const void* packet, unsigned size) noexcept;

    // The stream scanner.
    template <class H>
    static bool _RetreivePacket(const void* buffer, unsigned size, unsigned& pos,
                                unsigned maxDataLength, unsigned& packetLength) noexcept;

    template <class H> bool _IsValid() const noexcept;
    template <class H> bool _CheckSumValid() const noexcept;
    template <class H> void _CheckSumNegCalc() noexcept;
    template <class H> void _CreateKey() noexcept;
    template <class H> void _PrepareSend() noexcept;
    template <class H> bool _PrepareSend(TByteString& out) const noexcept;
    template <class H> void _RetreiveData() noexcept;
    template <class H> unsigned _RetreiveData(void* out, unsigned size) noexcept;

    // The header laid over the buffer, or null when the buffer is shorter than a header.
    template <class H> H* Header() noexcept
    {
        return FBuffer.size() >= H::DataOffset ? reinterpret_cast<H*>(FBuffer.data()) : nullptr;
    }
    template <class H> const H* Header() const noexcept
    {
        return FBuffer.size() >= H::DataOffset ? reinterpret_cast<const H*>(FBuffer.data()) : nullptr;
    }
    // True when buf holds a header and every byte the header announces.
    template <class H> static bool Whole(const TByteString& buf) noexcept
    {
        return buf.size() >= H::DataOffset
            && reinterpret_cast<const H*>(buf.data())->GetPacketLength() <= buf.size();
    }

    TByteString FBuffer;
};

// ---------------------------------------------------------------------------------------------
// Generic routines.

template <class H>
void TKestPacket::CreatePacket() noexcept
{
    try {
        FBuffer.assign(H::DataOffset, 0);
        H::Initialize(reinterpret_cast<H*>(FBuffer.data()));
    } catch (const std::bad_alloc&) {
        FBuffer.clear();
    }
}

template <class H>
void TKestPacket::CreatePacket(const H& header) noexcept
{
    try {
        const u8* h = reinterpret_cast<const u8*>(&header);
        FBuffer.assign(h, h + H::DataOffset);
    } catch (const std::bad_alloc&) {
        FBuffer.clear();
    }
}

template <class H>
void TKestPacket::CreatePacket(const H& header, const void* data, unsigned dataLength) noexcept
{
    // Too much data, or data that are not there: the header alone, as given.
    if (dataLength > H::DataLength_MAX || (dataLength > 0 && !data)) {
        CreatePacket<H>(header);
        return;
    }
    try {
        FBuffer.resize(H::DataOffset + std::size_t(dataLength));
        std::memcpy(FBuffer.data(), &header, H::DataOffset);
        reinterpret_cast<H*>(FBuffer.data())->SetDataLength(static_cast<unsigned short>(dataLength));
        if (dataLength > 0)
            std::memcpy(FBuffer.data() + H::DataOffset, data, dataLength);
    } catch (const std::bad_alloc&) {
        FBuffer.clear();
    }
}

template <class H>
void TKestPacket::CreatePacket(const void* packet, unsigned size) noexcept
{
    const u8* p = static_cast<const u8*>(packet);
    if (p && size >= H::DataOffset) {
        const unsigned length = reinterpret_cast<const H*>(p)->GetPacketLength();
        // A length field shorter than a header (possible in protocol 2) would leave a buffer
        // without a whole header: such a block is not adopted.
        if (length >= H::DataOffset && length <= size) {
            try {
                FBuffer.assign(p, p + length);
                return;
            } catch (const std::bad_alloc&) {
                FBuffer.clear();
                return;
            }
        }
    }
    CreatePacket<H>();
}

// Looks for the first good packet in buffer[pos, size). Every byte from pos on is tried as a
// header start (memchr skips to the next start byte); a candidate that is incomplete, too
// long or corrupt does not stop the scan, and start bytes inside a candidate are tried as
// candidates of their own. The code left behind when nothing is found:
//  - NO_DATA until some byte was examined,
//  - INCOMPLETE from an incomplete or too long candidate on, until a later candidate fails
//    its checksum,
//  - CHECKSUM after a complete candidate with a bad sum, UNRECOGNIZED when a byte that does
//    not start a header follows it (or any such byte while the code is not INCOMPLETE).
template <class H>
bool TKestPacket::_RetreivePacket(const void* buffer, unsigned size, unsigned& pos,
                                  unsigned maxDataLength, unsigned& packetLength) noexcept
{
    packetLength = 0;
    if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    DWORD code = ERROR_PACKET_NO_DATA;
    if (size < H::DataOffset) {
        SetLastError(code);
        return false;
    }
    const u8* b = static_cast<const u8*>(buffer);
    const unsigned last = size - H::DataOffset; // last possible header start
    unsigned i = pos;
    while (i <= last) {
        const void* hit = std::memchr(b + i, H::StartConstant, last - i + 1);
        const unsigned j = hit ? static_cast<unsigned>(static_cast<const u8*>(hit) - b) : last + 1;
        if (j > i && code != ERROR_PACKET_INCOMPLETE)
            code = ERROR_PACKET_UNRECOGNIZED; // bytes i..j-1 start no header
        if (!hit)
            break;
        i = j + 1;
        if (!H::StartsHeader(b + j)) {
            if (code != ERROR_PACKET_INCOMPLETE)
                code = ERROR_PACKET_UNRECOGNIZED;
            continue;
        }
        const H* h = reinterpret_cast<const H*>(b + j);
        pos = j;
        packetLength = h->GetPacketLength();
        if (size - j >= packetLength && h->GetDataLength() <= maxDataLength) {
            if (ByteSum8(b + j, packetLength) == 0) {
                SetLastError(ERROR_SUCCESS);
                return true;
            }
            code = ERROR_PACKET_CHECKSUM;
        } else {
            code = ERROR_PACKET_INCOMPLETE;
        }
    }
    SetLastError(code);
    return false;
}

template <class H>
bool TKestPacket::_CheckSumValid() const noexcept
{
    if (FBuffer.empty())
        return true;
    return Whole<H>(FBuffer) && Header<H>()->IsCheckSumValid();
}

template <class H>
bool TKestPacket::_IsValid() const noexcept
{
    return !FBuffer.empty() && Whole<H>(FBuffer) && Header<H>()->IsValid()
        && Header<H>()->IsCheckSumValid();
}

template <class H>
void TKestPacket::_CheckSumNegCalc() noexcept
{
    if (Whole<H>(FBuffer))
        Header<H>()->CheckSumNegCalc();
}

template <class H>
void TKestPacket::_CreateKey() noexcept
{
    if (H* h = Header<H>())
        h->CreateKey();
}

template <class H>
void TKestPacket::_PrepareSend() noexcept
{
    if (Whole<H>(FBuffer))
        Header<H>()->PrepareSend();
}

template <class H>
bool TKestPacket::_PrepareSend(TByteString& out) const noexcept
{
    if (FBuffer.empty()) {
        if (&out != &FBuffer)
            out.clear();
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!Whole<H>(FBuffer)) {
        // The header announces bytes that are not there: nothing sound to send.
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (&out != &FBuffer) {
        try {
            out = FBuffer;
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
    }
    reinterpret_cast<H*>(out.data())->PrepareSend();
    SetLastError(ERROR_SUCCESS);
    return true;
}

template <class H>
void TKestPacket::_RetreiveData() noexcept
{
    if (Whole<H>(FBuffer))
        Header<H>()->RetreiveData();
}

template <class H>
unsigned TKestPacket::_RetreiveData(void* out, unsigned size) noexcept
{
    if (!Whole<H>(FBuffer))
        return 0;
    return Header<H>()->RetreiveData(out, size);
}

} // namespace fk
