#pragma once
// Value types shared by every byte-stream port: line settings, the 28-byte line-state
// record, line status, time-outs, flag words and the event handler types with their lists.
#include "platform/Event.h"
#include "platform/Types.h"

#include <cstddef>
#include <cstdint>

namespace fk {

// Line-setting enumerations; stored as one byte each.
enum TSerialParity : u8 { sParityNone, sParityOdd, sParityEven, sParityMark, sParitySpace };
enum TSerialStopBits : u8 { sStopBits1, sStopBits1_5, sStopBits2 };
enum TCommDTRControl : u8 { cDTR_Disable, cDTR_Enable, cDTR_HandShake };
enum TCommRTSControl : u8 { cRTS_Disable, cRTS_Enable, cRTS_Handshake, cRTS_Toggle };

enum TCommCloseReason : u8 {
    ccReasonClose,  // closed on request
    ccReasonReOpen, // closed in order to open again
    ccReasonError,  // the port ended by itself (failed open, I/O failure)
};

enum TCommEvent : u8 {
    cEvRxReceive,
    cEvRxEvtChar,
    cEvTxEmpty,
    cEvCTS,
    cEvDSR,
    cEvRLSD,
    cEvRxBreak,
    cEvRxError,
    cEvRxRing,
    cEvPERR,
    cEvRx80Full,
    cEvCustom1,
    cEvCustom2,
};

enum TCommPortState : u8 { cStateClosed, cStateOpening, cStateOpen, cStateClosing };

// Bit n set: TCommEvent value n occurred. Also the type of the CommEvents set.
using TCommEventFlags = u32;
// Line error bits as fetched when errors are cleared.
using TCommErrorFlags = u32;
// Modem input lines.
using TCommModemStatus = u32;
// What Purge aborts or clears.
using TCommPurgeFlags = u32;
// 1 none, 2 hardware handshake, 3 XON/XOFF.
using TCommFlowControl = u32;

constexpr TCommEventFlags CommEventBit(TCommEvent e) noexcept { return TCommEventFlags(1) << e; }
inline constexpr TCommEventFlags AllCommEvents = 8191;

enum : TCommErrorFlags {
    CE_RXOVER = 0x0001,   // input buffer overflow
    CE_OVERRUN = 0x0002,  // character overrun
    CE_RXPARITY = 0x0004, // parity error
    CE_FRAME = 0x0008,    // framing error
    CE_BREAK = 0x0010,    // break received
    CE_TXFULL = 0x0100,   // output buffer full
};

enum : TCommModemStatus {
    MS_CTS_ON = 0x0010,
    MS_DSR_ON = 0x0020,
    MS_RING_ON = 0x0040,
    MS_RLSD_ON = 0x0080,
};

enum : TCommPurgeFlags {
    PURGE_TXABORT = 0x1,
    PURGE_RXABORT = 0x2,
    PURGE_TXCLEAR = 0x4,
    PURGE_RXCLEAR = 0x8,
};

enum : TCommFlowControl {
    cFlowNone = 1,
    cFlowHardware = 2,
    cFlowXonXoff = 3,
};

// Flag bits of TCommState::Flags.
enum : u32 {
    fBinary = 1u << 0,
    fParity = 1u << 1,
    fOutxCtsFlow = 1u << 2,
    fOutxDsrFlow = 1u << 3,
    fDtrControlShift = 4,
    fDtrControlMask = 3u << fDtrControlShift,
    fDsrSensitivity = 1u << 6,
    fTXContinueOnXoff = 1u << 7,
    fOutX = 1u << 8,
    fInX = 1u << 9,
    fErrorChar = 1u << 10,
    fNull = 1u << 11,
    fRtsControlShift = 12,
    fRtsControlMask = 3u << fRtsControlShift,
    fAbortOnError = 1u << 14,
};

// The line state: the device-control-block layout, 28 bytes, little-endian fields.
struct TCommState {
    u32 Length;    // number of leading bytes that are defined (28 for a full record)
    u32 BaudRate;  // bits per second
    u32 Flags;     // the f* bits above
    u16 Reserved;
    u16 XonLim;
    u16 XoffLim;
    u8 DataBits;
    u8 Parity;     // TSerialParity
    u8 StopBits;   // TSerialStopBits
    u8 XonChar;
    u8 XoffChar;
    u8 ErrorChar;
    u8 EofChar;
    u8 EvtChar;
    u16 Reserved1;

    TCommDTRControl DTRControl() const noexcept
    {
        return TCommDTRControl((Flags & fDtrControlMask) >> fDtrControlShift);
    }
    TCommRTSControl RTSControl() const noexcept
    {
        return TCommRTSControl((Flags & fRtsControlMask) >> fRtsControlShift);
    }
    void SetDTRControl(TCommDTRControl v) noexcept
    {
        Flags = (Flags & ~fDtrControlMask) | ((u32(v) << fDtrControlShift) & fDtrControlMask);
    }
    void SetRTSControl(TCommRTSControl v) noexcept
    {
        Flags = (Flags & ~fRtsControlMask) | ((u32(v) << fRtsControlShift) & fRtsControlMask);
    }
    void SetFlag(u32 bit, bool on) noexcept { Flags = on ? (Flags | bit) : (Flags & ~bit); }
    bool Flag(u32 bit) const noexcept { return (Flags & bit) != 0; }
};
static_assert(sizeof(TCommState) == 28);
static_assert(offsetof(TCommState, BaudRate) == 4 && offsetof(TCommState, Flags) == 8);
static_assert(offsetof(TCommState, XonLim) == 14 && offsetof(TCommState, XoffLim) == 16);
static_assert(offsetof(TCommState, DataBits) == 18 && offsetof(TCommState, Parity) == 19);
static_assert(offsetof(TCommState, StopBits) == 20 && offsetof(TCommState, XonChar) == 21);
static_assert(offsetof(TCommState, EvtChar) == 25 && offsetof(TCommState, Reserved1) == 26);

// The last line status: hold flags and the two queue counts.
struct TCommStatus {
    u32 Flags = 0;
    u32 InQueue = 0;
    u32 OutQueue = 0;
    friend bool operator==(const TCommStatus&, const TCommStatus&) = default;
};
static_assert(sizeof(TCommStatus) == 12);

// Time-outs in milliseconds.
struct TCommTimeouts {
    u32 ReadIntervalTimeout = 0;
    u32 ReadTotalTimeoutMultiplier = 0;
    u32 ReadTotalTimeoutConstant = 0;
    u32 WriteTotalTimeoutMultiplier = 0;
    u32 WriteTotalTimeoutConstant = 0;
    friend bool operator==(const TCommTimeouts&, const TCommTimeouts&) = default;
};
static_assert(sizeof(TCommTimeouts) == 20);

inline constexpr u32 MAXDWORD = 0xFFFFFFFFu;

// Event handler types; the first argument is the port (Sender).
using TCommOpenEvent = TEvent<TObject*, const String&, u32>;
using TCommCloseEvent = TEvent<TObject*, const String&, u32, TCommCloseReason>;
using TCommEventEvent = TEvent<TObject*, TCommEventFlags, u32, const TCommStatus&, TCommErrorFlags>;
using TCommStatusEvent = TEvent<TObject*, const TCommStatus&, TCommErrorFlags>;
using TCommErrorEvent = TEvent<TObject*, TCommErrorFlags>;
// Buffer, BufferSize (requested), Transferred, Errors, Result.
using TCommTransferEvent = TEvent<TObject*, const void*, u32, u32, TCommErrorFlags, u32>;
// A speed in bits per second (OnRxSpeed) or an error code (OnModemLost).
using TCommSpeedEvent = TEvent<TObject*, u32>;

using TCommOpenEvents = TEventList<TObject*, const String&, u32>;
using TCommCloseEvents = TEventList<TObject*, const String&, u32, TCommCloseReason>;
using TCommEventEvents = TEventList<TObject*, TCommEventFlags, u32, const TCommStatus&, TCommErrorFlags>;
using TCommStatusEvents = TEventList<TObject*, const TCommStatus&, TCommErrorFlags>;
using TCommErrorEvents = TEventList<TObject*, TCommErrorFlags>;
using TCommTransferEvents = TEventList<TObject*, const void*, u32, u32, TCommErrorFlags, u32>;
using TCommSpeedEvents = TEventList<TObject*, u32>;

} // namespace fk
