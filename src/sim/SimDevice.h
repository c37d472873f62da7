#pragma once
// The simulated lubricator controller's behaviour, without any I/O: it takes one request (its
// header and plain data) and says what the device answers and whether it restarts. The line,
// the timing and the faults of the line are TSimController's.
//
// Behaviour where the device is free to choose:
//  - In the application every message is answered except firmware blocks, which are ignored.
//    In the bootloader only device information, status, restart, enter-bootloader and
//    firmware blocks are answered; the rest is ignored.
//  - Status answers 4 bytes: run mode, venting (0/1), open time, break time.
//  - A parameter write that is malformed (fewer than 3 data bytes) or reaches past byte 31
//    changes nothing and is answered with the whole parameter block, so a configurator sees
//    the values the device really holds.
//  - A firmware block before a transfer start, larger than the block size, or beyond the
//    capacity is not answered.
//  - Enter-bootloader in the bootloader restarts into the bootloader again.
//  - A transfer start erases the application: from then on the firmware is reported corrupt
//    until a new one is installed, so an upload that stops half-way (the line lost, the port
//    closed) leaves the device in its bootloader reporting corrupt firmware.
//  - A restart from the bootloader installs the payload received since the last transfer start
//    when that transfer is complete (TSimOptions::ExpectedFirmware says how that is judged) and
//    clears the corrupt flag. A partial payload is never run: while the firmware is corrupt and
//    no complete payload is waiting, a restart comes back in the bootloader. Any restart ends
//    a transfer.
#include "protocol/DeviceMessages.h"
#include "sim/SimOptions.h"

#include <string>

namespace fk {

class TSimDevice {
public:
    // What the device does about one request.
    struct TOutcome {
        bool Reply = false;   // answer with ReplyData
        TByteString ReplyData;
        bool Restart = false; // restart once the reply has left; FinishRestart ends it
        std::string Note;     // what was done, for the log
    };

    explicit TSimDevice(const TSimOptions& options);

    // The request must be a protocol-2 packet for this device, its data unscrambled.
    TOutcome Handle(const KestPacketHeader2_t_& request, const u8* data, unsigned size);

    // The reply to the last request never reached the configurator (dropped or damaged).
    void ReplyLost() noexcept { replyLost_ = true; }

    // The restart announced by the last outcome is over: the device runs in its new mode.
    // True when a new firmware payload was installed.
    bool FinishRestart();
    // Why the last restart did not install the payload received, empty when there was none.
    const std::string& RestartNote() const noexcept { return restartNote_; }

    bool InBootloader() const noexcept { return bootloader_; }
    bool Venting() const noexcept { return venting_; }
    bool FirmwareCorrupt() const noexcept { return corrupt_; }
    const TDeviceParameters& Parameters() const noexcept { return parameters_; }
    const TByteString& ReceivedFirmware() const noexcept { return received_; }
    const TByteString& InstalledFirmware() const noexcept { return installed_; }
    unsigned DuplicateBlocks() const noexcept { return duplicates_; }

    TDeviceInfo DeviceInfo() const noexcept;
    TFirmwareInfo FirmwareInfo() const noexcept;

    static const char* CodeName(TDevContext2 code) noexcept;

private:
    TOutcome Parameters(const u8* data, unsigned size);
    TOutcome FirmwareBlock(const u8* data, unsigned size, bool resend);
    TOutcome RestartInto(bool bootloader, const char* what);
    bool HasNewFirmware() const noexcept;

    TSimOptions options_;
    bool bootloader_;
    bool nextBootloader_ = false; // run mode after the restart in progress
    bool corrupt_;
    bool venting_ = false;
    TDeviceParameters parameters_;

    bool transfer_ = false;       // a transfer start was received in this bootloader session
    TByteString received_;        // payload received since the transfer start
    TByteString lastBlock_;       // the last block appended (or dropped as a resend)
    TByteString installed_;
    unsigned duplicates_ = 0;
    std::string restartNote_;

    bool replyLost_ = false;      // the previous request's reply was lost
    TDevContext2 lastCode_ = 0xFF;
};

} // namespace fk
