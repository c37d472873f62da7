#pragma once
// TSessionStatus: the device session's status line, and the rule that a failure stays in it
// until the user acts.
//
// An upload's failure shown in the status is "unseen" until the user acts (a click, a key,
// another connection): meanwhile the all-is-well statuses of the device found again
// (connecting, uploading, connected, firmware uploaded) wait behind it, and the latest of them
// is shown once the failure has been seen. A device given up is told "Connection lost" only
// LostStatusHold after, unless it answered again meanwhile: a device that resumes within it
// changes nothing on the screen.
//
// A part of TDeviceSession, on the main thread.
#include "platform/Types.h"
#include "session/SessionView.h"

namespace fk {

class TDeviceSession;
class TObject;
class TTimer;

class TSessionStatus {
public:
    // How long a device given up may take to answer again before "Connection lost", ms.
    static constexpr unsigned LostStatusHold = 600;

    explicit TSessionStatus(TDeviceSession& session);
    TSessionStatus(const TSessionStatus&) = delete;
    TSessionStatus& operator=(const TSessionStatus&) = delete;

    // The index of the status last shown, -1 when the status line is empty.
    int Index() const noexcept { return index_; }
    // An upload's failure is in the status and the user has not acted since.
    bool FailureUnseen() const noexcept { return failureUnseen_; }

private:
    friend class TDeviceSession;
    friend class TParameterWrites;
    friend class TSessionClosing;
    friend class TUploadRun;

    // Shows the status (with what the session adds to it), or holds it behind an unseen failure.
    void Show(int index, TIconClass iconClass);
    // The status was shown by other means (with its own text), or cleared (-1).
    void Shown(int index) noexcept { index_ = index; }
    // A failure's status: shown even behind an earlier one, unseen from now on.
    void ShowFailure(int index);
    // The user acted: the failure has been seen, and the status held back behind it is shown.
    void FailureSeen();
    // A new connection or upload: nothing unseen, nothing held.
    void Forget() noexcept;
    // The device was given up: "Connection lost" after LostStatusHold unless it answers.
    void HoldLost();
    // The device answered again, or the port closes: the lost status is not shown.
    void CancelLost();
    void Detach();

    bool HeldBehindFailure(int index) const;
    void LostTimerTimer(TObject* sender);

    TDeviceSession& session_;
    TTimer* lostTimer_ = nullptr; // owned by the session (child component)
    int index_ = -1;
    bool failureUnseen_ = false;
    int heldIndex_ = -1;
    TIconClass heldIcon_ = icNone;
};

} // namespace fk
