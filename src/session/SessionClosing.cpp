#include "session/SessionClosing.h"

#include "connection/KestConnection.h"
#include "platform/Timer.h"
#include "session/DeviceSession.h"

namespace fk {

TSessionClosing::TSessionClosing(TDeviceSession& session)
    : session_(session)
    , lostStatus_(staConnectionLost)
{
    farewellTimer_ = Create<TTimer>(&session);
    farewellTimer_->SetEnabled(false);
    farewellTimer_->OnTimer = TNotifyEvent(this, &TSessionClosing::FarewellTimerTimer);
}

void TSessionClosing::Detach()
{
    farewellTimer_->SetEnabled(false);
    farewellTimer_->OnTimer = nullptr;
}

bool TSessionClosing::SayFarewell()
{
    TDeviceSession& s = session_;
    if (!s.serial_->IsValid())
        return false;
    if (s.uploadState_ != usNone) {
        s.run_.Abort();
        return !s.queue_->Empty();
    }
    if (s.deviceState_ > dsNone && s.deviceInfo_.RunMode() == 0 && !s.deviceInfo_.IsCorrupt()
        && s.restartPending_ != rpToApplication) {
        s.restartAttempts_ = 0;
        return s.QueueRequest(dcRestart, 0, true);
    }
    return false;
}

bool TSessionClosing::FarewellPending() const { return session_.serial_->IsValid() && !session_.queue_->Empty(); }

void TSessionClosing::WaitForFarewell() { farewellTimer_->Restart(FarewellTime); }

void TSessionClosing::Disconnect()
{
    userClose_ = true;
    openAfterFarewell_.reset(); // the user's last word: no other port opens
    if (SayFarewell()) {
        // The abort or the restart out of the bootloader reaches the device before the port
        // closes: the close follows its answer, at the latest after FarewellTime.
        closeAfterFarewell_ = true;
        WaitForFarewell();
        return;
    }
    session_.serial_->Close();
}

bool TSessionClosing::OpenAfterFarewell(const String& port)
{
    if (!SayFarewell())
        return false;
    // The open port goes with this open: an upload stopped at the user's word, or a device
    // left in its bootloader, gets its restart on the line first; the open follows its answer,
    // at the latest after FarewellTime.
    openAfterFarewell_ = port;
    closeAfterFarewell_ = false;
    WaitForFarewell();
    return true;
}

// The line itself went away (hang-up, end of file): nothing more can reach the device.
void TSessionClosing::ModemLost()
{
    TKestConnection& serial = *session_.serial_;
    if (!serial.IsValid() && serial.CurrentPortName().empty())
        return;
    portLost_ = true;
    lostStatus_ = staConnectionLost;
    serial.Close();
}

void TSessionClosing::PortLost(int status)
{
    TDeviceSession& s = session_;
    if (!s.serial_->IsValid() && s.serial_->CurrentPortName().empty())
        return;
    portLost_ = true;
    lostStatus_ = status;
    if (closeAfterFarewell_)
        return; // a farewell is on its way: the port closes after it
    openAfterFarewell_.reset();
    // A port that left the system's list may still carry the line (a device node that went
    // away while its descriptor is open): a device left in its bootloader gets its restart
    // first, as on Disconnect. A line that is gone refuses the write, and the port closes at
    // once. An upload under way is not aborted at the user's word: it is noted as interrupted
    // by the lost port first, so that the close tells it as such (status, box, record).
    requestRefused_ = false;
    const bool farewell = s.uploadState_ == usNone ? SayFarewell() : InterruptUpload();
    if (farewell && !requestRefused_) {
        closeAfterFarewell_ = true;
        WaitForFarewell();
        return;
    }
    s.serial_->Close();
}

// The port is lost during an upload: the failure is noted (the farewell does not reset it), the
// request on the line dropped, and the device restarted at once. True when the restart went.
bool TSessionClosing::InterruptUpload()
{
    TDeviceSession& s = session_;
    if (!s.serial_->IsValid())
        return false;
    s.run_.NoteUploadFailure(lostStatus_);
    s.queue_->Clear();
    s.run_.ResetUpload();
    s.restartAttempts_ = 0;
    return s.QueueRequest(dcRestart, 0, true);
}

void TSessionClosing::MessageHandled()
{
    if ((closeAfterFarewell_ || openAfterFarewell_) && session_.queue_->Empty())
        farewellTimer_->Restart(1); // answered: the port closes (outside the port's event)
}

void TSessionClosing::FarewellTimerTimer(TObject*)
{
    farewellTimer_->SetEnabled(false);
    if (openAfterFarewell_) {
        const String name = std::move(*openAfterFarewell_);
        openAfterFarewell_.reset();
        session_.OpenEntry(session_.ports_.Find(name), true);
        return;
    }
    if (!closeAfterFarewell_)
        return;
    closeAfterFarewell_ = false;
    session_.serial_->Close();
}

void TSessionClosing::Opening()
{
    portLost_ = false;
    portOpened_ = false;
    userClose_ = false;
    closeStatusShown_ = false;
    closeAfterFarewell_ = false;
    farewellTimer_->SetEnabled(false);
}

void TSessionClosing::Closing(TCommCloseReason reason)
{
    TDeviceSession& s = session_;
    // A device left in its bootloader with sound firmware goes back to its application.
    if (s.deviceState_ > dsNone && s.deviceInfo_.RunMode() == 0 && !s.deviceInfo_.IsCorrupt()
        && s.restartPending_ != rpToApplication)
        s.QueueRequest(dcRestart, 0, true);
    CommonClose(reason);
}

void TSessionClosing::Closed(TCommCloseReason reason)
{
    CommonClose(reason);
    session_.ClosedStateUpdate();
    if (reason != ccReasonReOpen) {
        portLost_ = false;
        portOpened_ = false;
        lostStatus_ = staConnectionLost;
        userClose_ = false;
        closeStatusShown_ = false;
    }
    closeAfterFarewell_ = false;
    if (!openAfterFarewell_)
        farewellTimer_->SetEnabled(false); // an open waiting for the farewell still follows
}

void TSessionClosing::CommonClose(TCommCloseReason reason)
{
    TDeviceSession& s = session_;
    if (s.run_.uploadToRecord_)
        s.run_.RecordUploadEnd("ok", {}); // the new firmware's description was not read before the close
    s.rebootAsked_ = false;
    s.status_.CancelLost();
    s.pollTimer_->SetEnabled(false);
    s.queue_->StopReplyTimer();
    if (reason == ccReasonError && portOpened_)
        portLost_ = true; // the port ended by itself (a failed open has said why already)
    // An upload that the port's loss interrupts is reported; one the user stopped is not.
    if (reason != ccReasonReOpen && portLost_ && s.uploadState_ != usNone)
        s.run_.NoteUploadFailure(lostStatus_);
    if (reason != ccReasonReOpen)
        s.run_.ResetUpload();
    const bool hadDevice = s.deviceState_ > dsNone;
    inClose_ = true;
    s.SetDeviceState(dsNone);
    inClose_ = false;
    if (s.view_)
        s.view_->RepaintPortList();
    ShowCloseStatus(reason, hadDevice);
    if (reason != ccReasonReOpen)
        s.ports_.SetConnectedIndex(-1);
    if (s.view_)
        s.view_->ShowPortInStatusBar();
}

// The status a close leaves, shown by the closing event and kept by the closed event: a lost
// port says what was lost (and an interrupted upload), the user's own close "Disconnected";
// other closes say "Disconnected" after a device, and leave the status empty otherwise.
void TSessionClosing::ShowCloseStatus(TCommCloseReason reason, bool hadDevice)
{
    TDeviceSession& s = session_;
    if (closeStatusShown_)
        return;
    if (reason == ccReasonReOpen) {
        if (hadDevice)
            s.ShowStatus(staDisconnected, icInformation);
        return;
    }
    closeStatusShown_ = true;
    if (portLost_) {
        s.ShowStatus(lostStatus_, icWarning);
        s.run_.ReportUploadFailure();
    } else if (hadDevice || userClose_) {
        s.ShowStatus(staDisconnected, icInformation);
    } else if (reason == ccReasonClose) {
        s.status_.Shown(-1);
        if (s.view_)
            s.view_->ClearStatus();
    }
}

} // namespace fk
