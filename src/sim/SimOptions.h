#pragma once
// What the simulated controller is and how it misbehaves: a plain record, filled with the
// defaults below, changed by tests directly and by `ferrovan-sim controller` from its options.
#include "platform/Types.h"

#include <string>

namespace fk {

struct TSimOptions {
    // What the device reports about itself.
    u32 Identifier = 0x00060001;           // byte 2 (the model) is 6, the model the configurator expects
    std::string SerialNumber = "FK-SIM-0001"; // at most 32 bytes
    std::string InfoText = "Ferrovan-Kest simulator"; // at most 32 bytes
    u8 Version[3] = {1, 2, 0};             // the second number selects the break-time range
    unsigned BuildYear = 2024;             // 2000..2255
    u8 BuildMonth = 5;
    u8 BuildDay = 17;
    u16 BlockSize = 256;                   // firmware block size in bytes, 1..65525
    u16 BlockCount = 256;                  // capacity = BlockSize * BlockCount
    u8 Support = 0;                        // byte 7 of the device information: 0 or 1 = supported
    u8 OpenTime = 20;                      // parameter byte 0
    u8 BreakTime = 5;                      // parameter byte 1

    // Run modes.
    bool StartInBootloader = false;
    bool FirmwareCorrupt = false;    // reported in the device information; the application cannot
                                     // start until a new firmware has been transferred
    bool RefuseBootloader = false;   // enter-bootloader is answered, but the device comes back in
                                     // its application
    bool StayInBootloader = false;   // restart is answered, but the device comes back in its bootloader
    unsigned BootTimeMs = 200;       // silence after a restart or enter-bootloader reply

    // The line.
    unsigned ReplyDelayMs = 0;       // from a request's last byte to the reply's first
    unsigned Baud = 0;               // 0: bytes leave at once; else at this rate, 11 bits a byte (8O1)
    unsigned DropEvery = 0;          // 0: never; N: every Nth reply is never sent
    unsigned GarbleEvery = 0;        // 0: never; N: every Nth reply goes out with one byte damaged
    int GarbleReplyTo = -1;          // -1: never; a message code: the first reply to a request
                                     // with that code goes out with one byte damaged
    unsigned DropBlockReply = 0;     // 0: never; N: the reply to the Nth firmware block (data
                                     // blocks since start-up, resends counted) is never sent ...
    unsigned DropBlockReplies = 1;   // ... nor the replies to the blocks after it, this many in all
    u64 HangupAfter = 0;             // 0: never; N: close the line once N bytes have come in
    bool Dedupe = false;             // a firmware block recognised as a resend is dropped, not appended

    // The firmware this device is meant to receive. The bootloader cannot tell a finished
    // transfer from one that stopped early by the blocks alone (they carry no offset or
    // count), so it checks the payload received as a real application's check would: with an
    // expected payload, a transfer is complete only when it received exactly these bytes;
    // without one, when its last block was shorter than the block size or the capacity is
    // full (a payload that is a whole number of blocks needs this set).
    TByteString ExpectedFirmware;

    // Where the installed firmware payload is written each time one is installed (empty: nowhere).
    std::string DumpFirmwarePath;

    // A device replayed from a trace: its records byte for byte as it gave them (empty: built
    // from the fields above). The run mode and the corrupt flag of the device information stay
    // the simulator's own, as they change while it runs.
    TByteString DeviceInfoBytes;   // 55 bytes
    TByteString FirmwareInfoBytes; // 43 bytes
    TByteString ParameterBytes;    // 2..32 bytes, instead of OpenTime and BreakTime
    // Requests are counted from 1 (those for the controller's node, as they are taken).
    unsigned SilentFrom = 0;       // 0: never; N: from the Nth request on nothing is answered
    unsigned LateFrom = 0;         // 0: never; N: from the Nth request on every reply waits ...
    unsigned LateMs = 0;           // ... this many ms more

    u32 Capacity() const noexcept { return u32(BlockSize) * BlockCount; }
};

} // namespace fk
