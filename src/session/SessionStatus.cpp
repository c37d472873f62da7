#include "session/SessionStatus.h"

#include "connection/KestConnection.h"
#include "platform/Timer.h"
#include "session/DeviceSession.h"

namespace fk {

TSessionStatus::TSessionStatus(TDeviceSession& session)
    : session_(session)
{
    lostTimer_ = Create<TTimer>(&session);
    lostTimer_->SetEnabled(false);
    lostTimer_->SetInterval(LostStatusHold);
    lostTimer_->OnTimer = TNotifyEvent(this, &TSessionStatus::LostTimerTimer);
}

void TSessionStatus::Detach()
{
    lostTimer_->SetEnabled(false);
    lostTimer_->OnTimer = nullptr;
}

void TSessionStatus::HoldLost() { lostTimer_->Restart(LostStatusHold); }

void TSessionStatus::CancelLost() { lostTimer_->SetEnabled(false); }

void TSessionStatus::Forget() noexcept
{
    failureUnseen_ = false;
    heldIndex_ = -1;
}

// While a failure is unseen, the all-is-well statuses of the device found again wait behind
// it: the user must not read "Connected" before having had the chance to read what failed.
// A warning about the device (its firmware corrupted, ...) is shown: it stays true as well.
bool TSessionStatus::HeldBehindFailure(int index) const
{
    if (!failureUnseen_)
        return false;
    switch (index) {
    case staConnecting:
    case staUploading:
    case staConnected:
    case staUploadDone:
        return true;
    default:
        return false;
    }
}

void TSessionStatus::ShowFailure(int index)
{
    Forget();
    Show(index, icWarning);
    failureUnseen_ = true;
}

void TSessionStatus::FailureSeen()
{
    if (!failureUnseen_)
        return;
    failureUnseen_ = false;
    const int held = heldIndex_;
    heldIndex_ = -1;
    if (held < 0)
        return;
    if (held == staConnected && session_.deviceState_ == dsConnected && session_.writes_.ShowOutOfRange())
        return;
    Show(held, heldIcon_);
}

void TSessionStatus::LostTimerTimer(TObject*)
{
    lostTimer_->SetEnabled(false);
    if (session_.deviceState_ == dsNone && session_.serial_->IsValid())
        Show(staConnectionLost, icWarning);
}

void TSessionStatus::Show(int index, TIconClass iconClass)
{
    if (HeldBehindFailure(index)) {
        heldIndex_ = index;
        heldIcon_ = iconClass;
        return;
    }
    if (index != staUploadFailed && index != staUploadInterrupted)
        lostTimer_->SetEnabled(false); // a later status says what is
    index_ = index;
    TSessionView* view = session_.view_;
    if (!view)
        return;
    String suffix;
    if (index == staPortOpening)
        suffix = session_.serial_->PortName();
    else if (index == staUploadFailed || index == staUploadInterrupted)
        suffix = session_.messages_.MessageText(session_.run_.Transfer().Report().FailCause); // what happened
    else if (index == staPortOpenFailed)
        suffix = session_.diagnosis_.OpenFailureReason();
    view->ShowStatus(index, iconClass, suffix);
}

} // namespace fk
