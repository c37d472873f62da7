#include "session/UploadRun.h"

#include "connection/KestConnection.h"
#include "platform/LastError.h"
#include "session/DeviceSession.h"
#include "session/FirmwareImage.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace fk {

TUploadRun::TUploadRun(TDeviceSession& session)
    : s_(session)
{
}

bool TUploadRun::FrontIsTransferRequest() const
{
    return s_.uploadState_ == usTransfer && !s_.queue_->Empty()
        && s_.queue_->Front().Packet.size() >= KestPacketHeader2_t_::DataOffset
        && s_.queue_->Front().Packet[1] == dcFirmwareBlock;
}

// A reply to the transfer was lost: the start request goes again, which makes the bootloader
// drop what it received, and the blocks follow from the first. False when the transfer has
// been started over MaxTransferRestarts times already.
bool TUploadRun::RestartTransfer()
{
    TFirmwareUpload::TReport& report = upload_.Report();
    if (report.TransferRestarts >= MaxTransferRestarts)
        return false;
    ++report.TransferRestarts;
    report.BlocksSent = 0;
    s_.queue_->Clear();
    upload_.Rewind();
    UpdateProgress();
    return s_.QueueRequest(dcFirmwareBlock, 0, true);
}

// A request of the bootloader hand-over went unanswered after its resend (a damaged reply, a
// device slow to boot): the hand-over starts over from asking the device for its description,
// which brings it into its bootloader or starts the transfer. False when the upload is not
// waiting for the bootloader or has started the hand-over over often enough.
bool TUploadRun::RestartHandOver()
{
    TFirmwareUpload::TReport& report = upload_.Report();
    if (s_.uploadState_ != usWaitBootloader || report.HandOverRestarts >= handOverLimit_)
        return false;
    ++report.HandOverRestarts;
    s_.queue_->Purge();
    s_.restartPending_ = rpNone;
    return s_.QueueRequest(dcDeviceInfo, TDeviceInfo::Size, true);
}

// While a question about stopping the upload is open, the transfer does not move on: the
// step is held and taken after the answer (unless the answer stops the upload).
bool TUploadRun::TransferStepHeld()
{
    if (!transferPaused_)
        return false;
    heldBlockStep_ = true;
    return true;
}

void TUploadRun::HideProgress()
{
    progressVisible_ = false;
    if (s_.view_)
        s_.view_->ShowProgress(false, progressPosition_, progressPaused_);
}

bool TUploadRun::ConfirmStop(TUploadState level)
{
    if (s_.uploadState_ <= level)
        return true;
    if (!s_.view_)
        return false;
    // The transfer waits while the question is open, so the answer applies to the upload the
    // user was asked about. A block reply that came meanwhile is acted on after a No.
    const bool wasPaused = transferPaused_;
    transferPaused_ = true;
    const bool yes = s_.view_->AskQuestion(msgStopUploadAsk) == qaYes;
    transferPaused_ = wasPaused;
    if (!transferPaused_ && heldBlockStep_) {
        heldBlockStep_ = false;
        if (!yes)
            FirmwareBlockStep();
    }
    return yes;
}

// Notes, before the upload is reset, that it ended without the user's word: what happened and
// whether the transfer had begun (the bootloader dropped the application when it did).
void TUploadRun::NoteUploadFailure(int cause)
{
    if (s_.uploadState_ == usNone || failureNoted_)
        return;
    TFirmwareUpload::TReport& report = upload_.Report();
    report.FailCause = cause;
    report.FirmwareErased = s_.uploadState_ == usTransfer;
    failureNoted_ = true;
}

// Shows a noted failure after the status of what happened: the status names the ending and its
// cause, and the view shows what the device holds now.
void TUploadRun::ReportUploadFailure()
{
    if (!failureNoted_)
        return;
    failureNoted_ = false;
    const TFirmwareUpload::TReport& report = upload_.Report();
    RecordUploadEnd("failed", TMessageTable::DefaultText(report.FailCause));
    const bool interrupted = report.FirmwareErased && report.FailCause != staNewFirmwareNoStart;
    s_.status_.ShowFailure(interrupted ? staUploadInterrupted : staUploadFailed);
    if (s_.view_)
        s_.view_->UploadFailed(report.FailCause, report.FirmwareErased);
}

void TUploadRun::NewFirmwareDidNotStart()
{
    uploadDone_ = false;
    TFirmwareUpload::TReport& report = upload_.Report();
    report.FailCause = staNewFirmwareNoStart;
    report.FirmwareErased = true;
    failureNoted_ = true;
    ReportUploadFailure();
}

void TUploadRun::ResetUpload()
{
    s_.uploadState_ = usNone;
    s_.TraceState();
    if (upload_.Reset())
        UpdateProgress();
}

void TUploadRun::UpdateProgress()
{
    if (upload_.PayloadLength() > 0) {
        if (!progressVisible_) {
            progressPaused_ = false;
            progressVisible_ = true;
        }
        progressPosition_ = upload_.Position(ProgressMin, ProgressMax);
        if (s_.view_)
            s_.view_->ShowProgress(true, progressPosition_, progressPaused_);
        if (s_.serial_->IsValid())
            s_.ShowStatus(s_.uploadState_ == usTransfer ? staUploading : staConnecting, icInformation);
        return;
    }
    if (!progressVisible_)
        return;
    if (progressPosition_ < ProgressMax) {
        // An aborted or failed transfer: the bar stays where it stopped.
        progressPaused_ = true;
        if (s_.view_)
            s_.view_->ShowProgress(true, progressPosition_, progressPaused_);
    } else {
        HideProgress();
    }
}

void TUploadRun::ShowUploadFailure(u32 code)
{
    const int index = code == ErrorImageTooBig ? msgFirmwareTooBig
        : code == ErrorImageMismatch           ? msgFirmwareMismatch
                                               : msgFirmwareInvalid;
    upload_.Report().DropMessage = index;
    if (s_.view_)
        s_.view_->ShowMessage(index);
}

bool TUploadRun::NoUploadPort()
{
    if (s_.deviceState_ != dsNone || s_.serial_->IsValid()
        || s_.ports_.Holds(s_.ports_.ItemIndex()))
        return false;
    s_.ShowStatus(s_.ports_.List().empty() ? staNoPorts : staNoPortSelected, icWarning);
    return true;
}

void TUploadRun::ChooseFileAndStart()
{
    if (NoUploadPort())
        return;
    TQuestionAnswer answer = qaYes;
    if (s_.uploadState_ != usNone) {
        answer = s_.view_ ? s_.view_->AskQuestion(msgStopUploadAsk) : qaCancel;
        if (answer == qaCancel)
            return;
    }
    String fileName;
    if (!s_.view_ || !s_.view_->ChooseFirmwareFile(firmwareDir_, fileName))
        return;
    if (s_.uploadState_ != usNone && answer != qaYes && s_.view_->AskQuestion(msgStopUploadAsk) != qaYes)
        return;
    LoadAndUpload(fileName);
}

bool TUploadRun::Start(const String& fileName) { return !NoUploadPort() && LoadAndUpload(fileName); }

bool TUploadRun::LoadAndUpload(const String& fileName)
{
    ResetUpload();
    upload_.NewReport();
    uploadDone_ = false;
    failureNoted_ = false;
    s_.status_.Forget();
    if (!TFirmwareImage::Load(fileName, upload_.FirmwareImage(), s_.deviceState_ > dsNone ? &s_.deviceInfo_ : nullptr)) {
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
    s_.uploadState_ = usWaitBootloader;
    s_.TraceState();
    if (s_.deviceState_ == dsNone) {
        const String& current = s_.serial_->CurrentPortName();
        if (s_.ConnectToEntry(current.empty() ? std::nullopt : std::optional<String>(current), false)) {
            UpdateProgress();
            return true;
        }
        s_.uploadState_ = usNone;
        s_.TraceState();
        HideProgress();
        return false;
    }
    if (s_.deviceInfo_.ApplicationRuns())
        s_.QueueRequest(dcEnterBootloader, 0, false);
    else
        s_.QueueRequest(dcDeviceInfo, TDeviceInfo::Size, false);
    return true;
}

void TUploadRun::AskAndAbort()
{
    const TUploadState asked = s_.uploadState_;
    if (!ConfirmStop(usWaitBootloader))
        return;
    if (asked == usTransfer && s_.uploadState_ == usNone) {
        // The transfer ended while the question was open: there is nothing left to stop, and
        // a restart now would only interrupt the device.
        HideProgress();
        return;
    }
    Abort();
}

void TUploadRun::Abort()
{
    if (s_.uploadState_ != usNone)
        RecordUploadEnd("aborted", {});
    HideProgress();
    s_.RestartDevice();
}

bool TUploadRun::CheckImageForDevice(const TDeviceInfo& info)
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

void TUploadRun::FirmwareBlockStep()
{
    if (s_.uploadState_ != usTransfer)
        return;
    const u8* block = nullptr;
    u32 length = 0;
    if (s_.deviceState_ > dsNone && upload_.NextBlock(s_.deviceInfo_.BlockSize(), block, length)) {
        UpdateProgress();
        if (s_.QueueDataRequest(dcFirmwareBlock, block, length, 0, false)) {
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
    if (!uploadDone_ && s_.deviceState_ > dsNone)
        NoteUploadFailure(staBlockNotBuilt);
    s_.restartAttempts_ = 0;
    UpdateProgress();
    ResetUpload();
    s_.QueueRequest(dcRestart, 0, false);
    ReportUploadFailure();
}

void TUploadRun::RecordUploadEnd(const char* result, const String& text, bool firmwareRead)
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
    s_.Record(record);
}

} // namespace fk
