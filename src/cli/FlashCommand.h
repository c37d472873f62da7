#pragma once
// `ferrovan flash PORT IMAGE`: the whole firmware upload through a device session, as the
// window's Upload button does it: the image is loaded and checked, the port opened, the device
// brought into its bootloader, the image checked against the bootloader's description, the
// payload sent block by block, the device restarted and identified again. It succeeds only
// when the device answers in its application with the image's identifier afterwards. Ctrl-C
// aborts as the Abort button does (the device is restarted). The time-out bounds each step
// of the device (entering the bootloader, a block, starting the new application), so the
// command always ends. PORT may be "module:ADDRESS": the upload then goes through the module,
// with the same checks and the same end.
#include "cli/ProgressMeter.h"
#include "cli/ToolView.h"
#include "platform/Component.h"
#include "platform/Types.h"
#include "session/ModuleSession.h"
#include "session/ServiceJournal.h"

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>

class QEventLoop;
class QObject;
class QTimer;

namespace fk {

struct TFlashOptions {
    String port;            // a device path or a port name as `ferrovan ports` shows it
    String image;           // the image file
    bool json = false;
    bool terminal = false;  // stdout is a terminal: a progress bar redrawn in place
    double timeout = 10;    // seconds without any word from the device before giving up
    u16 moduleTcpPort = 90; // PORT "module:ADDRESS": the module's command port
    u16 udpPort = 13873;    // ... and the UDP port of the module link
};

class TFlashCommand {
public:
    TFlashCommand(TFlashOptions options, std::ostream& out, std::ostream& err);
    ~TFlashCommand();
    TFlashCommand(const TFlashCommand&) = delete;
    TFlashCommand& operator=(const TFlashCommand&) = delete;

    // Runs the upload on the calling (main) thread's event loop; returns the exit status.
    int Run();

    // Asks the upload to stop, as Ctrl-C does (for callers that are not a terminal).
    void Interrupt();

    // Milliseconds from the first block's send to the last block's reply; -1 without a
    // complete transfer.
    double TransferTime() const noexcept { return transferMs_; }
    const TFirmwareUpload::TReport& Report() const noexcept { return report_; }

private:
    enum TPhase { phStarting, phUploading, phAborting, phRestarting, phDone };

    void Evaluate();
    void OnMessage(u8 code, unsigned length, bool wasReply);
    // What an upload that failed without the user's word did, and what the device holds now.
    String UploadFailureText(const TFirmwareUpload::TReport& report) const;
    void Succeed();
    // Prints text after the port (or alone) and ends with exit status 1.
    void Fail(const String& text, bool aboutPort = true);
    void FailPort();
    void Finish(int status);
    void Shutdown();
    void Rearm();
    double Elapsed(std::chrono::steady_clock::time_point from) const;

    TFlashOptions options_;
    std::ostream& out_;
    std::ostream& err_;
    TToolView view_;
    TProgressMeter meter_;
    bool described_ = false; // the new application answered with the image's identifier
    TServiceJournal journal_{"ferrovan flash"}; // before the session: the session goes first
    TOwned<TModuleSession> session_;
    QEventLoop* loop_ = nullptr;
    QTimer* deadline_ = nullptr;
    TPhase phase_ = phStarting;
    int result_ = 1;
    TFirmwareUpload::TReport report_;
    u32 imageIdentifier_ = 0; // what the device must answer with after the upload
    bool answered_ = false;   // the device has sent anything at all
    double transferMs_ = -1;
    std::chrono::steady_clock::time_point start_;
    std::optional<std::chrono::steady_clock::time_point> firstBlock_;
};

} // namespace fk
