#pragma once
// The value and event types of the packet connection: which protocol a packet was found in,
// why bytes were discarded, and the two packet events.
#include "platform/Event.h"
#include "platform/LastError.h"
#include "ports/CommTypes.h"

namespace fk {

enum TKestPacketType : u8 {
    ptKestPacket1, // protocol 1
    ptKestPacket2, // protocol 2
};

// A set of TKestPacketType: bit 0 ptKestPacket1, bit 1 ptKestPacket2.
using TKestPacketTypes = u8;

constexpr TKestPacketTypes PacketTypeBit(TKestPacketType type) noexcept
{
    return TKestPacketTypes(1u << type);
}
inline constexpr TKestPacketTypes AllPacketTypes = PacketTypeBit(ptKestPacket1) | PacketTypeBit(ptKestPacket2);

enum TPacketLossReason : u8 {
    plrUnrecognized, // bytes that belong to no packet
    plrCorrupted,    // part of a packet that was still being received when the buffer overflowed
    plrTimeouted,    // a packet that did not complete in time, or bytes left when reception stopped
    plrNotSent,      // a queued buffer the port failed to write (an error, a time-out, or not all of it):
                     // dropped from the send queue so that the buffers behind it still go out
};

// Sender, Buffer, Transferred, PacketType. Buffer points into the connection's receive buffer
// and is valid during the event only; a handler may change those bytes in place.
using TKestPacketEvent = TEvent<TObject*, const void*, DWORD, TKestPacketType>;
// Sender, Buffer, Transferred, Reason, CommErrors (the line errors since the last packet).
using TKestPacketLossEvent = TEvent<TObject*, const void*, DWORD, TPacketLossReason, TCommErrorFlags>;

} // namespace fk
