#include "session/DeviceSession.h"

#include "connection/KestConnection.h"
#include "ports/CommPort.h"
#include "ports/SerialPort.h"
#include "platform/LastError.h"
#include "platform/Timer.h"
#include "support/TraceSink.h"

#include <cstdio>
#include <cstring>

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
    closing_.Detach();
    status_.Detach();
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

bool TDeviceSession::ConnectToEntry(const std::optional<String>& name, bool confirm)
{
    if (confirm) {
        if (!run_.ConfirmStop(usNone))
            return false;
        run_.HideProgress();
    }
    ports_.SetAutoConnectDone(true);
    const int index = !name ? ports_.ItemIndex() : name->empty() ? -1 : ports_.Find(*name);
    if (confirm && ports_.Holds(index)
        && closing_.OpenAfterFarewell(ports_.List()[static_cast<std::size_t>(index)].PortName))
        return true; // the open follows the farewell's answer
    if (confirm)
        run_.ResetUpload(); // stopped at the user's word: not reported as a failure
    return OpenEntry(index, name.has_value());
}

bool TDeviceSession::OpenEntry(int index, bool named)
{
    if (ports_.Holds(index)) {
        const TCommEnumerator::TCommPortInfo entry = ports_.List()[static_cast<std::size_t>(index)];
        serial_->SetCommPort(BindPortForEntry(entry));
        serial_->SetPortName(entry.PortName);
        ports_.SetConnectedIndex(index);
        if (view_) {
            view_->EnableConnect(false);
            view_->RepaintPortList(); // the entry in use shows the device's state from now on
        }
        const bool started = serial_->Open();
        if (view_)
            view_->EnableConnect(!ports_.List().empty());
        return started;
    }
    serial_->Close();
    if (named)
        return false;
    ShowStatus(ports_.List().empty() ? staNoPorts : staNoPortSelected, icWarning);
    return false;
}

bool TDeviceSession::Connect(const String& port)
{
    if (uploadState_ != usNone) {
        run_.HideProgress();
        run_.ResetUpload(); // stopped at the caller's word: not reported as a failure
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
    diagnosis_.Opening();
    queue_->Clear();
    restartPending_ = rpNone;
    restartAttempts_ = 0;
    deviceRefused_ = false;
    closing_.Opening();
    SetDeviceState(dsNone);
    if (view_) {
        view_->SetConnectDefault(false);
        view_->EnableDisconnect(true);
        view_->RepaintPortList();
    }
    const String& name = serial_->PortName();
    ports_.SetCurrentPort(!ports_.ConnectedPort().empty() && ports_.ConnectedPort() == name ? String() : name);
    status_.Forget(); // another connection: the user has acted
    ShowStatus(staPortOpening, icInformation);
    if (view_)
        view_->ShowPortInStatusBar();
}

void TDeviceSession::SerialOpen(TObject*, const String& fileName, u32 result)
{
    diagnosis_.Opened(fileName, result);
    if (result == ERROR_SUCCESS) {
        closing_.Opened();
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
    run_.ResetUpload();
    ShowStatus(OpenFailureStatus(result), icWarning);
    if (result != ERROR_OPERATION_ABORTED)
        ports_.SetConnectedIndex(-1);
    ClosedStateUpdate();
}

void TDeviceSession::SerialClosing(TObject*, const String&, u32, TCommCloseReason reason) { closing_.Closing(reason); }

void TDeviceSession::SerialClosed(TObject*, const String&, u32, TCommCloseReason reason) { closing_.Closed(reason); }

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

void TDeviceSession::SerialModemLost(TObject*, u32) { closing_.ModemLost(); }

void TDeviceSession::PortLost(int status) { closing_.PortLost(status); }

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
    closing_.RequestRefused();
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
    if (run_.FrontIsTransferRequest()) {
        // A transfer request still unanswered (its time-out was held back by a busy module
        // link): never sent twice, the transfer starts over.
        if (!run_.RestartTransfer() && GiveUpDevice())
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
bool TDeviceSession::MayResend() { return !run_.FrontIsTransferRequest(); }

// The request on the line went unanswered after its resend (a transfer request: at once).
bool TDeviceSession::RequestTimedOut()
{
    if (run_.FrontIsTransferRequest()) {
        // The transfer starts over (it arms its own time-out).
        if (run_.RestartTransfer())
            return false;
        return GiveUpDevice();
    }
    if (run_.RestartHandOver())
        return false;
    return GiveUpDevice();
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
    if (silent && !diagnosis_.OtherOpeners().empty())
        ShowStatus(staConnectionLost, icWarning);
    return serial_->Validate();
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
    std::optional<TParameterWrites::TWrite> answeredWrite; // the parameter write this packet answers
    if (!queue_->Empty()) {
        const auto* request = reinterpret_cast<const KestPacketHeader2_t_*>(queue_->Front().Packet.data());
        if (header->IsReplyValid(*request)) {
            wasReply = true;
            if (code == dcParameters)
                answeredWrite = TParameterWrites::WriteOf(queue_->Front());
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
        run_.ResetUpload();
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
        if (wasReply && !run_.TransferStepHeld())
            run_.FirmwareBlockStep();
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
        writes_.Reply(data, dataLength, answeredWrite ? &*answeredWrite : nullptr);
        break;
    default:
        break; // codes the configurator does not use
    }
    closing_.MessageHandled();
    OnDeviceMessage.Invoke(this, code, dataLength, wasReply);
}

void TDeviceSession::DeviceControlsOff()
{
    if (view_) {
        view_->EnableDeviceControls(false);
        view_->EnableReboot(false);
    }
    run_.HideProgress();
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
            run_.NoteUploadFailure(staBootloaderFailed);
            ShowStatus(staBootloaderFailed, icWarning);
            run_.ResetUpload();
            run_.ReportUploadFailure();
        }
    } else if (uploadState_ == usTransfer) {
        // A late reply to a device information request (one that was resent): the transfer
        // has started already and goes on; only a device waiting for its bootloader starts one.
    } else if (uploadRequested) {
        if (run_.CheckImageForDevice(deviceInfo_)) {
            uploadState_ = usTransfer;
            TraceState();
            QueueRequest(dcFirmwareBlock, 0, false);
        } else {
            run_.NoteUploadFailure(run_.upload_.Report().DropMessage);
            run_.ResetUpload();
            QueueRequest(dcRestart, 0, false);
            run_.ReportUploadFailure();
        }
    } else if (!application && corrupt) {
        run_.ResetUpload();
        if (run_.uploadDone_)
            run_.NewFirmwareDidNotStart();
        else
            ShowStatus(staFirmwareCorrupted, icWarning);
    } else if (!application) {
        if (restartAttempts_ < MaxRestartAttempts) {
            QueueRequest(dcRestart, 0, false);
        } else {
            run_.ResetUpload();
            if (run_.uploadDone_)
                run_.NewFirmwareDidNotStart();
            else
                ShowStatus(staBootFailed, icWarning);
        }
    } else if (corrupt) {
        run_.uploadDone_ = false;
        ShowStatus(staFirmwareCorrupted, icWarning);
    } else {
        QueueRequest(dcFirmwareInfo, TFirmwareInfo::Size, false);
    }
}

void TDeviceSession::FirmwareInfoStep(const u8* data, unsigned length)
{
    if (!firmwareInfo_.Load(data, length))
        return;
    if (run_.uploadToRecord_)
        run_.RecordUploadEnd("ok", {}, true);
    writes_.SetBreakTimeRange(firmwareInfo_.Version2());
    RefreshDescription();
    if (firmwareInfo_.Identifier() != deviceInfo_.Identifier() || firmwareInfo_.Bytes[2] != ExpectedModel) {
        deviceRefused_ = true;
        ShowStatus(staNotSupported, icWarning);
        return;
    }
    deviceRefused_ = false;
    QueueRequest(dcParameters, TDeviceParameters::Size, false);
}

unsigned TDeviceSession::WriteParameters(std::optional<int> openTime, std::optional<int> breakTime)
{
    return writes_.Write(openTime, breakTime);
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
        status_.CancelLost(); // the device answered again: nothing was lost
    if (state == dsNone) {
        EnterNoDevice(previous);
        return true;
    }
    if (state == dsConnected) {
        ports_.SetConnectedPort(serial_->CurrentPortName());
        if (ports_.CurrentPort() == ports_.ConnectedPort())
            ports_.SetCurrentPort({});
        ports_.SetItemIndex(ports_.ConnectedIndex());
        if (view_)
            view_->SelectPortListRow(ports_.ConnectedIndex());
        ports_.ForgetStale();
        run_.ResetUpload();
        const bool controls = firmwareInfo_.Version2() != 0;
        if (view_) {
            view_->EnableDeviceControls(controls);
            if (controls)
                view_->EnableReboot(true);
        }
        // The first connection after a completed transfer says that the upload succeeded.
        RecordKind(srIdentified);
        ShowStatus(run_.uploadDone_ ? staUploadDone : staConnected, icInformation);
        run_.uploadDone_ = false;
    }
    if (uploadState_ == usNone) {
        run_.HideProgress();
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
    if (previous > dsNone && uploadState_ != usNone && !closing_.InClose())
        run_.NoteUploadFailure(staConnectionLost);
    if (uploadState_ == usWaitBootloader)
        run_.HideProgress();
    if (!ports_.ConnectedPort().empty())
        ports_.SetCurrentPort(ports_.ConnectedPort());
    restartPending_ = rpNone;
    restartAttempts_ = 0;
    ports_.SetConnectedPort({});
    run_.ResetUpload();
    RefreshDescription();
    DeviceControlsOff();
    if (previous > dsNone && !closing_.InClose()) {
        if (run_.failureNoted_) {
            ShowStatus(staConnectionLost, icWarning);
            run_.ReportUploadFailure();
        } else {
            status_.HoldLost();
        }
    }
    if (view_)
        view_->RepaintPortList();
}

void TDeviceSession::BringToClosedState()
{
    const bool wasNone = deviceState_ == dsNone;
    closing_.CommonClose(ccReasonClose);
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

// ---------------------------------------------------------------------------------------------
// Status, buttons, upload hooks

void TDeviceSession::FailureSeen() { status_.FailureSeen(); }

void TDeviceSession::ShowStatus(int index, TIconClass iconClass) { status_.Show(index, iconClass); }

void TDeviceSession::SerialPacketLoss(TObject*, const void* buffer, DWORD transferred, TPacketLossReason reason,
                                      TCommErrorFlags)
{
    diagnosis_.PacketLoss(buffer, transferred, reason);
}

bool TDeviceSession::SayFarewell() { return closing_.SayFarewell(); }

bool TDeviceSession::FarewellPending() const { return closing_.FarewellPending(); }

// ---------------------------------------------------------------------------------------------
// Upload endings

void TDeviceSession::RestartDevice()
{
    run_.ResetUpload();
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

void TDeviceSession::ButtonClick(TSessionButton button)
{
    switch (button) {
    case sbConnect:
        ConnectToEntry(std::nullopt, true);
        break;
    case sbDisconnect:
        if (run_.ConfirmStop(usWaitBootloader))
            Disconnect();
        break;
    case sbUpload:
        run_.ChooseFileAndStart();
        break;
    case sbReboot:
        if (run_.ConfirmStop(usNone))
            Reboot();
        break;
    case sbVenting:
        ToggleVenting();
        break;
    case sbAbort:
        run_.AskAndAbort();
        break;
    }
}

void TDeviceSession::Disconnect()
{
    run_.HideProgress();
    closing_.Disconnect();
}

void TDeviceSession::Reboot()
{
    rebootAsked_ = true;
    RestartDevice();
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

bool TDeviceSession::StartUpload(const String& path) { return run_.Start(path); }

void TDeviceSession::AbortUpload() { run_.Abort(); }

bool TDeviceSession::ToggleVenting() { return QueueRequest(dcVentingToggle, 0, false); }

} // namespace fk
