#pragma once
// TPortDiagnosis: what the device session knows about its serial port beyond the device's own
// replies, for the statuses and the tool's messages that explain a failure: the error number
// of the last open, the stale lock file or the program that keeps the port from us, the other
// programs that have it open beside us, and the modem commands that a modem manager sent to it
// while we held it.
//
// A part of TDeviceSession; a module link has none of these (the answers are empty).
#include "connection/KestConnectionTypes.h"
#include "platform/Types.h"
#include "ports/PortHolder.h"

#include <vector>

namespace fk {

class TDeviceSession;

class TPortDiagnosis {
public:
    explicit TPortDiagnosis(const TDeviceSession& session) : session_(session) {}
    TPortDiagnosis(const TPortDiagnosis&) = delete;
    TPortDiagnosis& operator=(const TPortDiagnosis&) = delete;

    // The error number of the last failed open (0 after a successful one).
    u32 LastOpenError() const noexcept { return lastOpenError_; }
    // What the status text of the last failed open does not tell by itself: which stale lock
    // file of another user blocks the port. Empty otherwise. The status line shows it behind
    // "Can not open the port".
    String OpenFailureReason() const;
    // Who holds the serial port when the last open failed because it is in use (culprit
    // pcNone otherwise); looked for below /proc.
    const TPortHolderReport& PortHolder() const noexcept { return portHolder_; }
    // The other programs that have the serial port open (they may be taking the replies);
    // empty for a module link or a closed port. Looked up when asked.
    std::vector<TFileHolder> OtherOpeners() const;
    // Bytes dropped on the open serial port that carried modem commands (ModemManager probing
    // it although we hold it); counted from the port's opening.
    u32 ModemCommandBytes() const noexcept { return modemCommandBytes_; }

private:
    friend class TDeviceSession;

    void Opening() noexcept { modemCommandBytes_ = 0; }
    void Opened(const String& fileName, u32 result);
    // Bytes the receiver threw away.
    void PacketLoss(const void* buffer, DWORD transferred, TPacketLossReason reason);
    bool OnSerialPort() const;

    static constexpr const char* ProcRoot = "/proc";
    const TDeviceSession& session_;
    u32 lastOpenError_ = 0;
    TPortHolderReport portHolder_;
    u32 modemCommandBytes_ = 0;
};

} // namespace fk
