#pragma once
// TUploadRun: a firmware upload of the device session, from the image file to the device
// running its new application, and how it ends when it does not get there.
//
// Start loads an image file (TFirmwareImage), brings the device into its bootloader (the port
// opened first when none is), checks the image against the bootloader's description, and sends
// the payload in blocks of the device's block size, one at a time, each after the previous
// one's reply; after the last block the device is restarted into its new application, and the
// first connection after that says that the upload succeeded. TFirmwareUpload keeps the
// transfer's own state and the report of the last upload.
//
// Blocks carry no offset, so a block whose reply was lost is never resent: the transfer starts
// over from its start request, at most MaxTransferRestarts times. A request of the bootloader
// hand-over that goes unanswered starts the hand-over over, at most MaxHandOverRestarts times
// (SetHandOverRestartLimit). An upload that ends without the user's word (the device lost, the
// port lost, the bootloader not reached, the image refused by the bootloader, a block that
// cannot be built, the new firmware not starting) is noted first and told after the status of
// what happened: status "Upload failed: ..." or "Upload interrupted: ..." (the transfer had
// begun), the view's failure report and the record "failed". One the user stops is recorded
// as "aborted" and not reported as a failure.
//
// A part of TDeviceSession: it drives the session's queue and its upload state, on the main
// thread.
#include "platform/Types.h"
#include "protocol/DeviceMessages.h"
#include "session/FirmwareUpload.h"

namespace fk {

class TDeviceSession;
enum TUploadState : int;

class TUploadRun {
public:
    static constexpr unsigned MaxTransferRestarts = 3; // after lost block replies, per upload
    // A request of the bootloader hand-over (entering it, asking the bootloader for its
    // description) that goes unanswered after its resend starts the hand-over over, this
    // many times per upload, before the device is given up.
    static constexpr unsigned MaxHandOverRestarts = 3;
    static constexpr int ProgressMin = 0, ProgressMax = 100; // the progress bar's range

    explicit TUploadRun(TDeviceSession& session);
    TUploadRun(const TUploadRun&) = delete;
    TUploadRun& operator=(const TUploadRun&) = delete;

    // The firmware transfer: the image held, the block offsets, the last upload's report.
    const TFirmwareUpload& Transfer() const noexcept { return upload_; }
    // The folder the firmware file chooser starts in (the folder of the last image loaded).
    const String& FirmwareDir() const noexcept { return firmwareDir_; }
    void SetFirmwareDir(const String& dir) { firmwareDir_ = dir; }
    // The progress panel as last shown.
    bool ProgressVisible() const noexcept { return progressVisible_; }
    int ProgressPosition() const noexcept { return progressPosition_; }
    bool ProgressPaused() const noexcept { return progressPaused_; }
    // How many times one upload may start the bootloader hand-over over (MaxHandOverRestarts
    // by default); a caller with its own time limit on the hand-over may raise it.
    void SetHandOverRestartLimit(unsigned limit) noexcept { handOverLimit_ = limit; }
    // Asks the view whether to stop an upload beyond level; true when there is none or the
    // user says Yes. The transfer waits while the question is open.
    bool ConfirmStop(TUploadState level);

private:
    friend class TDeviceSession;
    friend class TSessionClosing;

    // The window's Upload firmware button: the view's question about an upload under way and
    // its file chooser, then the upload.
    void ChooseFileAndStart();
    // The window's Abort button: the view's question, then the abort.
    void AskAndAbort();

    bool Start(const String& fileName);
    void Abort();
    // StartUpload past its check of the port (the window has checked before its questions).
    bool LoadAndUpload(const String& fileName);
    // No port is open and none selected to open for an upload: the status says so.
    bool NoUploadPort();
    void ShowUploadFailure(u32 code);
    // The start-of-transfer check: true to start sending blocks.
    bool CheckImageForDevice(const TDeviceInfo& info);
    // Every dcFirmwareBlock reply to the request in flight: the next block, or the restart
    // after the last.
    void FirmwareBlockStep();
    // A block reply while a question about stopping is open: held, true.
    bool TransferStepHeld();
    bool FrontIsTransferRequest() const;
    bool RestartTransfer();
    bool RestartHandOver();
    void ResetUpload();
    void UpdateProgress();
    void HideProgress();
    void NoteUploadFailure(int cause);
    void ReportUploadFailure();
    // The transfer completed but the device came back in its bootloader.
    void NewFirmwareDidNotStart();
    // An upload's end for the record; firmwareRead: the session's firmware information
    // describes the new firmware.
    void RecordUploadEnd(const char* result, const String& text, bool firmwareRead = false);

    TDeviceSession& s_;
    TFirmwareUpload upload_;
    String firmwareDir_;
    bool progressVisible_ = false;
    int progressPosition_ = ProgressMin;
    bool progressPaused_ = false;
    // Upload endings: a failure noted before the upload is reset, shown after the status of
    // what happened; a completed transfer shown once the device is connected again.
    bool failureNoted_ = false;
    bool uploadDone_ = false;
    bool uploadToRecord_ = false; // a completed transfer waits for the new firmware's description
    unsigned handOverLimit_ = MaxHandOverRestarts;
    // A question about stopping the upload is open: the transfer waits (a block reply that
    // came meanwhile is held and acted on after the answer).
    bool transferPaused_ = false;
    bool heldBlockStep_ = false;
};

} // namespace fk
