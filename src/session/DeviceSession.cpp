#include "session/DeviceSession.h"

#include "connection/KestConnection.h"
#include "ports/CommPort.h"
#include "ports/SerialPort.h"
#include "platform/LastError.h"
#include "platform/Timer.h"
#include "session/FirmwareImage.h"
#include "support/TraceSink.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

namespace fk {

namespace {

// Open failures by error number: the status that names them.
int OpenFailureStatus(u32 error) noexcept
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return staPortInactive;
    case ERROR_ACCESS_DENIED:
        return staPortInUse;
    case ERROR_SEM_TIMEOUT:
        return staTargetInactive;
    default:
        return staPortOpenFailed;
    }
}

} // namespace

TDeviceSession::TDeviceSession(TComponent* owner, TSessionView* view)
    : TComponent(owner)
    , view_(view)
{
    pollTimer_ = Create<TTimer>(this);
    pollTimer_->SetEnabled(false);
    pollTimer_->SetInterval(PollInterval);
    pollTimer_->OnTimer = TNotifyEvent(this, &TDeviceSession::PollTimerTimer);
    farewellTimer_ = Create<TTimer>(this);
    farewellTimer_->SetEnabled(false);
    farewellTimer_->OnTimer = TNotifyEvent(this, &TDeviceSession::FarewellTimerTimer);
    lostStatusTimer_ = Create<TTimer>(this);
    lostStatusTimer_->SetEnabled(false);
    lostStatusTimer_->SetInterval(LostStatusHold);
    lostStatusTimer_->OnTimer = TNotifyEvent(this, &TDeviceSession::LostStatusTimerTimer);

    serialPort1_ = Create<TSerialPort>(this);
    serialPort1_->SetAutoRead(true);
    serialPort1_->SetSynchronous(0, false); // open in the background
    serialPort1_->SetSynchronous(1, false); // close in the background

    serial_ = Create<TKestConnection>(this);
    serial_->SetMaxPacketLength(MaxPacketLength);
    serial_->SetMaxDataLength(MaxDataLength);
    serial_->SetCommPort(serialPort1_);
    serial_->OnOpening = TCommOpenEvent(this, &TDeviceSession::SerialOpening);
    serial_->OnOpen = TCommOpenEvent(this, &TDeviceSession::SerialOpen);
    serial_->OnClosing = TCommCloseEvent(this, &TDeviceSession::SerialClosing);
    serial_->OnClosed = TCommCloseEvent(this, &TDeviceSession::SerialClosed);
    serial_->OnError = TCommErrorEvent(this, &TDeviceSession::SerialError);
    serial_->OnModemLost = TCommSpeedEvent(this, &TDeviceSession::SerialModemLost);
    serial_->OnPacketReceived = TKestPacketEvent(this, &TDeviceSession::SerialPacketReceived);
    serial_->OnPacketLoss = TKestPacketLossEvent(this, &TDeviceSession::SerialPacketLoss);
    queue_ = Create<TRequestQueue>(this, serial_, static_cast<TRequestQueue::THost*>(this));

    std::memset(parameters_.Bytes, 0xFF, sizeof parameters_.Bytes);
    parameters_.Bytes[0] = OpenTimeMin;
    parameters_.Bytes[1] = BreakTimeMin;
    knobs_[skOpenTime] = {parameters_.Bytes[0], OpenTimeMin, OpenTimeMax};
    knobs_[skBreakTime] = {parameters_.Bytes[1], BreakTimeMin, BreakTimeMax};
}

TDeviceSession::~TDeviceSession()
{
    // The parts outlive this destructor (the component base frees them afterwards): nothing
    // they do from here on may reach the session's handlers or its view.
    DetachConnection();
    view_ = nullptr;
    if (serial_)
        serial_->Close();
}

void TDeviceSession::DetachConnection()
{
    pollTimer_->SetEnabled(false);
    pollTimer_->OnTimer = nullptr;
    queue_->StopReplyTimer();
    farewellTimer_->SetEnabled(false);
    farewellTimer_->OnTimer = nullptr;
    lostStatusTimer_->SetEnabled(false);
    lostStatusTimer_->OnTimer = nullptr;
    serial_->OnOpening = nullptr;
    serial_->OnOpen = nullptr;
    serial_->OnClosing = nullptr;
    serial_->OnClosed = nullptr;
    serial_->OnError = nullptr;
    serial_->OnModemLost = nullptr;
    serial_->OnPacketReceived = nullptr;
    serial_->OnPacketLoss = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Connecting

int TDeviceSession::FindEntry(const String& name) const
{
    for (std::size_t i = 0; i < PortList.size(); ++i)
        if (PortList[i].PortName == name)
            return static_cast<int>(i);
    return -1;
}

bool TDeviceSession::ConnectToEntry(const std::optional<String>& name, bool confirm)
{
    if (confirm) {
        if (!ConfirmStopUpload(usNone))
            return false;
        HideProgress();
    }
    AutoConnectDone = true;
    const int index = !name ? ItemIndex : name->empty() ? -1 : FindEntry(*name);
    if (confirm && index >= 0 && static_cast<std::size_t>(index) < PortList.size() && SayFarewell()) {
        // The open port goes with this open: an upload stopped at the user's word, or a
        // device left in its bootloader, gets its restart on the line first; the open follows
        // its answer, at the latest after FarewellTime.
        openAfterFarewell_ = PortList[static_cast<std::size_t>(index)].PortName;
        closeAfterFarewell_ = false;
        farewellTimer_->Restart(FarewellTime);
        return true;
    }
    if (confirm)
        ResetUpload(); // stopped at the user's word: not reported as a failure
    return OpenEntry(index, name.has_value());
}

bool TDeviceSession::OpenEntry(int index, bool named)
{
    if (index >= 0 && static_cast<std::size_t>(index) < PortList.size()) {
        const TCommEnumerator::TCommPortInfo entry = PortList[static_cast<std::size_t>(index)];
        serial_->SetCommPort(BindPortForEntry(entry));
        serial_->SetPortName(entry.PortName);
        connectedIndex_ = index;
        if (view_) {
            view_->EnableConnect(false);
            view_->RepaintPortList(); // the entry in use shows the device's state from now on
        }
        const bool started = serial_->Open();
        if (view_)
            view_->EnableConnect(!PortList.empty());
        return started;
    }
    serial_->Close();
    if (named)
        return false;
    ShowStatus(PortList.empty() ? staNoPorts : staNoPortSelected, icWarning);
    return false;
}

bool TDeviceSession::Connect(const String& port)
{
    if (uploadState_ != usNone) {
        HideProgress();
        ResetUpload(); // stopped at the caller's word: not reported as a failure
    }
    return ConnectToEntry(port, false);
}

TCommPort* TDeviceSession::BindPortForEntry(const TCommEnumerator::TCommPortInfo&) { return serialPort1_; }

bool TDeviceSession::IsModuleLink() const { return false; }

bool TDeviceSession::ModuleLinkSuspended() const { return false; }

// ---------------------------------------------------------------------------------------------
// Port events

void TDeviceSession::SerialOpening(TObject*, const String&, u32)
{
    modemCommandBytes_ = 0;
    queue_->Clear();
    restartPending_ = rpNone;
    restartAttempts_ = 0;
    deviceRefused_ = false;
    portLost_ = false;
    portOpened_ = false;
    userClose_ = false;
    closeStatusShown_ = false;
    closeAfterFarewell_ = false;
    farewellTimer_->SetEnabled(false);
    SetDeviceState(dsNone);
    if (view_) {
        view_->SetConnectDefault(false);
        view_->EnableDisconnect(true);
        view_->RepaintPortList();
    }
    const String& name = serial_->PortName();
    if (!connectedPort_.empty() && connectedPort_ == name)
        currentPort_.clear();
    else
        currentPort_ = name;
    failureUnseen_ = false; // another connection: the user has acted
    heldStatus_ = -1;
    ShowStatus(staPortOpening, icInformation);
    if (view_)
        view_->ShowPortInStatusBar();
}

void TDeviceSession::SerialOpen(TObject*, const String& fileName, u32 result)
{
    lastOpenError_ = result;
    NotePortHolder(fileName, result);
    if (result == ERROR_SUCCESS) {
        portOpened_ = true;
        ShowStatus(staConnecting, icInformation);
        if (view_)
            view_->RepaintPortList();
        if (IsModuleLink())
            QueueDeferredRequest(dcDeviceInfo, TDeviceInfo::Size, ModuleFirstRequestDelay);
        else
            QueueRequest(dcDeviceInfo, TDeviceInfo::Size, false);
        return;
    }
    pollTimer_->SetEnabled(false);
    queue_->StopReplyTimer();
    ResetUpload();
    ShowStatus(OpenFailureStatus(result), icWarning);
    if (result != ERROR_OPERATION_ABORTED)
        connectedIndex_ = -1;
    ClosedStateUpdate();
}

void TDeviceSession::SerialClosing(TObject*, const String&, u32, TCommCloseReason reason)
{
    // A device left in its bootloader with sound firmware goes back to its application.
    if (deviceState_ > dsNone && deviceInfo_.RunMode() == 0 && !deviceInfo_.IsCorrupt()
        && restartPending_ != rpToApplication)
        QueueRequest(dcRestart, 0, true);
    CommonClose(reason);
}

void TDeviceSession::SerialClosed(TObject*, const String&, u32, TCommCloseReason reason)
{
    CommonClose(reason);
    ClosedStateUpdate();
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

void TDeviceSession::CommonClose(TCommCloseReason reason)
{
    if (uploadToRecord_)
        RecordUploadEnd("ok", {}); // the new firmware's description was not read before the close
    rebootAsked_ = false;
    lostStatusTimer_->SetEnabled(false);
    pollTimer_->SetEnabled(false);
    queue_->StopReplyTimer();
    if (reason == ccReasonError && portOpened_)
        portLost_ = true; // the port ended by itself (a failed open has said why already)
    // An upload that the port's loss interrupts is reported; one the user stopped is not.
    if (reason != ccReasonReOpen && portLost_ && uploadState_ != usNone)
        NoteUploadFailure(lostStatus_);
    if (reason != ccReasonReOpen)
        ResetUpload();
    const bool hadDevice = deviceState_ > dsNone;
    inClose_ = true;
    SetDeviceState(dsNone);
    inClose_ = false;
    if (view_)
        view_->RepaintPortList();
    ShowCloseStatus(reason, hadDevice);
    if (reason != ccReasonReOpen)
        connectedIndex_ = -1;
    if (view_)
        view_->ShowPortInStatusBar();
}

// The status a close leaves, shown by the closing event and kept by the closed event: a lost
// port says what was lost (and an interrupted upload), the user's own close "Disconnected";
// other closes say "Disconnected" after a device, and leave the status empty otherwise.
void TDeviceSession::ShowCloseStatus(TCommCloseReason reason, bool hadDevice)
{
    if (closeStatusShown_)
        return;
    if (reason == ccReasonReOpen) {
        if (hadDevice)
            ShowStatus(staDisconnected, icInformation);
        return;
    }
    closeStatusShown_ = true;
    if (portLost_) {
        ShowStatus(lostStatus_, icWarning);
        ReportUploadFailure();
    } else if (hadDevice || userClose_) {
        ShowStatus(staDisconnected, icInformation);
    } else if (reason == ccReasonClose) {
        statusIndex_ = -1;
        if (view_)
            view_->ClearStatus();
    }
}

void TDeviceSession::ClosedStateUpdate()
{
    queue_->TakeHeldBack(); // nothing held back runs on a closed port
    if (view_) {
        view_->SetConnectDefault(true);
        view_->EnableDisconnect(false);
        view_->RepaintPortList();
    }
}

void TDeviceSession::SerialError(TObject*, TCommErrorFlags errors)
{
    if (errorLatch_ || (errors & PortErrorMask) == 0)
        return;
    errorLatch_ = true;
    restartAttempts_ = 0;
    SetPollTimer(RestartPollInterval);
}

// The line itself went away (hang-up, end of file): nothing more can reach the device.
void TDeviceSession::SerialModemLost(TObject*, u32)
{
    if (!serial_->IsValid() && serial_->CurrentPortName().empty())
        return;
    portLost_ = true;
    lostStatus_ = staConnectionLost;
    serial_->Close();
}

void TDeviceSession::PortLost(int status)
{
    if (!serial_->IsValid() && serial_->CurrentPortName().empty())
        return;
    portLost_ = true;
    lostStatus_ = status;
    if (closeAfterFarewell_)
        return; // a farewell is on its way: the port closes after it
    openAfterFarewell_.reset();
    // A port that left the system's list may still carry the line (a device node that went
    // away while its descriptor is open): a device left in its bootloader gets its restart
    // first, as on Disconnect. A line that is gone refuses the write, and the port closes at
    // once. An upload under way is not aborted here: it ends with the port as an interrupted
    // upload, told as such.
    requestRefused_ = false;
    if (uploadState_ == usNone && SayFarewell() && !requestRefused_) {
        closeAfterFarewell_ = true;
        farewellTimer_->Restart(FarewellTime);
        return;
    }
    serial_->Close();
}

// ---------------------------------------------------------------------------------------------
// Queueing and sending

bool TDeviceSession::QueueRequest(u8 code, u16 replyLength, bool force)
{
    return QueueDataRequest(code, nullptr, 0, replyLength, force);
}

bool TDeviceSession::QueueDataRequest(u8 code, const void* data, unsigned length, u16 replyLength, bool force)
{
    if (!queue_->Add(ControllerNode, code, data, length, replyLength))
        return false;
    if (code == dcFirmwareBlock && view_)
        view_->EnableDeviceControls(false);
    if (queue_->Size() == 1)
        SendFront(force);
    return true;
}

bool TDeviceSession::QueueDeferredRequest(u8 code, u16 replyLength, unsigned delay)
{
    if (delay == 0)
        return QueueRequest(code, replyLength, false);
    if (!queue_->Add(ControllerNode, code, nullptr, 0, replyLength))
        return false;
    SetPollTimer(delay);
    return true;
}

bool TDeviceSession::QueueParameterWrite(u16 offset, const void* bytes, unsigned length)
{
    if (length == 0 || !bytes || length > MaxDataLength - 2)
        return false;
    u8 data[MaxDataLength];
    data[0] = static_cast<u8>(offset & 0xFF);
    data[1] = static_cast<u8>(offset >> 8);
    std::memcpy(data + 2, bytes, length);
    if (!QueueDataRequest(dcParameters, data, length + 2, 0, false))
        return false;
    ++parameterWritesQueued_;
    return true;
}

bool TDeviceSession::SendFront(bool force)
{
    if (queue_->Empty()) {
        SetPollTimer(PollInterval);
        return false;
    }
    if (!force && restartPending_ != rpNone) {
        // The device is restarting: the poll sends the front once it has had time to.
        SetPollTimer(RestartPollInterval);
        return true;
    }
    pollTimer_->SetEnabled(false);
    return queue_->SendFront(true); // RequestSent re-arms the poll
}

// Every send of the front, its resend too: the poll waits a whole interval from here.
void TDeviceSession::RequestSent() { SetPollTimer(PollInterval); }

// A request the connection refused is written to the diagnostic trace; the reply time-out
// that follows tells the user as for a device that did not answer.
void TDeviceSession::RequestNotSent(DWORD error)
{
    requestRefused_ = true;
    TTraceSink::Port("send-failed", serial_->CurrentPortName(), {}, error ? error : ERROR_INVALID_HANDLE);
}

void TDeviceSession::SetPollTimer(unsigned ms)
{
    pollTimer_->SetEnabled(false);
    if (ms != 0 && serial_->IsValid())
        pollTimer_->Restart(ms);
}

// ---------------------------------------------------------------------------------------------
// Timers

void TDeviceSession::PollTimerTimer(TObject*)
{
    pollTimer_->SetEnabled(false);
    errorLatch_ = false;
    if (!serial_->IsValid())
        return;
    if (RequestLinkBusy()) {
        // The module link carries a command exchange: try again later.
        queue_->HoldBack(hoPoll, true);
        pollTimer_->Restart(pollTimer_->Interval());
        return;
    }
    queue_->HoldBack(hoPoll, false);
    if (FrontIsTransferRequest()) {
        // A transfer request still unanswered (its time-out was held back by a busy module
        // link): never sent twice, the transfer starts over.
        if (!RestartTransfer() && GiveUpDevice())
            SetPollTimer(PollInterval); // identification goes on as after any give-up
    } else if (!queue_->Empty()) {
        SendFront(true);
    } else if (restartPending_ != rpNone || uploadState_ != usNone || deviceState_ == dsNone
               || (deviceState_ == dsIdentifying && deviceInfo_.RunMode() == 0)) {
        QueueRequest(dcDeviceInfo, TDeviceInfo::Size, true);
    } else {
        QueueRequest(dcStatus, 0, true);
    }
}

bool TDeviceSession::RequestLinkBusy() const { return IsModuleLink() && ModuleLinkSuspended(); }

// The device may hold the block whose reply was lost, and a resent copy would be stored after
// it: a transfer request is never resent (RequestTimedOut starts the transfer over instead).
bool TDeviceSession::MayResend() { return !FrontIsTransferRequest(); }

// The request on the line went unanswered after its resend (a transfer request: at once).
bool TDeviceSession::RequestTimedOut()
{
    if (FrontIsTransferRequest()) {
        // The transfer starts over (it arms its own time-out).
        if (RestartTransfer())
            return false;
        return GiveUpDevice();
    }
    if (RestartHandOver())
        return false;
    return GiveUpDevice();
}

bool TDeviceSession::FrontIsTransferRequest() const
{
    return uploadState_ == usTransfer && !queue_->Empty()
        && queue_->Front().Packet.size() >= KestPacketHeader2_t_::DataOffset
        && queue_->Front().Packet[1] == dcFirmwareBlock;
}

// No valid reply after the retry: the device is given up ("Connection lost"). False when the
// port has gone as well.
bool TDeviceSession::GiveUpDevice()
{
    const bool silent = deviceState_ == dsNone;
    queue_->Purge();
    SetDeviceState(dsNone);
    // Silent since the port opened, while another program has the port open: that program
    // may be reading the replies, and the status says so (a connection never made is not
    // "lost" otherwise).
    if (silent && !OtherOpeners().empty())
        ShowStatus(staConnectionLost, icWarning);
    return serial_->Validate();
}

// A reply to the transfer was lost: the start request goes again, which makes the bootloader
// drop what it received, and the blocks follow from the first. False when the transfer has
// been started over MaxTransferRestarts times already.
bool TDeviceSession::RestartTransfer()
{
    TFirmwareUpload::TReport& report = upload_.Report();
    if (report.TransferRestarts >= MaxTransferRestarts)
        return false;
    ++report.TransferRestarts;
    report.BlocksSent = 0;
    queue_->Clear();
    upload_.Rewind();
    UpdateProgress();
    return QueueRequest(dcFirmwareBlock, 0, true);
}

// A request of the bootloader hand-over went unanswered after its resend (a damaged reply, a
// device slow to boot): the hand-over starts over from asking the device for its description,
// which brings it into its bootloader or starts the transfer. False when the upload is not
// waiting for the bootloader or has started the hand-over over often enough.
bool TDeviceSession::RestartHandOver()
{
    TFirmwareUpload::TReport& report = upload_.Report();
    if (uploadState_ != usWaitBootloader || report.HandOverRestarts >= handOverLimit_)
        return false;
    ++report.HandOverRestarts;
    queue_->Purge();
    restartPending_ = rpNone;
    return QueueRequest(dcDeviceInfo, TDeviceInfo::Size, true);
}

// ---------------------------------------------------------------------------------------------
// Receiving

void TDeviceSession::SerialPacketReceived(TObject*, const void* buffer, u32 transferred, TKestPacketType packetType)
{
    if (packetType != ptKestPacket2 || !buffer || transferred < KestPacketHeader2_t_::DataOffset)
        return;
    // A copy of the packet: its data are unscrambled here, the connection's buffer stays as it is.
    u8 bytes[KestPacketHeader2_t_::DataOffset + MaxDataLength];
    const auto* wire = static_cast<const KestPacketHeader2_t_*>(buffer);
    const unsigned length = wire->GetPacketLength();
    if (length > transferred || length > sizeof bytes || !wire->IsValid())
        return;
    std::memcpy(bytes, buffer, length);
    auto* header = reinterpret_cast<KestPacketHeader2_t_*>(bytes);
    if (header->GetSource() != ControllerNode)
        return;
    header->Decode();
    const unsigned dataLength = header->GetDataLength();
    const u8* data = header->Data();
    const u8 code = header->GetCode();

    restartPending_ = rpNone;
    bool wasReply = false;
    std::optional<TParameterWrite> answeredWrite; // the parameter write this packet answers
    if (!queue_->Empty()) {
        const auto* request = reinterpret_cast<const KestPacketHeader2_t_*>(queue_->Front().Packet.data());
        if (header->IsReplyValid(*request)) {
            wasReply = true;
            if (code == dcParameters)
                answeredWrite = ParameterWriteOf(queue_->Front());
            queue_->FrontAnswered();
            SendFront(true);
        }
    }

    if (wasReply && code == dcVentingToggle)
        RecordKind(srVenting);
    if (wasReply && code == dcRestart && rebootAsked_) {
        rebootAsked_ = false;
        RecordKind(srRestart);
    }
    switch (code) {
    case dcRestart:
        restartPending_ = rpToApplication;
        ResetUpload();
        ++restartAttempts_;
        DeviceControlsOff();
        SetPollTimer(RestartPollInterval);
        break;
    case dcEnterBootloader:
        restartPending_ = rpToBootloader;
        ++restartAttempts_;
        DeviceControlsOff();
        SetPollTimer(BootloaderPollInterval);
        break;
    case dcFirmwareBlock:
        // Only the reply to the request in flight moves the transfer on: a late reply to a
        // request given up since would send a block before its turn.
        if (wasReply && !TransferStepHeld())
            FirmwareBlockStep();
        break;
    case dcDeviceInfo:
        IdentificationStep(data, dataLength);
        break;
    case dcFirmwareInfo:
        FirmwareInfoStep(data, dataLength);
        break;
    case dcStatus:
        // Each keep-alive reply while identifying asks for the parameters again; a device that
        // failed the identifier check is never asked (and so never connected).
        if (deviceState_ == dsIdentifying && !deviceRefused_)
            QueueRequest(dcParameters, TDeviceParameters::Size, false);
        break;
    case dcParameters:
        ParameterStep(data, dataLength, answeredWrite ? &*answeredWrite : nullptr);
        break;
    default:
        break; // codes the configurator does not use
    }
    if ((closeAfterFarewell_ || openAfterFarewell_) && queue_->Empty())
        farewellTimer_->Restart(1); // answered: the port closes (outside the port's event)
    OnDeviceMessage.Invoke(this, code, dataLength, wasReply);
}

// While a question about stopping the upload is open, the transfer does not move on: the
// step is held and taken after the answer (unless the answer stops the upload).
bool TDeviceSession::TransferStepHeld()
{
    if (!transferPaused_)
        return false;
    heldBlockStep_ = true;
    return true;
}

void TDeviceSession::DeviceControlsOff()
{
    if (view_) {
        view_->EnableDeviceControls(false);
        view_->EnableReboot(false);
    }
    HideProgress();
}

void TDeviceSession::HideProgress()
{
    progressVisible_ = false;
    if (view_)
        view_->ShowProgress(false, progressPosition_, progressPaused_);
}

void TDeviceSession::IdentificationStep(const u8* data, unsigned length)
{
    if (length < TDeviceInfo::Size)
        return;
    if (data[7] > 1) {
        // A device the configurator does not talk to.
        SetDeviceState(dsNone);
        return;
    }
    const u8 previousMode = deviceInfo_.RunMode();
    deviceInfo_.Load(data, length);
    if (!SetDeviceState(dsIdentifying) && previousMode != deviceInfo_.RunMode() && view_)
        view_->RepaintPortList(); // the entry's icon shows the run mode

    const bool uploadRequested = uploadState_ != usNone;
    const bool application = deviceInfo_.ApplicationRuns();
    const bool corrupt = deviceInfo_.IsCorrupt();
    if (uploadRequested && application) {
        if (restartAttempts_ < MaxRestartAttempts) {
            QueueRequest(dcEnterBootloader, 0, false);
        } else {
            NoteUploadFailure(staBootloaderFailed);
            ShowStatus(staBootloaderFailed, icWarning);
            ResetUpload();
            ReportUploadFailure();
        }
    } else if (uploadState_ == usTransfer) {
        // A late reply to a device information request (one that was resent): the transfer
        // has started already and goes on; only a device waiting for its bootloader starts one.
    } else if (uploadRequested) {
        if (CheckImageForDevice(deviceInfo_)) {
            uploadState_ = usTransfer;
            TraceState();
            QueueRequest(dcFirmwareBlock, 0, false);
        } else {
            NoteUploadFailure(upload_.Report().DropMessage);
            ResetUpload();
            QueueRequest(dcRestart, 0, false);
            ReportUploadFailure();
        }
    } else if (!application && corrupt) {
        ResetUpload();
        if (uploadDone_)
            NewFirmwareDidNotStart();
        else
            ShowStatus(staFirmwareCorrupted, icWarning);
    } else if (!application) {
        if (restartAttempts_ < MaxRestartAttempts) {
            QueueRequest(dcRestart, 0, false);
        } else {
            ResetUpload();
            if (uploadDone_)
                NewFirmwareDidNotStart();
            else
                ShowStatus(staBootFailed, icWarning);
        }
    } else if (corrupt) {
        uploadDone_ = false;
        ShowStatus(staFirmwareCorrupted, icWarning);
    } else {
        QueueRequest(dcFirmwareInfo, TFirmwareInfo::Size, false);
    }
}

void TDeviceSession::FirmwareInfoStep(const u8* data, unsigned length)
{
    if (!firmwareInfo_.Load(data, length))
        return;
    if (uploadToRecord_)
        RecordUploadEnd("ok", {}, true);
    SetBreakTimeRange(firmwareInfo_.Version2());
    RefreshDescription();
    if (firmwareInfo_.Identifier() != deviceInfo_.Identifier() || firmwareInfo_.Bytes[2] != ExpectedModel) {
        deviceRefused_ = true;
        ShowStatus(staNotSupported, icWarning);
        return;
    }
    deviceRefused_ = false;
    QueueRequest(dcParameters, TDeviceParameters::Size, false);
}

void TDeviceSession::ParameterStep(const u8* data, unsigned length, const TParameterWrite* answered)
{
    if (length == 0) {
        // A write acknowledged: the device now holds what that write carried. An empty reply
        // to no write of ours (a late one, given up already) tells nothing.
        if (answered)
            ParameterAcknowledged(*answered);
        return;
    }
    if (length < 2 || firmwareInfo_.Version2() == 0)
        return;
    parameters_.Load(data, length);
    // A knob whose write is still queued keeps the user's value: that write's acknowledgement
    // settles it. Every other knob shows what the device holds (also a refused write's).
    for (const TSessionKnob knob : {skOpenTime, skBreakTime})
        if (!ParameterWriteQueued(knob))
            SetKnob(knob, parameters_.Bytes[ParameterOffset(knob)]);
    if (deviceState_ == dsIdentifying && !deviceRefused_)
        SetDeviceState(dsConnected);
    if (deviceState_ == dsConnected)
        ShowParameterOutOfRange();
}

// ---------------------------------------------------------------------------------------------
// Knobs

void TDeviceSession::SetBreakTimeRange(u8 version)
{
    if (version == 1)
        SetKnobRange(skBreakTime, LongBreakTimeMin, LongBreakTimeMax);
    else if (version != 0)
        SetKnobRange(skBreakTime, BreakTimeMin, BreakTimeMax);
}

void TDeviceSession::SetKnobRange(TSessionKnob knob, int min, int max)
{
    // A new range moves the position into it without writing anything: only the user's own
    // moves change the device.
    TKnobState& k = knobs_[knob];
    k.Min = min;
    k.Max = max;
    k.Position = std::clamp(k.Position, min, max);
    if (view_)
        view_->ShowKnob(knob, k.Position, k.Min, k.Max);
}

void TDeviceSession::SetKnob(TSessionKnob knob, int position)
{
    TKnobState& k = knobs_[knob];
    k.Position = std::clamp(position, k.Min, k.Max);
    if (view_)
        view_->ShowKnob(knob, k.Position, k.Min, k.Max);
}

void TDeviceSession::KnobChangePosition(TSessionKnob knob, int position) { SetKnob(knob, position); }

void TDeviceSession::KnobEndMove(TSessionKnob knob)
{
    // Only a connected device takes writes (a move that the lost link ended writes nothing);
    // a write on its way is settled by its acknowledgement.
    if (deviceState_ != dsConnected || ParameterWriteQueued(knob))
        return;
    WriteKnobIfChanged(knob);
}

void TDeviceSession::WriteKnobIfChanged(TSessionKnob knob)
{
    const u16 offset = ParameterOffset(knob);
    const u8 value = static_cast<u8>(knobs_[knob].Position & 0xFF);
    if (value != parameters_.Bytes[offset])
        QueueParameterWrite(offset, &value, 1);
}

std::optional<TDeviceSession::TParameterWrite> TDeviceSession::ParameterWriteOf(const TRequestQueue::TPacketElement& element)
{
    // The queued packet is prepared for the line (data scrambled): read a copy back.
    u8 bytes[KestPacketHeader2_t_::DataOffset + MaxDataLength];
    if (element.Packet.size() < KestPacketHeader2_t_::DataOffset || element.Packet.size() > sizeof bytes)
        return std::nullopt;
    std::memcpy(bytes, element.Packet.data(), element.Packet.size());
    auto* header = reinterpret_cast<KestPacketHeader2_t_*>(bytes);
    const unsigned length = header->GetDataLength();
    if (header->GetCode() != dcParameters || length < 3 || KestPacketHeader2_t_::DataOffset + length > element.Packet.size())
        return std::nullopt;
    header->Decode();
    const u8* data = header->Data();
    TParameterWrite write;
    write.Offset = static_cast<u16>(data[0] | data[1] << 8);
    write.Bytes.assign(data + 2, data + length);
    return write;
}

bool TDeviceSession::ParameterWriteQueued(TSessionKnob knob) const
{
    const u16 offset = ParameterOffset(knob);
    for (const TRequestQueue::TPacketElement& element : queue_->Pending()) {
        const std::optional<TParameterWrite> write = ParameterWriteOf(element);
        if (write && write->Offset <= offset && offset < write->Offset + write->Bytes.size())
            return true;
    }
    return false;
}

void TDeviceSession::ParameterAcknowledged(const TParameterWrite& write)
{
    for (std::size_t i = 0; i < write.Bytes.size() && write.Offset + i < TDeviceParameters::Size; ++i) {
        u8& held = parameters_.Bytes[write.Offset + i];
        if (held != write.Bytes[i]) {
            TSessionRecord record;
            record.Kind = srParameter;
            record.Offset = static_cast<unsigned>(write.Offset + i);
            record.Old = held;
            record.New = write.Bytes[i];
            held = write.Bytes[i];
            Record(record);
        }
    }
    // The knob may have moved again while the write was on its way (up, then back down within
    // one round trip): what the window shows is written until the device holds it.
    for (const TSessionKnob knob : {skOpenTime, skBreakTime}) {
        const u16 offset = ParameterOffset(knob);
        if (write.Offset <= offset && offset < write.Offset + write.Bytes.size() && !ParameterWriteQueued(knob))
            WriteKnobIfChanged(knob);
    }
    // The user has changed the value that lay outside the range: the warning has done its work.
    if ((statusIndex_ == staOpenTimeOutOfRange || statusIndex_ == staBreakTimeOutOfRange) && !ShowParameterOutOfRange())
        ShowStatus(staConnected, icInformation);
}

bool TDeviceSession::ShowParameterOutOfRange()
{
    // The knob shows the nearest end of its range; the status says what the device really
    // holds. Nothing is written until the user moves that knob.
    for (const TSessionKnob knob : {skOpenTime, skBreakTime}) {
        const int held = parameters_.Bytes[ParameterOffset(knob)];
        const TKnobState& k = knobs_[knob];
        if (held >= k.Min && held <= k.Max)
            continue;
        const int index = knob == skOpenTime ? staOpenTimeOutOfRange : staBreakTimeOutOfRange;
        const String value = knob == skOpenTime ? std::to_string(held) + " ms" : std::to_string(held * BreakTimeSeconds) + " s";
        statusIndex_ = index;
        if (view_)
            view_->ShowStatus(index, icWarning, value);
        return true;
    }
    return false;
}

void TDeviceSession::ScrollBarScroll(TSessionKnob knob, bool endScroll, int position)
{
    SetKnob(knob, position);
    if (endScroll)
        KnobEndMove(knob);
}

unsigned TDeviceSession::WriteParameters(std::optional<int> openTime, std::optional<int> breakTime)
{
    // Counted by what went into the queue: a value clamped onto what the device holds, or a
    // knob whose write is already on its way, adds no write (and no reply to wait for).
    const unsigned before = parameterWritesQueued_;
    const std::pair<TSessionKnob, std::optional<int>> wanted[] = {{skOpenTime, openTime}, {skBreakTime, breakTime}};
    for (const auto& [knob, value] : wanted) {
        if (!value)
            continue;
        KnobChangePosition(knob, *value);
        KnobEndMove(knob);
    }
    QueueRequest(dcParameters, TDeviceParameters::Size, false); // read the block back
    return parameterWritesQueued_ - before;
}

// ---------------------------------------------------------------------------------------------
// Device state

bool TDeviceSession::SetDeviceState(TDeviceState state)
{
    if (state == deviceState_)
        return false;
    const TDeviceState previous = deviceState_;
    deviceState_ = state;
    TraceState();
    if (state != dsNone)
        lostStatusTimer_->SetEnabled(false); // the device answered again: nothing was lost
    if (state == dsNone) {
        EnterNoDevice(previous);
        return true;
    }
    if (state == dsConnected) {
        connectedPort_ = serial_->CurrentPortName();
        if (currentPort_ == connectedPort_)
            currentPort_.clear();
        ItemIndex = connectedIndex_;
        if (view_)
            view_->SelectPortListRow(connectedIndex_);
        ForgetStalePorts();
        ResetUpload();
        const bool controls = firmwareInfo_.Version2() != 0;
        if (view_) {
            view_->EnableDeviceControls(controls);
            if (controls)
                view_->EnableReboot(true);
        }
        // The first connection after a completed transfer says that the upload succeeded.
        RecordKind(srIdentified);
        ShowStatus(uploadDone_ ? staUploadDone : staConnected, icInformation);
        uploadDone_ = false;
    }
    if (uploadState_ == usNone) {
        HideProgress();
        if (view_)
            view_->EnableReboot(true);
    }
    RefreshDescription();
    if (view_)
        view_->RepaintPortList();
    return true;
}

void TDeviceSession::EnterNoDevice(TDeviceState previous)
{
    // A device given up during an upload ends the upload; a close reports its own ending.
    if (previous > dsNone && uploadState_ != usNone && !inClose_)
        NoteUploadFailure(staConnectionLost);
    if (uploadState_ == usWaitBootloader)
        HideProgress();
    if (!connectedPort_.empty())
        currentPort_ = connectedPort_;
    restartPending_ = rpNone;
    restartAttempts_ = 0;
    connectedPort_.clear();
    ResetUpload();
    RefreshDescription();
    DeviceControlsOff();
    if (previous > dsNone && !inClose_) {
        if (failureNoted_) {
            ShowStatus(staConnectionLost, icWarning);
            ReportUploadFailure();
        } else {
            lostStatusTimer_->Restart(LostStatusHold);
        }
    }
    if (view_)
        view_->RepaintPortList();
}

void TDeviceSession::BringToClosedState()
{
    const bool wasNone = deviceState_ == dsNone;
    CommonClose(ccReasonClose);
    ClosedStateUpdate();
    if (wasNone)
        EnterNoDevice(dsNone); // SetDeviceState left an unchanged state alone
}

void TDeviceSession::RefreshDescription()
{
    if (!view_)
        return;
    if (deviceState_ == dsNone) {
        view_->ShowDescription(String(), String());
        return;
    }
    char version[96];
    std::snprintf(version, sizeof version, "Ver.:\t%i.%i.%i\r\nBuild:\t%i-%02i-%02i", firmwareInfo_.Version1(),
                  firmwareInfo_.Version2(), firmwareInfo_.Version3(), static_cast<int>(firmwareInfo_.BuildYear()),
                  firmwareInfo_.BuildMonth(), firmwareInfo_.BuildDay());
    String info;
    const String text = firmwareInfo_.InfoText();
    if (!text.empty())
        info = "Info: " + text + ", \t";
    info += "S/N: " + deviceInfo_.SerialNumber();
    view_->ShowDescription(version, info);
}

void TDeviceSession::ForgetStalePorts()
{
    if (ItemIndex < 0)
        return;
    if (!connectedPort_.empty() && FindEntry(connectedPort_) < 0)
        connectedPort_.clear();
    if (!currentPort_.empty() && FindEntry(currentPort_) < 0)
        currentPort_.clear();
}

// ---------------------------------------------------------------------------------------------
// Status, buttons, upload hooks

// While a failure is unseen, the all-is-well statuses of the device found again wait behind
// it: the user must not read "Connected" before having had the chance to read what failed.
// A warning about the device (its firmware corrupted, ...) is shown: it stays true as well.
bool TDeviceSession::HeldBehindFailure(int index) const
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

void TDeviceSession::FailureSeen()
{
    if (!failureUnseen_)
        return;
    failureUnseen_ = false;
    const int held = heldStatus_;
    heldStatus_ = -1;
    if (held < 0)
        return;
    if (held == staConnected && deviceState_ == dsConnected && ShowParameterOutOfRange())
        return;
    ShowStatus(held, heldIcon_);
}

void TDeviceSession::LostStatusTimerTimer(TObject*)
{
    lostStatusTimer_->SetEnabled(false);
    if (deviceState_ == dsNone && serial_->IsValid())
        ShowStatus(staConnectionLost, icWarning);
}

void TDeviceSession::ShowStatus(int index, TIconClass iconClass)
{
    if (HeldBehindFailure(index)) {
        heldStatus_ = index;
        heldIcon_ = iconClass;
        return;
    }
    if (index != staUploadFailed && index != staUploadInterrupted)
        lostStatusTimer_->SetEnabled(false); // a later status says what is
    statusIndex_ = index;
    if (!view_)
        return;
    String suffix;
    if (index == staPortOpening)
        suffix = serial_->PortName();
    else if (index == staUploadFailed || index == staUploadInterrupted)
        suffix = messages_.MessageText(upload_.Report().FailCause); // what happened
    else if (index == staPortOpenFailed)
        suffix = OpenFailureReason();
    view_->ShowStatus(index, iconClass, suffix);
}

void TDeviceSession::SerialPacketLoss(TObject*, const void* buffer, DWORD transferred, TPacketLossReason reason,
                                      TCommErrorFlags)
{
    // Modem commands ("AT...\r") among the bytes the receiver threw away: ModemManager, which
    // runs as root and is not kept off by our exclusive use, probed the port we hold.
    if (reason == plrNotSent || !buffer || serial_->CommPort() != serialPort1_)
        return;
    const std::string_view bytes(static_cast<const char*>(buffer), transferred);
    for (auto at = bytes.find("AT"); at != std::string_view::npos; at = bytes.find("AT", at + 2)) {
        const auto end = bytes.find('\r', at);
        if (end != std::string_view::npos && end - at <= 64) {
            modemCommandBytes_ += u32(transferred);
            return;
        }
    }
}

void TDeviceSession::NotePortHolder(const String& fileName, u32 openResult)
{
    portHolder_ = {};
    if (openResult == ERROR_ACCESS_DENIED && serial_->CommPort() == serialPort1_ && !fileName.empty())
        portHolder_ = TPortHolder::Find(fileName, ProcRoot, serialPort1_->LockDirectory());
}

std::vector<TFileHolder> TDeviceSession::OtherOpeners() const
{
    if (serial_->CommPort() != serialPort1_)
        return {};
    const String file = serialPort1_->GetCurrentFileName();
    return file.empty() ? std::vector<TFileHolder>() : TPortHolder::OtherOpeners(file, ProcRoot);
}

String TDeviceSession::OpenFailureReason() const
{
    if (lastOpenError_ != ERROR_PORT_STALE_LOCK || serial_->CommPort() != serialPort1_
        || serialPort1_->StaleLockFile().empty())
        return {};
    return "a stale lock file of another user blocks the port: " + serialPort1_->StaleLockFile();
}

bool TDeviceSession::ConfirmStopUpload(TUploadState level)
{
    if (uploadState_ <= level)
        return true;
    if (!view_)
        return false;
    // The transfer waits while the question is open, so the answer applies to the upload the
    // user was asked about. A block reply that came meanwhile is acted on after a No.
    const bool wasPaused = transferPaused_;
    transferPaused_ = true;
    const bool yes = view_->AskQuestion(msgStopUploadAsk) == qaYes;
    transferPaused_ = wasPaused;
    if (!transferPaused_ && heldBlockStep_) {
        heldBlockStep_ = false;
        if (!yes)
            FirmwareBlockStep();
    }
    return yes;
}

bool TDeviceSession::SayFarewell()
{
    if (!serial_->IsValid())
        return false;
    if (uploadState_ != usNone) {
        AbortUpload();
        return !queue_->Empty();
    }
    if (deviceState_ > dsNone && deviceInfo_.RunMode() == 0 && !deviceInfo_.IsCorrupt()
        && restartPending_ != rpToApplication) {
        restartAttempts_ = 0;
        return QueueRequest(dcRestart, 0, true);
    }
    return false;
}

bool TDeviceSession::FarewellPending() const { return serial_->IsValid() && !queue_->Empty(); }

void TDeviceSession::FarewellTimerTimer(TObject*)
{
    farewellTimer_->SetEnabled(false);
    if (openAfterFarewell_) {
        const String name = std::move(*openAfterFarewell_);
        openAfterFarewell_.reset();
        OpenEntry(FindEntry(name), true);
        return;
    }
    if (!closeAfterFarewell_)
        return;
    closeAfterFarewell_ = false;
    serial_->Close();
}

// ---------------------------------------------------------------------------------------------
// Upload endings

// Notes, before the upload is reset, that it ended without the user's word: what happened and
// whether the transfer had begun (the bootloader dropped the application when it did).
void TDeviceSession::NoteUploadFailure(int cause)
{
    if (uploadState_ == usNone || failureNoted_)
        return;
    TFirmwareUpload::TReport& report = upload_.Report();
    report.FailCause = cause;
    report.FirmwareErased = uploadState_ == usTransfer;
    failureNoted_ = true;
}

// Shows a noted failure after the status of what happened: the status names the ending and its
// cause, and the view shows what the device holds now.
void TDeviceSession::ReportUploadFailure()
{
    if (!failureNoted_)
        return;
    failureNoted_ = false;
    const TFirmwareUpload::TReport& report = upload_.Report();
    RecordUploadEnd("failed", TMessageTable::DefaultText(report.FailCause));
    const bool interrupted = report.FirmwareErased && report.FailCause != staNewFirmwareNoStart;
    heldStatus_ = -1;
    failureUnseen_ = false;
    ShowStatus(interrupted ? staUploadInterrupted : staUploadFailed, icWarning);
    failureUnseen_ = true;
    if (view_)
        view_->UploadFailed(report.FailCause, report.FirmwareErased);
}

void TDeviceSession::NewFirmwareDidNotStart()
{
    uploadDone_ = false;
    TFirmwareUpload::TReport& report = upload_.Report();
    report.FailCause = staNewFirmwareNoStart;
    report.FirmwareErased = true;
    failureNoted_ = true;
    ReportUploadFailure();
}

void TDeviceSession::RestartDevice()
{
    ResetUpload();
    restartAttempts_ = 0;
    QueueRequest(dcRestart, 0, false);
}

// The diagnostic trace's record of the device and upload states, once per change.
void TDeviceSession::TraceState()
{
    const int state = deviceState_ * 3 + uploadState_;
    if (state == tracedState_)
        return;
    tracedState_ = state;
    static constexpr const char* devices[] = {"none", "identifying", "connected"};
    static constexpr const char* uploads[] = {"none", "wait-bootloader", "transfer"};
    TTraceSink::State(devices[deviceState_], uploads[uploadState_]);
}

// ---------------------------------------------------------------------------------------------
// Firmware upload

void TDeviceSession::ResetUpload()
{
    uploadState_ = usNone;
    TraceState();
    if (upload_.Reset())
        UpdateProgress();
}

void TDeviceSession::UpdateProgress()
{
    if (upload_.PayloadLength() > 0) {
        if (!progressVisible_) {
            progressPaused_ = false;
            progressVisible_ = true;
        }
        progressPosition_ = upload_.Position(ProgressMin, ProgressMax);
        if (view_)
            view_->ShowProgress(true, progressPosition_, progressPaused_);
        if (serial_->IsValid())
            ShowStatus(uploadState_ == usTransfer ? staUploading : staConnecting, icInformation);
        return;
    }
    if (!progressVisible_)
        return;
    if (progressPosition_ < ProgressMax) {
        // An aborted or failed transfer: the bar stays where it stopped.
        progressPaused_ = true;
        if (view_)
            view_->ShowProgress(true, progressPosition_, progressPaused_);
    } else {
        HideProgress();
    }
}

bool TDeviceSession::LoadFirmwareImage(const String& fileName, TByteString& image, const TDeviceInfo* info)
{
    return TFirmwareImage::Load(fileName, image, info);
}

void TDeviceSession::ShowUploadFailure(u32 code)
{
    const int index = code == ErrorImageTooBig ? msgFirmwareTooBig
        : code == ErrorImageMismatch           ? msgFirmwareMismatch
                                               : msgFirmwareInvalid;
    upload_.Report().DropMessage = index;
    if (view_)
        view_->ShowMessage(index);
}

bool TDeviceSession::NoUploadPort()
{
    if (deviceState_ != dsNone || serial_->IsValid()
        || (ItemIndex >= 0 && static_cast<std::size_t>(ItemIndex) < PortList.size()))
        return false;
    ShowStatus(PortList.empty() ? staNoPorts : staNoPortSelected, icWarning);
    return true;
}

void TDeviceSession::Button4Click()
{
    if (NoUploadPort())
        return;
    TQuestionAnswer answer = qaYes;
    if (uploadState_ != usNone) {
        answer = view_ ? view_->AskQuestion(msgStopUploadAsk) : qaCancel;
        if (answer == qaCancel)
            return;
    }
    String fileName;
    if (!view_ || !view_->ChooseFirmwareFile(firmwareDir_, fileName))
        return;
    if (uploadState_ != usNone && answer != qaYes && view_->AskQuestion(msgStopUploadAsk) != qaYes)
        return;
    LoadAndUpload(fileName);
}

bool TDeviceSession::StartUpload(const String& fileName) { return !NoUploadPort() && LoadAndUpload(fileName); }

bool TDeviceSession::LoadAndUpload(const String& fileName)
{
    ResetUpload();
    upload_.NewReport();
    uploadDone_ = false;
    failureNoted_ = false;
    failureUnseen_ = false;
    heldStatus_ = -1;
    if (!LoadFirmwareImage(fileName, upload_.FirmwareImage(), deviceState_ > dsNone ? &deviceInfo_ : nullptr)) {
        const u32 code = GetLastError();
        ResetUpload(); // releases what was read before the message is shown
        ShowUploadFailure(code);
        return false;
    }
    if (const auto slash = fileName.find_last_of('/'); slash != String::npos) {
        char* full = ::realpath(fileName.substr(0, slash + 1).c_str(), nullptr);
        if (full) {
            firmwareDir_ = full;
            std::free(full);
        }
    } else if (char* cwd = ::getcwd(nullptr, 0)) {
        firmwareDir_ = cwd;
        std::free(cwd);
    }
    upload_.Report().PayloadBytes = upload_.PayloadLength();
    {
        const TByteString& image = upload_.FirmwareImage();
        static constexpr char digits[] = "0123456789abcdef";
        String digest;
        for (std::size_t i = image.size() - TFirmwareImage::DigestSize; i < image.size(); ++i)
            digest += {digits[image[i] >> 4], digits[image[i] & 15]};
        upload_.Report().ImageIdentifier = TFirmwareImage::Identifier(image);
        upload_.Report().ImageDigest = digest;
    }
    uploadState_ = usWaitBootloader;
    TraceState();
    if (deviceState_ == dsNone) {
        const String& current = serial_->CurrentPortName();
        if (ConnectToEntry(current.empty() ? std::nullopt : std::optional<String>(current), false)) {
            UpdateProgress();
            return true;
        }
        uploadState_ = usNone;
        TraceState();
        HideProgress();
        return false;
    }
    if (deviceInfo_.ApplicationRuns())
        QueueRequest(dcEnterBootloader, 0, false);
    else
        QueueRequest(dcDeviceInfo, TDeviceInfo::Size, false);
    return true;
}

void TDeviceSession::Button1Click()
{
    const TUploadState asked = uploadState_;
    if (!ConfirmStopUpload(usWaitBootloader))
        return;
    if (asked == usTransfer && uploadState_ == usNone) {
        // The transfer ended while the question was open: there is nothing left to stop, and
        // a restart now would only interrupt the device.
        HideProgress();
        return;
    }
    AbortUpload();
}

void TDeviceSession::AbortUpload()
{
    if (uploadState_ != usNone)
        RecordUploadEnd("aborted", {});
    HideProgress();
    RestartDevice();
}

bool TDeviceSession::CheckImageForDevice(const TDeviceInfo& info)
{
    if (!upload_.Held() || !TFirmwareImage::Fits(upload_.FirmwareImage(), info)) {
        // Dropped without a message; the report keeps why.
        upload_.Report().DropMessage
            = GetLastError() == ErrorImageTooBig ? msgFirmwareTooBig : msgFirmwareMismatch;
        return false;
    }
    upload_.Report().Started = true;
    return true;
}

void TDeviceSession::FirmwareBlockStep()
{
    if (uploadState_ != usTransfer)
        return;
    const u8* block = nullptr;
    u32 length = 0;
    if (deviceState_ > dsNone && upload_.NextBlock(deviceInfo_.BlockSize(), block, length)) {
        UpdateProgress();
        if (QueueDataRequest(dcFirmwareBlock, block, length, 0, false)) {
            ++upload_.Report().BlocksSent;
            return;
        }
        // No memory for the packet: the transfer cannot go on; the device is restarted below.
    } else {
        upload_.Report().Completed = upload_.Held() && upload_.BlockEnd() >= upload_.PayloadLength();
        uploadDone_ = upload_.Report().Completed;
        uploadToRecord_ = uploadDone_;
    }
    // A transfer that stops short (a block the device's block size does not allow, no memory
    // for the packet) is a failed upload, told as any other.
    if (!uploadDone_ && deviceState_ > dsNone)
        NoteUploadFailure(staBlockNotBuilt);
    restartAttempts_ = 0;
    UpdateProgress();
    ResetUpload();
    QueueRequest(dcRestart, 0, false);
    ReportUploadFailure();
}

void TDeviceSession::Button2Click() { ConnectToEntry(std::nullopt, true); }

void TDeviceSession::Button3Click()
{
    if (ConfirmStopUpload(usWaitBootloader))
        Disconnect();
}

void TDeviceSession::Disconnect()
{
    HideProgress();
    userClose_ = true;
    openAfterFarewell_.reset(); // the user's last word: no other port opens
    if (SayFarewell()) {
        // The abort or the restart out of the bootloader reaches the device before the port
        // closes: the close follows its answer, at the latest after FarewellTime.
        closeAfterFarewell_ = true;
        farewellTimer_->Restart(FarewellTime);
        return;
    }
    serial_->Close();
}

void TDeviceSession::Button5Click()
{
    if (ConfirmStopUpload(usNone))
        Reboot();
}

void TDeviceSession::Reboot()
{
    rebootAsked_ = true;
    RestartDevice();
}

void TDeviceSession::RecordUploadEnd(const char* result, const String& text, bool firmwareRead)
{
    const TFirmwareUpload::TReport& report = upload_.Report();
    TSessionRecord record;
    record.Kind = srUploadEnded;
    record.Result = result;
    record.FirmwareRead = firmwareRead;
    uploadToRecord_ = false;
    record.ImageIdentifier = report.ImageIdentifier;
    record.ImageDigest = report.ImageDigest;
    record.Text = text;
    Record(record);
}

void TDeviceSession::NoteSettingsApplied(const String& file, const String& result, const String& changes,
                                         const String& reason)
{
    TSessionRecord record;
    record.Kind = srSettingsApplied;
    record.Result = result;
    record.File = file;
    record.Changes = changes;
    record.Text = reason;
    Record(record);
}

void TDeviceSession::Button6Click() { ToggleVenting(); }

bool TDeviceSession::ToggleVenting() { return QueueRequest(dcVentingToggle, 0, false); }

} // namespace fk
