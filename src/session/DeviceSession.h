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
// upload under way, they stop it, as after Yes. The window's buttons (ButtonClick) ask the
// view's questions (and its file chooser) first, then call them.
//
// What the user sees goes through a TSessionView; the main window and the command-line tool
// each implement one. Everything runs on the main thread.
//
// The session keeps the device and upload states and the requests; its parts do the rest:
// TUploadRun the firmware upload (hand-over, transfer, restarts, failures), TParameterWrites
// the knobs and the writes up to their confirmation, TSessionClosing the farewell and the
// close, TSessionStatus the status line (a failure stays until the user acts), TPortChoice
// the port list and the remembered names, TPortDiagnosis what explains a failed open.
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
#include "session/ParameterWrites.h"
#include "session/PortChoice.h"
#include "session/PortDiagnosis.h"
#include "session/RequestQueue.h"
#include "session/SessionClosing.h"
#include "session/SessionRecord.h"
#include "session/SessionStatus.h"
#include "session/SessionView.h"
#include "session/UploadRun.h"

#include <optional>

namespace fk {

namespace test {
class SessionTest;
}
class TCommPort;
class TKestConnection;
class TSerialPort;
class TTimer;

enum TDeviceState : int { dsNone, dsIdentifying, dsConnected };
enum TUploadState : int { usNone, usWaitBootloader, usTransfer };
enum TRestartPending : int { rpNone, rpToBootloader, rpToApplication };
// The main window's buttons that act on the session.
enum TSessionButton : int { sbConnect, sbDisconnect, sbUpload, sbReboot, sbVenting, sbAbort };

// What a received device message was, for observers of the session (the command-line tool).
using TDeviceMessageEvent = TEvent<TObject*, u8 /*code*/, unsigned /*dataLength*/, bool /*wasReply*/>;

class TDeviceSession : public TComponent, private TRequestQueue::THost {
public:
    static constexpr unsigned PollInterval = 2000;        // keep-alive and identification, ms
    static constexpr unsigned RestartPollInterval = 250;  // after a restart reply or a port error
    static constexpr unsigned ModuleFirstRequestDelay = 100;
    static constexpr unsigned MaxRestartAttempts = 3;
    static constexpr unsigned MaxPacketLength = 256;
    static constexpr unsigned MaxDataLength = 256;

    explicit TDeviceSession(TComponent* owner, TSessionView* view = nullptr);
    ~TDeviceSession() override;

    // --- the view (may be null: nothing is shown)
    void SetView(TSessionView* view) noexcept { view_ = view; }
    TSessionView* View() const noexcept { return view_; }

    // --- the parts
    TKestConnection* Serial() const noexcept { return serial_; }
    TSerialPort* SerialPort1() const noexcept { return serialPort1_; }
    // The requests on their way (one on the line), the reply timer, the hold-off.
    const TRequestQueue& Requests() const noexcept { return *queue_; }
    const TMessageTable& Messages() const noexcept { return messages_; }
    TMessageTable& Messages() noexcept { return messages_; }

    // --- state
    const TDeviceInfo& DeviceInfo() const noexcept { return deviceInfo_; }
    const TFirmwareInfo& FirmwareInfo() const noexcept { return firmwareInfo_; }
    const TDeviceParameters& Parameters() const noexcept { return writes_.Parameters(); }
    TDeviceState DeviceState() const noexcept { return deviceState_; }
    TUploadState UploadState() const noexcept { return uploadState_; }
    // The device failed the identifier check (status 21): it is never connected.
    bool DeviceRefused() const noexcept { return deviceRefused_; }
    // What the session knows about its port besides the device's replies: the last open's
    // error, who holds the port, other openers, modem commands seen.
    const TPortDiagnosis& Diagnosis() const noexcept { return diagnosis_; }
    // The firmware transfer: the image held, the block offsets, the last upload's report.
    const TFirmwareUpload& Upload() const noexcept { return run_.Transfer(); }
    // The upload run: its progress, the firmware folder, the window's upload buttons.
    TUploadRun& UploadRun() noexcept { return run_; }
    const TUploadRun& UploadRun() const noexcept { return run_; }
    // The index of the status last shown, -1 when the status line is empty.
    int StatusIndex() const noexcept { return status_.Index(); }
    // An upload's failure is in the status and the user has not acted since: the statuses of
    // the device found again wait behind it.
    bool FailureUnseen() const noexcept { return status_.FailureUnseen(); }
    // The user acted (a click, a key): a failure in the status has been seen, and the status
    // held back behind it is shown.
    void FailureSeen();

    // --- the port list (filled by the window's port list or the tool), the selected and the
    // open entry, the remembered port names
    TPortChoice& Ports() noexcept { return ports_; }
    const TPortChoice& Ports() const noexcept { return ports_; }

    // --- the timing knobs: their values and ranges, the user's moves (which write)
    TParameterWrites& Knobs() noexcept { return writes_; }
    const TParameterWrites& Knobs() const noexcept { return writes_; }

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
    // user acts; an upload under way is reported as interrupted. While the line still works,
    // a device in its bootloader (or in an upload) is restarted before the port closes.
    void PortLost(int status);
    void ShowStatus(int index, TIconClass iconClass);

    // --- the main window's buttons: the view's questions (and its file chooser), then the
    // intent above
    void ButtonClick(TSessionButton button);

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
    // Hooks of wireless-module links: the port an entry binds (the serial port by default),
    // whether the bound port is a module link, and whether that link is busy right now.
    virtual TCommPort* BindPortForEntry(const TCommEnumerator::TCommPortInfo& entry);
    virtual bool IsModuleLink() const;
    virtual bool ModuleLinkSuspended() const;
    // The poll timer's handler (a module session runs it when its link resumes), and the
    // request queue (whose hold-off it takes then).
    void PollTimerTimer(TObject* sender);
    TRequestQueue& Queue() noexcept { return *queue_; }
    TTimer* PollTimer() const noexcept { return pollTimer_; }
    // The restart state and the port-error latch (the session's tests read them).
    TRestartPending RestartPending() const noexcept { return restartPending_; }
    u32 RestartAttempts() const noexcept { return restartAttempts_; }
    bool ErrorLatch() const noexcept { return errorLatch_; }

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
    friend class test::SessionTest; // the tests' harness reads the restart state, runs the poll
    friend class TSessionClosing;
    friend class TParameterWrites;
    friend class TUploadRun;
    friend class TSessionStatus;
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
    // Sends the front (unless the device is restarting and force is false: the poll sends it
    // once it has had time to) and re-arms the poll; false when nothing is queued.
    bool SendFront(bool force);

    bool SetDeviceState(TDeviceState state);
    void RestartDevice();
    void SetPollTimer(unsigned ms);
    // Binds and opens the port of a port-list entry (named: the caller gave a name).
    bool OpenEntry(int index, bool named);
    bool GiveUpDevice();
    void ClosedStateUpdate();
    void DeviceControlsOff();
    void IdentificationStep(const u8* data, unsigned length);
    void FirmwareInfoStep(const u8* data, unsigned length);
    void RefreshDescription();
    void EnterNoDevice(TDeviceState previous);
    void DetachConnection();
    // Every change of deviceState_ or uploadState_ calls it, for the diagnostic trace.
    void TraceState();
    void Record(const TSessionRecord& record) { OnRecord.Invoke(this, record); }
    void RecordKind(TSessionRecordKind kind)
    {
        TSessionRecord record;
        record.Kind = kind;
        Record(record);
    }

    static constexpr u8 ControllerNode = dtController;
    static constexpr u8 ExpectedModel = 6;
    TSessionView* view_ = nullptr;
    TKestConnection* serial_ = nullptr; // owned (child component)
    TSerialPort* serialPort1_ = nullptr; // owned (child component)
    TTimer* pollTimer_ = nullptr;       // owned (child component)
    TRequestQueue* queue_ = nullptr;    // owned (child component)
    TMessageTable messages_;

    TDeviceInfo deviceInfo_;
    TFirmwareInfo firmwareInfo_;
    TDeviceState deviceState_ = dsNone;
    TUploadState uploadState_ = usNone;
    TRestartPending restartPending_ = rpNone;
    u32 restartAttempts_ = 0;
    bool errorLatch_ = false;
    bool deviceRefused_ = false;
    TPortChoice ports_;
    TPortDiagnosis diagnosis_{*this};
    TParameterWrites writes_{*this};
    TUploadRun run_{*this};
    TSessionStatus status_{*this};

    TSessionClosing closing_{*this};
    int tracedState_ = 0; // deviceState_ * 3 + uploadState_ as last traced
    bool rebootAsked_ = false; // Reboot was asked: its restart reply goes into the record
};

} // namespace fk
