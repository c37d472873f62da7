#include "cli/FlashCommand.h"

#include "cli/DeviceCommand.h"
#include "cli/DeviceText.h"
#include "cli/ImageCommand.h"
#include "cli/InterruptWatch.h"
#include "cli/JsonWriter.h"
#include "cli/Tool.h"
#include "connection/KestConnection.h"
#include "platform/LastError.h"
#include "ports/SerialPort.h"
#include "session/FirmwareImage.h"
#include "session/PortHolderText.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <climits>
#include <cmath>
#include <cstdio>

namespace fk {

namespace {

int ToMs(double seconds) { return static_cast<int>(seconds * 1000.0 + 0.5); }

double Rounded(double seconds) { return std::round(seconds * 1000.0) / 1000.0; }

} // namespace

TFlashCommand::TFlashCommand(TFlashOptions options, std::ostream& out, std::ostream& err)
    : options_(std::move(options))
    , out_(out)
    , err_(err)
    , meter_(out, options_.terminal)
{
}

TFlashCommand::~TFlashCommand() = default;

double TFlashCommand::Elapsed(std::chrono::steady_clock::time_point from) const
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

int TFlashCommand::Run()
{
    start_ = std::chrono::steady_clock::now();
    TCommEnumerator::TCommPortList_ list;
    int index = -1;
    if (TPortProblem problem; !TDeviceCommand::ResolvePort(options_.port, list, index, {}, &problem)) {
        err_ << "ferrovan flash: " << TDeviceText::Escaped(options_.port) << ": " << problem.Text << "\n";
        return problem.Status;
    }
    // The image is read and checked before the port is touched, so that a file that cannot be
    // used is named with its reason.
    {
        TByteString image;
        if (!TFirmwareImage::Load(options_.image, image, nullptr)) {
            Fail(options_.image + ": " + TImageCommand::LoadFailureText(GetLastError()), false);
            return result_;
        }
        imageIdentifier_ = TFirmwareImage::Identifier(image);
    }
    // Ctrl-C from here on aborts the upload instead of ending the program. Taken before the
    // session starts its threads (the module link's listener), which inherit the blocked signals.
    TInterruptWatch interrupts([this] { Interrupt(); });
    session_ = Make<TModuleSession>(&view_);
    if (TKestConnectComm* link = session_->KestLANPort1()->ConnectComm) {
        link->SetTCPPort(options_.moduleTcpPort);
        link->SetUDPPort(options_.udpPort);
    }
    session_->SerialPort1()->SetOpenRetryTime(TDeviceCommand::OpenRetryTime(options_.timeout));
    journal_.SetOnFailure([this](const String& text) { err_ << "ferrovan flash: warning: " << text << "\n"; });
    journal_.Attach(*session_);
    // The time-out bounds the bootloader hand-over: a device slow to boot is asked again until then.
    session_->UploadRun().SetHandOverRestartLimit(UINT_MAX);
    session_->Ports().SetList(std::move(list));
    session_->Ports().SetItemIndex(index);
    session_->OnDeviceMessage = TDeviceMessageEvent::Bind(
        this, [this](TObject*, u8 code, unsigned length, bool wasReply) { OnMessage(code, length, wasReply); });
    view_.OnChange = [this] { Evaluate(); };

    QEventLoop loop;
    loop_ = &loop;
    QTimer deadline;
    deadline_ = &deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [this] {
        if (phase_ == phDone)
            return;
        if (described_) {
            Succeed();
            return;
        }
        if (phase_ != phRestarting) {
            String text = session_->Messages().MessageText(msgNoConnection);
            if (!answered_)
                text += " The device did not answer.";
            if (const String also = TPortHolderText::AlsoOpen(session_->Diagnosis().OtherOpeners()); !also.empty())
                text += " " + also;
            else if (session_->UploadState() == usWaitBootloader)
                text += " The device did not come back in its bootloader within the time-out. "
                    + session_->Messages().MessageText(msgOldFirmwareKept);
            Fail(text);
            return;
        }
        String text = "The firmware was sent, but the device did not answer in its application within the time-out";
        if (session_->DeviceState() == dsNone && view_.Status() == staConnectionLost)
            text += " (" + session_->Messages().MessageText(staConnectionLost) + ")";
        Fail(text + ".");
    });
    Rearm();

    session_->StartUpload(options_.image); // loads the image and opens the port
    if (phase_ != phDone) {
        if (view_.Message() >= 0)
            Fail(session_->Messages().MessageText(view_.Message()));
        else if (session_->UploadState() == usNone)
            FailPort();
        else
            phase_ = phUploading;
    }
    if (phase_ != phDone)
        loop.exec();
    deadline.stop();
    meter_.Finish();
    Shutdown();
    deadline_ = nullptr;
    loop_ = nullptr;
    return result_;
}

void TFlashCommand::Rearm()
{
    if (deadline_)
        deadline_->start(ToMs(options_.timeout));
}

void TFlashCommand::Interrupt()
{
    if (phase_ == phDone)
        return;
    if (phase_ == phUploading && session_ && session_->UploadState() != usNone) {
        // As the Abort button: the device is restarted; the command ends with its reply.
        phase_ = phAborting;
        meter_.Finish();
        session_->AbortUpload();
        Rearm();
        return;
    }
    Fail("Interrupted.");
}

void TFlashCommand::Evaluate()
{
    if (phase_ == phStarting || phase_ == phDone)
        return;
    if (view_.PortFailed(*session_)) {
        FailPort();
        return;
    }
    const int status = view_.Status();
    const TFirmwareUpload& upload = session_->Upload();
    if (phase_ == phRestarting) {
        // The whole image went over, but the device came back in its bootloader: the session
        // calls it a failed upload (it would call the device corrupted from the next poll on).
        if (upload.Report().FailCause >= 0) {
            Fail(UploadFailureText(upload.Report()));
            return;
        }
        // The new application may take longer to start than the session waits for a reply: a
        // fall back to no device is not the end (the session keeps asking), the deadline is.
        if (status >= staFirmwareCorrupted && status <= staNotSupported)
            Fail(session_->Messages().MessageText(status));
        return;
    }
    if (upload.Report().FailCause >= 0 && phase_ == phUploading) {
        // The upload ended without the user's word: what happened and what the device holds.
        Fail(UploadFailureText(upload.Report()));
        return;
    }
    if (status == staConnectionLost && session_->DeviceState() == dsNone) {
        // The session gave the device up, and the upload with it.
        Fail(session_->Messages().MessageText(status));
        return;
    }
    if (phase_ == phUploading) {
        if (status == staBootloaderFailed) {
            Fail(session_->Messages().MessageText(status));
            return;
        }
        if (session_->UploadState() == usTransfer && upload.Held() && !options_.json)
            meter_.Update(upload.BlockStart(), upload.PayloadLength(), firstBlock_ ? Elapsed(*firstBlock_) / 1000 : 0);
        // The fall to dsNone resets the upload before it shows "Connection lost".
        if (session_->UploadState() != usNone || session_->DeviceState() == dsNone)
            return;
        const TFirmwareUpload::TReport& report = upload.Report();
        if (report.Completed) {
            if (!options_.json)
                meter_.Update(report.PayloadBytes, report.PayloadBytes,
                              firstBlock_ ? Elapsed(*firstBlock_) / 1000 : 0);
            meter_.Finish();
            phase_ = phRestarting; // the device starts its new application
        } else if (report.DropMessage >= 0) {
            Fail(session_->Messages().MessageText(report.DropMessage));
        } else {
            Fail("The upload was interrupted: the device restarted.");
        }
    }
}

String TFlashCommand::UploadFailureText(const TFirmwareUpload::TReport& report) const
{
    const TMessageTable& m = session_->Messages();
    String text = m.MessageText(report.FailCause);
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    if (report.FailCause == staNewFirmwareNoStart)
        return text + ". " + m.MessageText(msgNewFirmwareNoStartTodo);
    if (report.FirmwareErased) {
        if (report.TransferRestarts > 0)
            text += " after the transfer was started over " + std::to_string(report.TransferRestarts)
                + (report.TransferRestarts == 1 ? " time" : " times");
        return text + ". The device is left in its bootloader without an application: flash the firmware again.";
    }
    return text + ". " + m.MessageText(msgOldFirmwareKept);
}

void TFlashCommand::OnMessage(u8 code, unsigned length, bool wasReply)
{
    if (phase_ == phDone)
        return;
    answered_ = true;
    if (code == dcDeviceInfo && length >= TDeviceInfo::Size && session_->DeviceState() == dsNone
        && phase_ != phRestarting) {
        // A full description that the session did not take: not a device this program talks to.
        Fail(session_->Messages().MessageText(msgNoConnection)
             + " The device answered, but not as a device this program supports.");
        return;
    }
    // Every step the device takes gives it the time-out afresh. Descriptions and keep-alive
    // replies do not: a device that answers without moving on cannot hold the command open.
    if (code == dcFirmwareBlock || code == dcEnterBootloader || code == dcRestart)
        Rearm();
    if (code == dcFirmwareBlock) {
        const TFirmwareUpload::TReport& report = session_->Upload().Report();
        if (!firstBlock_ && report.BlocksSent > 0)
            firstBlock_ = std::chrono::steady_clock::now();
        if (report.Completed && transferMs_ < 0 && firstBlock_)
            transferMs_ = Elapsed(*firstBlock_);
    } else if (code == dcFirmwareInfo && described_) {
        Succeed();
    } else if (code == dcRestart && wasReply && phase_ == phAborting) {
        Fail("Upload aborted; the device was restarted.");
    } else if (code == dcDeviceInfo && phase_ == phRestarting) {
        // Done when the device answers in its application with the image's identifier.
        const TDeviceInfo& info = session_->DeviceInfo();
        if (session_->DeviceState() == dsNone || !info.ApplicationRuns() || info.IsCorrupt())
            return;
        if (info.Identifier() == imageIdentifier_) {
            // The firmware is in place; its description (asked next) goes into the service
            // journal. A device that does not give it is not waited for beyond the time-out.
            described_ = true;
            return;
        }
        char text[160];
        std::snprintf(text, sizeof text,
                      "The device runs an application with identifier 0x%08X, not the image's 0x%08X.",
                      static_cast<unsigned>(info.Identifier()), static_cast<unsigned>(imageIdentifier_));
        Fail(text);
    }
}

void TFlashCommand::Succeed()
{
    report_ = session_->Upload().Report();
    const double seconds = Rounded(Elapsed(start_) / 1000);
    if (options_.json) {
        out_ << TJsonWriter()
                    .BeginObject()
                    .Member("result", "ok")
                    .Member("payload_bytes", report_.PayloadBytes)
                    .Member("blocks", report_.BlocksSent)
                    .Member("seconds", seconds)
                    .Member("transfer_seconds", Rounded(transferMs_ / 1000))
                    .Member("transfer_restarts", report_.TransferRestarts)
                    .EndObject()
                    .Text()
             << "\n";
    } else {
        out_ << "Firmware uploaded: " << report_.PayloadBytes << " bytes in " << report_.BlocksSent << " blocks, "
             << seconds << " s. The device runs its application again.\n";
        if (report_.TransferRestarts > 0)
            out_ << "The transfer was started over " << report_.TransferRestarts
                 << (report_.TransferRestarts == 1 ? " time" : " times") << " after a lost reply.\n";
    }
    Finish(exitOk);
}

void TFlashCommand::Fail(const String& text, bool aboutPort)
{
    report_ = session_ ? session_->Upload().Report() : TFirmwareUpload::TReport{};
    meter_.Finish();
    err_ << "ferrovan flash: " << (aboutPort ? TDeviceText::Escaped(options_.port) + ": " : String()) << text << "\n";
    if (options_.json)
        out_ << TJsonWriter().BeginObject().Member("result", "error").Member("message", text).EndObject().Text()
             << "\n";
    Finish(exitFailed);
}

void TFlashCommand::FailPort()
{
    String text = view_.PortFailureText(session_.get());
    // A port lost during the upload: what the device holds now.
    if (session_ && session_->Upload().Report().FailCause >= 0)
        text += session_->Upload().Report().FirmwareErased
            ? ". The device is left in its bootloader without an application: flash the firmware again."
            : ". " + session_->Messages().MessageText(msgOldFirmwareKept);
    Fail(text);
}

void TFlashCommand::Finish(int status)
{
    if (phase_ == phDone)
        return;
    phase_ = phDone;
    result_ = status;
    if (loop_)
        loop_->quit();
}

void TFlashCommand::Shutdown()
{
    if (!session_)
        return;
    view_.Release(*session_);
    session_.reset();
}

} // namespace fk
