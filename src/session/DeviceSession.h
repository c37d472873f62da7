#pragma once
// TDeviceSession: the conversation with one Ferrovan controller, without widgets.
//
// The session binds the packet connection `Serial` to the port of a port-list entry, opens
// it, identifies the device (dcDeviceInfo, dcFirmwareInfo, dcParameters), keeps the link
// alive with dcStatus every 2 s, writes the timing parameters when a knob ends its move,
// toggles venting and restarts the device. All requests go through one first-in first-out
// queue with exactly one request on the line (TRequestQueue); its reply timer resends a
// request once, and then the session gives the device up ("Connection lost"); the poll timer
// drives polling and identification. The timers are one-shot: every handler stops its timer
// and re-arms it explicitly.
//
// The intent entry points (Connect, Disconnect, WriteParameters, ToggleVenting, Reboot,
// StartUpload, AbortUpload) act at the caller's word: where the window asks whether to stop an
// upload under way, they stop it, as after Yes. The window's handlers Button1Click ..
// Button6Click ask the view's questions (and its file chooser) first, then call them.
//
// What the user sees goes through a TSessionView; the main window and the command-line tool
// each implement one. Everything runs on the main thread.
//
// Firmware upload: StartUpload loads an image file (TFirmwareImage), brings the device into
// its bootloader, checks the image against the bootloader's description, sends the payload in
// blocks of the device's block size, one at a time, each after the previous one's reply, and
// restarts the device into its new application (TFirmwareUpload keeps the transfer's state).
// Blocks carry no offset, so a block whose reply was lost is never resent: the transfer starts
// over from its start request, at most MaxTransferRestarts times, then "Connection lost".
// Wireless-module links hook in through BindPortForEntry, IsModuleLink, ModuleLinkSuspended;
// while such a link is busy the poll and the reply time-out are held back (TRequestQueue's
// hold-off) and run when it resumes.
#include "connection/KestConnectionTypes.h"
#include "platform/Component.h"
#include "platform/Types.h"
#include "ports/CommPortInfo.h"
#include "ports/CommTypes.h"
#include "ports/PortHolder.h"
#include "protocol/DeviceMessages.h"
#include "session/FirmwareUpload.h"
#include "session/MessageTable.h"
#include "session/RequestQueue.h"
#include "session/SessionRecord.h"
#include "session/SessionView.h"

#include <optional>

namespace fk {

class TCommPort;
class TKestConnection;
class TSerialPort;
class TTimer;

enum TDeviceState : int { dsNone, dsIdentifying, dsConnected };
enum TUploadState : int { usNone, usWaitBootloader, usTransfer };
enum TRestartPending : int { rpNone, rpToBootloader, rpToApplication };

// What a received device message was, for observers of the session (the command-line tool).
using TDeviceMessageEvent = TEvent<TObject*, u8 /*code*/, unsigned /*dataLength*/, bool /*wasReply*/>;

class TDeviceSession : public TComponent, private TRequestQueue::THost {
public:
    static constexpr unsigned PollInterval = 2000;        // keep-alive and identification, ms
    static constexpr unsigned RestartPollInterval = 250;  // after a restart reply or a port error
    static constexpr unsigned ModuleFirstRequestDelay = 100;
    static constexpr unsigned MaxRestartAttempts = 3;
    static constexpr unsigned MaxTransferRestarts = 3; // after lost block replies, per upload
    // A request of the bootloader hand-over (entering it, asking the bootloader for its
    // description) that goes unanswered after its resend starts the hand-over over, this
    // many times per upload, before the device is given up.
    static constexpr unsigned MaxHandOverRestarts = 3;
    // How long a request that must reach the device before the port closes at the user's
    // word (the restart after an aborted upload, or out of a bootloader) is waited for, ms.
    static constexpr unsigned FarewellTime = 500;
    // A device given up is told "Connection lost" this long after, unless it answered again
    // meanwhile: a device that resumes within it changes nothing on the screen.
    static constexpr unsigned LostStatusHold = 600;
    static constexpr unsigned MaxPacketLength = 256;
    static constexpr unsigned MaxDataLength = 256;
    static constexpr int OpenTimeMin = 10, OpenTimeMax = 50;
    static constexpr int ProgressMin = 0, ProgressMax = 100; // the progress bar's range
    static constexpr int BreakTimeMin = 1, BreakTimeMax = 30;       // version byte 0 keeps, other values
    static constexpr int LongBreakTimeMin = 30, LongBreakTimeMax = 90; // version byte 1
    static constexpr int BreakTimeSeconds = 10; // seconds per step of the break time

    // A knob: position within its range. The session owns the values; the view shows them.
    struct TKnobState {
        int Position = 0;
        int Min = 0;
        int Max = 100;
    };

    explicit TDeviceSession(TComponent* owner, TSessionView* view = nullptr);
    ~TDeviceSession() override;

    // --- the view (may be null: nothing is shown)
    void SetView(TSessionView* view) noexcept { view_ = view; }
    TSessionView* View() const noexcept { return view_; }

    // --- the parts
    TKestConnection* Serial() const noexcept { return serial_; }
    TSerialPort* SerialPort1() const noexcept { return serialPort1_; }
    TTimer* PollTimer() const noexcept { return pollTimer_; }
    // The requests on their way (one on the line), the reply timer, the hold-off.
    const TRequestQueue& Requests() const noexcept { return *queue_; }
    const TMessageTable& Messages() const noexcept { return messages_; }
    TMessageTable& Messages() noexcept { return messages_; }

    // --- state
    u8 ControllerNode = dtController;
    u8 ExpectedModel = 6;
    const TDeviceInfo& DeviceInfo() const noexcept { return deviceInfo_; }
    const TFirmwareInfo& FirmwareInfo() const noexcept { return firmwareInfo_; }
    const TDeviceParameters& Parameters() const noexcept { return parameters_; }
    TDeviceState DeviceState() const noexcept { return deviceState_; }
    TUploadState UploadState() const noexcept { return uploadState_; }
    TRestartPending RestartPending() const noexcept { return restartPending_; }
    u32 RestartAttempts() const noexcept { return restartAttempts_; }
    bool ErrorLatch() const noexcept { return errorLatch_; }
    // The device failed the identifier check (status 21): it is never connected.
    bool DeviceRefused() const noexcept { return deviceRefused_; }
    int ConnectedIndex() const noexcept { return connectedIndex_; }
    const String& CurrentPort() const noexcept { return currentPort_; }
    const String& ConnectedPort() const noexcept { return connectedPort_; }
    void SetCurrentPort(const String& name) { currentPort_ = name; }
    void SetConnectedPort(const String& name) { connectedPort_ = name; }
    // The error number of the last failed open (0 after a successful one).
    u32 LastOpenError() const noexcept { return lastOpenError_; }
    // What the status text of the last failed open does not tell by itself: which stale
    // lock file of another user blocks the port. Empty otherwise. The status line shows it
    // behind "Can not open the port".
    String OpenFailureReason() const;
    // Who holds the serial port when the last open failed because it is in use (culprit
    // pcNone otherwise); looked for below ProcRoot, which tests move.
    const TPortHolderReport& PortHolder() const noexcept { return portHolder_; }
    // The other programs that have the serial port open (they may be taking the replies);
    // empty for a module link or a closed port. Looked up when asked.
    std::vector<TFileHolder> OtherOpeners() const;
    String ProcRoot = "/proc";
    // Bytes dropped on the open serial port that carried modem commands (ModemManager probing
    // it although we hold it); counted from the port's opening.
    u32 ModemCommandBytes() const noexcept { return modemCommandBytes_; }
    // The firmware transfer: the image held, the block offsets, the last upload's report.
    const TFirmwareUpload& Upload() const noexcept { return upload_; }
    // The folder the firmware file chooser starts in (the folder of the last image loaded).
    const String& FirmwareDir() const noexcept { return firmwareDir_; }
    void SetFirmwareDir(const String& dir) { firmwareDir_ = dir; }
    // The progress panel as last shown.
    bool ProgressVisible() const noexcept { return progressVisible_; }
    int ProgressPosition() const noexcept { return progressPosition_; }
    bool ProgressPaused() const noexcept { return progressPaused_; }
    // The index of the status last shown, -1 when the status line is empty.
    int StatusIndex() const noexcept { return statusIndex_; }
    // An upload's failure is in the status and the user has not acted since: the statuses of
    // the device found again wait behind it.
    bool FailureUnseen() const noexcept { return failureUnseen_; }
    // The user acted (a click, a key): a failure in the status has been seen, and the status
    // held back behind it is shown.
    void FailureSeen();
    // How many times one upload may start the bootloader hand-over over (MaxHandOverRestarts
    // by default); a caller with its own time limit on the hand-over may raise it.
    void SetHandOverRestartLimit(unsigned limit) noexcept { handOverLimit_ = limit; }

    // --- the port list (filled by the window's port list or the tool)
    TCommEnumerator::TCommPortList_ PortList;
    // The selected row, -1: none. The session owns it: the view's SelectPortListRow and the
    // window's list follow it, and ConnectToEntry, StartUpload and ForgetStalePorts read it.
    int ItemIndex = -1;
    bool AutoConnectDone = false; // set by every ConnectToEntry
    // The port list was rebuilt: the entry being opened or open moved to index (-1: gone).
    void SetConnectedIndex(int index) noexcept { connectedIndex_ = index; }
    // Drops the remembered port names that are no longer in PortList (only while a row is
    // selected, so an empty or unselected list forgets nothing).
    void ForgetStalePorts();

    // --- knobs
    const TKnobState& Knob(TSessionKnob knob) const noexcept { return knobs_[knob]; }
    // The user (or the knob widget) moved a knob; clamped to its range, nothing is written.
    void KnobChangePosition(TSessionKnob knob, int position);
    // A knob ended its move: writes its value when it differs from what the device has
    // acknowledged. While a write of that knob is still on its way nothing is queued: its
    // acknowledgement compares again and writes what the knob shows by then.
    void KnobEndMove(TSessionKnob knob);
    // The knob's scroll bar moved: the knob follows; only the end of the scroll writes.
    void ScrollBarScroll(TSessionKnob knob, bool endScroll, int position);

    // --- what the user (or the tool) asks for
    // Binds and opens the port of the port-list entry with exactly that port name; its device
    // is identified from then on. False when no entry has that name (a port in use is closed)
    // or the open could not start. An upload under way is stopped first (no failure).
    bool Connect(const String& port);
    // Closes the port. An upload under way is aborted, and a device in its bootloader with
    // sound firmware restarted into its application, before the port closes (the close follows
    // that request's answer, at the latest after FarewellTime).
    void Disconnect();
    // Sets the open time and/or the break time (knob positions, clamped to their ranges; a
    // value the device holds already is not written) and asks for the parameters again, so
    // that the device's reply tells what it holds. Returns the number of writes queued: each is
    // acknowledged (an empty dcParameters reply) before the read-back.
    unsigned WriteParameters(std::optional<int> openTime, std::optional<int> breakTime);
    // Asks the device to toggle venting; false when the request could not be queued.
    bool ToggleVenting();
    // Restarts the device into its application.
    void Reboot();
    // Loads and checks the image file path (against the device when one is identified) and
    // starts the upload: the device is brought into its bootloader (the port opened first
    // when none is), the image checked against the bootloader's description, and sent; an
    // upload under way is replaced. False
    // when there is no port to upload through (the status says so), the image is refused
    // (ShowMessage, Upload().Report().DropMessage) or the port could not be opened.
    bool StartUpload(const String& path);
    // Abort without asking (the program is told to stop): the progress panel goes and the
    // device is restarted, as Abort does after a Yes.
    void AbortUpload();

    // --- operations
    // Binds and opens the port of one port-list entry: no name = the selected entry, an empty
    // name = none, otherwise the entry with exactly that port name. With confirm, an upload
    // under way is stopped only when the user says so (the view's question).
    bool ConnectToEntry(const std::optional<String>& name, bool confirm);
    // A fresh window's start: the user interface of a closed port (as after a close by the
    // user) and every effect of falling to dsNone, even though the state already is dsNone.
    void BringToClosedState();
    // Before the port closes at the user's word: an upload is aborted (the device restarted)
    // and a device sitting in its bootloader with sound firmware is restarted into its
    // application. True when such a request is queued; FarewellPending() tells until it has
    // been answered (or the port has gone), so that a closer can wait for it, bounded.
    bool SayFarewell();
    bool FarewellPending() const;
    // The bound port lost its device (hang-up, adapter pulled, port removed): the connection
    // closes and the status says so (status: staConnectionLost or staPortInactive) until the
    // user acts; an upload under way is reported as interrupted.
    void PortLost(int status);
    void ShowStatus(int index, TIconClass iconClass);
    // Asks the view whether to stop an upload beyond level; true when there is none or the
    // user says Yes.
    bool ConfirmStopUpload(TUploadState level);
    // Reads and checks an image file into image; with info, also against that device's
    // capacity and identifier. False with the failure code as the last error (TFirmwareImage).
    static bool LoadFirmwareImage(const String& fileName, TByteString& image, const TDeviceInfo* info);

    // --- the main window's buttons: the view's questions, then the intent above
    void Button2Click(); // Connect (the selected entry)
    void Button3Click(); // Disconnect
    void Button5Click(); // Reboot
    void Button6Click(); // Venting
    void Button4Click(); // Upload firmware (the view chooses the file)
    void Button1Click(); // Abort the upload

    // Raised after every device message the session accepted from the controller.
    TDeviceMessageEvent OnDeviceMessage;
    // Raised for the service record: each identification and every change the device
    // confirmed (parameters, venting, restart, upload ended, settings file applied).
    TSessionRecordEvent OnRecord;
    // A settings file was applied (WriteParameters, then checked against the read-back by the
    // caller): result "ok" or "failed", changes as shown to the user, reason when it failed.
    void NoteSettingsApplied(const String& file, const String& result, const String& changes,
                             const String& reason);

protected:
    // Hooks of the firmware upload. The start-of-transfer check: true to start sending blocks.
    virtual bool CheckImageForDevice(const TDeviceInfo& info);
    // Every dcFirmwareBlock reply to the request in flight: the next block, or the restart
    // after the last.
    virtual void FirmwareBlockStep();
    // Hooks of wireless-module links: the port an entry binds (the serial port by default),
    // whether the bound port is a module link, and whether that link is busy right now.
    virtual TCommPort* BindPortForEntry(const TCommEnumerator::TCommPortInfo& entry);
    virtual bool IsModuleLink() const;
    virtual bool ModuleLinkSuspended() const;
    // The poll timer's handler (a module session runs it when its link resumes), and the
    // request queue (whose hold-off it takes then).
    void PollTimerTimer(TObject* sender);
    TRequestQueue& Queue() noexcept { return *queue_; }

private:
    static constexpr unsigned BootloaderPollInterval = 100;
    static constexpr TCommErrorFlags PortErrorMask = 0x5F;

    // --- handlers of the connection's events
    void SerialOpening(TObject* sender, const String& portName, u32 result);
    void SerialOpen(TObject* sender, const String& portName, u32 result);
    void SerialClosing(TObject* sender, const String& portName, u32 result, TCommCloseReason reason);
    void SerialClosed(TObject* sender, const String& portName, u32 result, TCommCloseReason reason);
    void SerialError(TObject* sender, TCommErrorFlags errors);
    // The bound port lost its device (unplugged, line hung up): the connection is closed, as
    // when the port list learns that the port was removed.
    void SerialModemLost(TObject* sender, u32 error);
    void SerialPacketReceived(TObject* sender, const void* buffer, u32 transferred, TKestPacketType packetType);
    void SerialPacketLoss(TObject* sender, const void* buffer, DWORD transferred, TPacketLossReason reason,
                          TCommErrorFlags errors);

    // --- the request queue's host
    bool RequestLinkBusy() const override;
    bool MayResend() override;
    void RequestSent() override;
    void RequestNotSent(DWORD error) override;
    bool RequestTimedOut() override;

    // --- queueing and sending (one request on the line: the front)
    bool QueueRequest(u8 code, u16 replyLength, bool force);
    bool QueueDataRequest(u8 code, const void* data, unsigned length, u16 replyLength, bool force);
    bool QueueDeferredRequest(u8 code, u16 replyLength, unsigned delay);
    bool QueueParameterWrite(u16 offset, const void* bytes, unsigned length);
    // Sends the front (unless the device is restarting and force is false: the poll sends it
    // once it has had time to) and re-arms the poll; false when nothing is queued.
    bool SendFront(bool force);

    bool SetDeviceState(TDeviceState state);
    void RestartDevice();
    void ResetUpload();
    void UpdateProgress();
    // No port is open and none selected to open for an upload: the status says so.
    bool NoUploadPort();
    // StartUpload past its check of the port (the window has checked before its questions).
    bool LoadAndUpload(const String& fileName);
    void SetPollTimer(unsigned ms);
    bool RestartHandOver();
    void NoteUploadFailure(int cause);
    void ReportUploadFailure();
    // The transfer completed but the device came back in its bootloader.
    void NewFirmwareDidNotStart();
    bool HeldBehindFailure(int index) const;
    void LostStatusTimerTimer(TObject* sender);
    void ShowCloseStatus(TCommCloseReason reason, bool hadDevice);
    void FarewellTimerTimer(TObject* sender);
    // Binds and opens the port of a port-list entry (named: the caller gave a name).
    bool OpenEntry(int index, bool named);
    bool TransferStepHeld();
    bool FrontIsTransferRequest() const;
    bool GiveUpDevice();
    bool RestartTransfer();
    void CommonClose(TCommCloseReason reason);
    void ClosedStateUpdate();
    void DeviceControlsOff();
    void HideProgress();
    void ShowUploadFailure(u32 code);
    void IdentificationStep(const u8* data, unsigned length);
    void FirmwareInfoStep(const u8* data, unsigned length);
    // A parameter write as queued: the offset and the bytes it carries.
    struct TParameterWrite {
        u16 Offset = 0;
        TByteString Bytes;
    };
    static std::optional<TParameterWrite> ParameterWriteOf(const TRequestQueue::TPacketElement& element);
    bool ParameterWriteQueued(TSessionKnob knob) const;
    static u16 ParameterOffset(TSessionKnob knob) noexcept { return knob == skOpenTime ? 0 : 1; }
    void WriteKnobIfChanged(TSessionKnob knob);
    void ParameterStep(const u8* data, unsigned length, const TParameterWrite* answered);
    void ParameterAcknowledged(const TParameterWrite& write);
    bool ShowParameterOutOfRange();
    void SetBreakTimeRange(u8 version);
    void SetKnobRange(TSessionKnob knob, int min, int max);
    void SetKnob(TSessionKnob knob, int position);
    void RefreshDescription();
    void EnterNoDevice(TDeviceState previous);
    int FindEntry(const String& name) const;
    void DetachConnection();
    void NotePortHolder(const String& fileName, u32 openResult);
    // Every change of deviceState_ or uploadState_ calls it, for the diagnostic trace.
    void TraceState();
    void Record(const TSessionRecord& record) { OnRecord.Invoke(this, record); }
    void RecordKind(TSessionRecordKind kind)
    {
        TSessionRecord record;
        record.Kind = kind;
        Record(record);
    }
    // An upload's end for the record; firmwareRead: FirmwareInfo() describes the new firmware.
    void RecordUploadEnd(const char* result, const String& text, bool firmwareRead = false);

    TSessionView* view_ = nullptr;
    TKestConnection* serial_ = nullptr; // owned (child component)
    TSerialPort* serialPort1_ = nullptr; // owned (child component)
    TTimer* pollTimer_ = nullptr;       // owned (child component)
    TRequestQueue* queue_ = nullptr;    // owned (child component)
    TTimer* farewellTimer_ = nullptr;   // owned (child component): closes after a farewell
    TMessageTable messages_;

    TDeviceInfo deviceInfo_;
    TFirmwareInfo firmwareInfo_;
    TDeviceParameters parameters_;
    TDeviceState deviceState_ = dsNone;
    TUploadState uploadState_ = usNone;
    TRestartPending restartPending_ = rpNone;
    u32 restartAttempts_ = 0;
    bool errorLatch_ = false;
    bool deviceRefused_ = false;
    unsigned parameterWritesQueued_ = 0; // parameter writes ever queued (WriteParameters counts its own)
    int connectedIndex_ = -1;
    String currentPort_;
    String connectedPort_;
    u32 lastOpenError_ = 0;
    TPortHolderReport portHolder_;
    u32 modemCommandBytes_ = 0;
    int statusIndex_ = -1;
    TKnobState knobs_[2];
    TFirmwareUpload upload_;
    String firmwareDir_;
    bool progressVisible_ = false;
    int progressPosition_ = ProgressMin;
    bool progressPaused_ = false;

    // Closing: the port lost its device (and the status that says so), the user asked for the
    // close, a close is being handled (the fall to no device shows no status of its own), the
    // closing event has shown the close's status (the closed event keeps it).
    bool portLost_ = false;
    bool portOpened_ = false; // the open succeeded: an end of the port by itself is a loss
    int lostStatus_ = staConnectionLost;
    bool userClose_ = false;
    bool inClose_ = false;
    bool closeStatusShown_ = false;
    bool closeAfterFarewell_ = false;
    bool requestRefused_ = false;    // the connection refused the last request sent
    std::optional<String> openAfterFarewell_; // the entry to open once the farewell is answered
    // Upload endings: a failure noted before the upload is reset, shown after the status of
    // what happened; a completed transfer shown once the device is connected again.
    bool failureNoted_ = false;
    bool uploadDone_ = false;
    // A failure shown and not yet seen by the user, and the latest status held back behind it.
    bool failureUnseen_ = false;
    int heldStatus_ = -1;
    TIconClass heldIcon_ = icNone;
    TTimer* lostStatusTimer_ = nullptr;
    unsigned handOverLimit_ = MaxHandOverRestarts;
    // A question about stopping the upload is open: the transfer waits (a block reply that
    // came meanwhile is held and acted on after the answer).
    bool transferPaused_ = false;
    bool heldBlockStep_ = false;
    int tracedState_ = 0; // deviceState_ * 3 + uploadState_ as last traced
    bool uploadToRecord_ = false; // a completed transfer waits for the new firmware's description
    bool rebootAsked_ = false; // Reboot was asked: its restart reply goes into the record
};

} // namespace fk
