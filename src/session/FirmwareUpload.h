#pragma once
// The firmware transfer's own state, held by the device session: the image being sent
// (`FirmwareImage`), the payload offsets of the last block sent (`BlockStart`, `BlockEnd`)
// and what the last upload did, for anyone who reports on it (the command-line tool).
//
// Blocks carry no offset: the device appends them in the order received. A block whose reply
// was lost is therefore never sent again (a device that did receive it would store it twice):
// the transfer starts over from its start request, which makes the bootloader drop what it
// received. The upload counts those restarts so that they can be reported.
#include "platform/Types.h"
#include "session/MessageTable.h"

namespace fk {

class TFirmwareUpload {
public:
    // What the last upload (since the last successful load) did.
    struct TReport {
        bool Started = false;    // the start-of-transfer check passed
        bool Completed = false;  // the last block was acknowledged
        u32 PayloadBytes = 0;
        u32 BlocksSent = 0;      // data blocks sent in the transfer that ran last
        u32 TransferRestarts = 0; // transfers started over after a lost reply
        int DropMessage = -1;    // why the image was refused: msgFirmwareInvalid, msgFirmwareTooBig
                                 // or msgFirmwareMismatch (at load time shown in a message box,
                                 // against the bootloader's description never shown)
        u32 HandOverRestarts = 0; // bootloader hand-overs started over after a lost reply
        int FailCause = -1;      // an upload that failed without the user's word: the message
                                 // index of what happened (staConnectionLost, ...)
        bool FirmwareErased = false; // ... and the transfer had begun: the device is left in
                                     // its bootloader without an application
        u32 ImageIdentifier = 0;     // the image sent: its identifier and digest (hex), kept
        String ImageDigest;          // after the image itself is released
    };

    TByteString& FirmwareImage() noexcept { return image_; }
    const TByteString& FirmwareImage() const noexcept { return image_; }
    bool Held() const noexcept { return !image_.empty(); }
    u32 PayloadLength() const noexcept;
    u32 BlockStart() const noexcept { return blockStart_; }
    u32 BlockEnd() const noexcept { return blockEnd_; }

    // The next block after the last one sent: false when the payload is exhausted (or no
    // image is held, or blockSize is 0). On true, block and length give the bytes to send and
    // BlockStart/BlockEnd have moved on; when the payload is exhausted BlockStart = BlockEnd.
    bool NextBlock(u16 blockSize, const u8*& block, u32& length);

    // The progress bar's position between min and max: the payload acknowledged before the
    // block now being sent, limited to max.
    int Position(int min, int max) const noexcept;

    // BlockStart = BlockEnd = 0; true when an image was held (it is released).
    bool Reset() noexcept;
    // The transfer starts over: BlockStart = BlockEnd = 0, the image is kept.
    void Rewind() noexcept { blockStart_ = blockEnd_ = 0; }

    const TReport& Report() const noexcept { return report_; }
    TReport& Report() noexcept { return report_; }
    // A new upload: the report starts over.
    void NewReport() noexcept { report_ = TReport{}; }

private:
    TByteString image_;
    u32 blockStart_ = 0;
    u32 blockEnd_ = 0;
    TReport report_;
};

} // namespace fk
