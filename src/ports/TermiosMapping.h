#pragma once
// How a line state (TCommState) becomes terminal attributes.
//
// Map is a pure function: from the device's current attributes and a line state it computes
// the attributes to set with TCSETS2 and the modem lines to drive afterwards. Standard baud
// rates use their Bxxx code, any other rate BOTHER with the exact speed. 1.5 stop bits
// become 2 (terminals have no 1.5). DSR/DTR output flow has no terminal equivalent and is
// ignored; DTR handshake keeps DTR on. A line state that no device can take (no baud rate,
// data bits outside 5..8, an unknown parity or stop-bit code, equal XON and XOFF
// characters with XON/XOFF enabled) is refused.
//
// Accepted tells whether a driver kept what was asked: drivers adjust settings they cannot
// do instead of failing, so the attributes are read back and compared.
#include "ports/CommTypes.h"

#include <asm/termbits.h>

namespace fk {

class TTermiosMapping {
public:
    termios2 Attributes{};
    bool Dtr = false;       // drive DTR to this level
    bool ManageRts = true;  // false: RTS follows the hardware handshake of the driver
    bool Rts = false;       // drive RTS to this level (when ManageRts)
    bool RtsToggle = false; // RTS on while sending: needs the driver's RS-485 mode

    // False (nothing changed) for a line state no device can take.
    static bool Map(const TCommState& state, const termios2& current, TTermiosMapping& out) noexcept;
    // Whether the driver kept the framing, flow control and (within 3 %) the speed.
    static bool Accepted(const termios2& requested, const termios2& actual) noexcept;
    // The Bxxx code of a standard rate, or 0 when there is none.
    static unsigned StandardRateCode(u32 baudRate) noexcept;
};

} // namespace fk
