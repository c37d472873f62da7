#pragma once
// One device command of the `ferrovan` tool (info, set, vent, reboot, save, apply): opens the port through
// a device session, waits on the event loop until the device is identified, acts, prints the
// result and closes the port again. Every wait is bounded by the command's time-out.
#include "platform/Component.h"
#include "platform/Types.h"
#include "ports/CommEnumerator.h"
#include "ports/CommPortInfo.h"
#include "session/ModuleSession.h"
#include "session/ServiceJournal.h"
#include "session/SettingsFile.h"
#include "cli/DeviceText.h"
#include "cli/ToolView.h"
#include "support/AnsiCodePage.h"

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>

class QEventLoop;
class QObject;

namespace fk {

enum TDeviceCommandKind { dcmInfo, dcmSet, dcmVent, dcmReboot, dcmSave, dcmApply };

struct TDeviceCommandOptions {
    String port;           // a device path or a port name as `ferrovan ports` shows it
    bool json = false;
    double timeout = 10;   // seconds, bounds the whole command (not the --stay time)
    double stay = 0;       // info: seconds to stay connected after printing
    std::optional<int> openTime;
    std::optional<int> breakTime;
    u16 moduleTcpPort = 90;   // PORT "module:ADDRESS": the module's command port
    u16 udpPort = 13873;      // ... and the UDP port of the module link
    unsigned codePage = 0;    // of the device's texts; 0: the user's locale's
    String settingsPath;      // save, apply: the settings file
    TSettingsFile settings;   // apply: the file as read (before the port is touched)
    bool dryRun = false;      // apply: show the differences, write nothing
    String journalPath = TServiceJournal::DefaultPath();
};

// The prefix of a PORT that names a wireless module by its address.
inline constexpr const char* ModulePortPrefix = "module:";

// Why a PORT argument names no port to open: the exit status and the text after the PORT.
struct TPortProblem {
    int Status = 0;
    String Text;
};

class TDeviceCommand {
public:
    TDeviceCommand(TDeviceCommandKind kind, TDeviceCommandOptions options, std::ostream& out, std::ostream& err);
    ~TDeviceCommand();

    TDeviceCommand(const TDeviceCommand&) = delete;
    TDeviceCommand& operator=(const TDeviceCommand&) = delete;

    // Runs the command on the calling (main) thread's event loop; returns the exit status.
    int Run();

    // set: milliseconds from the start of Run to the acknowledgement of the last write,
    // -1 when nothing was written.
    double AcknowledgeTime() const noexcept { return ackTime_; }

    static const char* Name(TDeviceCommandKind kind) noexcept;

    // The port-list entries for a PORT argument and the index of the one it names: a path
    // is taken as it is (also /dev/serial/by-id/...); a name or an adapter's identity
    // ("usb:0403:6001:A50285BI") is looked up among the machine's ports (found in paths), a
    // name not found is taken as /dev/NAME. False, with the reason in *problem, for
    // "module:" without an address (wrong usage), an identity that matches no port, and one
    // that matches several (wrong usage: the candidates are listed with their by-path names).
    static bool ResolvePort(const String& port, TCommEnumerator::TCommPortList_& list, int& index,
                            const TCommEnumerator::TDiscoveryPaths& paths = {}, TPortProblem* problem = nullptr);

    // How long the open may try a busy or missing device again within a command's time-out,
    // leaving time to report the reason it failed.
    static u32 OpenRetryTime(double timeoutSeconds);

private:
    enum TPhase { phConnecting, phActing, phDone };

    // " cat (process 4711) also has this port open and may be taking the replies." or empty.
    String MissingRepliesText() const;

    void Evaluate();
    void Deadline();
    void BeginAction();
    // The device is identified but will not be connected: reboot still acts, info prints
    // what was read, the other commands fail with text.
    void NotConnectable(const String& text);
    // Why firmware whose second version number is 0 is never connected: the session takes
    // no parameters from it.
    String NoParametersText() const;
    void StartAction();
    void OnMessage(u8 code, unsigned dataLength, bool wasReply);
    void Succeed();
    void Fail(const String& text);
    void FailPort();
    void Finish(int status);
    void Shutdown();
    void PrintDevice();
    // save: the file written; apply: the differences shown, then written.
    void SaveSettings();
    void ApplySettings();
    void ApplyChecked();
    void NoteApplied(const String& result, const String& reason);
    // The port is a module link that the module has not confirmed: the module is silent.
    bool ModuleSilent() const;
    static constexpr int ReleaseMinMs = 200;
    double Elapsed() const;

    TDeviceCommandKind kind_;
    TDeviceCommandOptions options_;
    std::ostream& out_;
    std::ostream& err_;
    TAnsiCodePage codePage_;
    TDeviceText text_;
    TToolView view_;
    TServiceJournal journal_; // before the session: the session goes first
    TOwned<TModuleSession> session_;
    QEventLoop* loop_ = nullptr;
    std::unique_ptr<QObject> context_; // deferred calls die with it
    TPhase phase_ = phConnecting;
    int result_ = 1;
    bool firmwareInfoSeen_ = false;
    bool answered_ = false;  // the device has sent anything at all
    bool staying_ = false;   // info --stay: the time-out no longer applies
    int pendingReplies_ = 0; // set: parameter replies still expected (writes + the read)
    int pendingWrites_ = 0;
    u8 awaitedCode_ = 0;     // vent, reboot: the reply that ends the command
    double ackTime_ = -1;
    String applyChanges_;    // apply: the differences written, as recorded
    bool applying_ = false;  // apply: the writes are on their way
    std::chrono::steady_clock::time_point start_;
};

} // namespace fk
