#include "cli/DeviceCommand.h"

#include "cli/JsonWriter.h"
#include "cli/Tool.h"
#include "connection/KestConnection.h"
#include "platform/LastError.h"
#include "ports/CommEnumerator.h"
#include "ports/SerialPort.h"
#include "session/PortHolderText.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <iomanip>

namespace fk {

namespace {

int ToMs(double seconds) { return static_cast<int>(seconds * 1000.0 + 0.5); }

// The device keeps the break time in tens of seconds.
constexpr int BreakTimeUnit = 10;

} // namespace

TDeviceCommand::TDeviceCommand(TDeviceCommandKind kind, TDeviceCommandOptions options, std::ostream& out,
                               std::ostream& err)
    : kind_(kind)
    , options_(std::move(options))
    , out_(out)
    , err_(err)
    , codePage_(options_.codePage)
    , text_(codePage_)
    , journal_(String("ferrovan ") + Name(kind), options_.journalPath, options_.codePage)
{
    // The work goes on without the journal; the user hears of it once.
    journal_.SetOnFailure([this](const String& text) {
        err_ << "ferrovan " << Name(kind_) << ": warning: " << TDeviceText::Escaped(text) << "\n";
    });
}

TDeviceCommand::~TDeviceCommand() = default;

const char* TDeviceCommand::Name(TDeviceCommandKind kind) noexcept
{
    switch (kind) {
    case dcmInfo: return "info";
    case dcmSet: return "set";
    case dcmVent: return "vent";
    case dcmReboot: return "reboot";
    case dcmSave: return "save";
    case dcmApply: return "apply";
    }
    return "";
}

double TDeviceCommand::Elapsed() const
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
}

bool TDeviceCommand::ResolvePort(const String& port, TCommEnumerator::TCommPortList_& list, int& index,
                                 const TCommEnumerator::TDiscoveryPaths& paths, TPortProblem* problem)
{
    const auto fail = [problem](int status, const String& text) {
        if (problem)
            *problem = {status, text};
        return false;
    };
    // "module:ADDRESS" is a wireless module. A path is opened as it is (a pseudo-terminal,
    // /dev/serial/by-id/...); a name is looked up among the machine's ports and otherwise
    // taken as a device under /dev.
    const String prefix = ModulePortPrefix;
    if (port.rfind(prefix, 0) == 0) {
        const String address = port.substr(prefix.size());
        if (address.empty())
            return fail(exitUsage, "give the module's address after \"module:\" (module:ADDRESS)");
        list.push_back(TModuleSession::ModuleEntry(address));
        index = static_cast<int>(list.size()) - 1;
        return true;
    }
    // An adapter's identity ("usb:0403:6001:A50285BI") finds it whatever its name is now; an
    // identity that fits several ports (both halves of a dual adapter, clones sharing a serial
    // number) never picks one of them.
    if (port.find('/') == String::npos) {
        TCommEnumerator::GetPortList(list, true, paths, nullptr);
        if (TCommEnumerator::TCommPortInfo::IsIdentity(port)) {
            const auto matches = TCommEnumerator::IdentityMatches(list, port);
            if (matches.empty())
                return fail(exitFailed, "no adapter with this identity is plugged in");
            if (matches.size() > 1) {
                String text = "this identity fits " + std::to_string(matches.size()) + " ports; name one of them:";
                for (const std::size_t i : matches) {
                    const auto& e = list[i];
                    text += "\n  " + paths.DevRoot + "/" + e.PortName;
                    if (!e.StableLocation.empty())
                        text += "  " + e.StableLocation;
                    if (!e.Identity().empty() && e.Identity() != port)
                        text += "  " + e.Identity();
                }
                return fail(exitUsage, text);
            }
            index = static_cast<int>(matches.front());
            return true;
        }
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].PortName == port) {
                index = static_cast<int>(i);
                return true;
            }
        }
    }
    try {
        list.emplace_back(port);
    } catch (const std::bad_alloc&) {
        return fail(exitFailed, TMessageTable::DefaultText(staPortOpenFailed));
    }
    index = static_cast<int>(list.size()) - 1;
    return true;
}

u32 TDeviceCommand::OpenRetryTime(double timeoutSeconds)
{
    const double ms = timeoutSeconds * 1000.0;
    return static_cast<u32>(std::clamp(ms - std::max(300.0, ms / 5), 0.0, double(TSerialPort::OpenTimeOut)));
}

int TDeviceCommand::Run()
{
    start_ = std::chrono::steady_clock::now();
    TCommEnumerator::TCommPortList_ list;
    int index = -1;
    if (TPortProblem problem; !ResolvePort(options_.port, list, index, {}, &problem)) {
        err_ << "ferrovan " << Name(kind_) << ": " << TDeviceText::Escaped(options_.port) << ": " << problem.Text << "\n";
        return problem.Status;
    }
    session_ = Make<TModuleSession>(&view_);
    journal_.Attach(*session_);
    if (TKestConnectComm* link = session_->KestLANPort1()->ConnectComm) {
        link->SetTCPPort(options_.moduleTcpPort);
        link->SetUDPPort(options_.udpPort);
    }
    // A busy or missing device is tried again only as long as the time-out leaves room for
    // saying why the open failed.
    session_->SerialPort1()->SetOpenRetryTime(OpenRetryTime(options_.timeout));
    session_->Ports().SetList(std::move(list));
    session_->Ports().SetItemIndex(index);
    session_->OnDeviceMessage = TDeviceMessageEvent::Bind(
        this, [this](TObject*, u8 code, unsigned length, bool wasReply) { OnMessage(code, length, wasReply); });
    view_.OnChange = [this] { Evaluate(); };

    context_ = std::make_unique<QObject>();
    QEventLoop loop;
    loop_ = &loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [this] { Deadline(); });
    deadline.start(ToMs(options_.timeout));

    if (!session_->Connect(session_->Ports().List()[static_cast<std::size_t>(index)].PortName) && phase_ != phDone)
        FailPort();
    if (phase_ != phDone)
        loop.exec();
    deadline.stop();
    Shutdown();
    context_.reset();
    loop_ = nullptr;
    return result_;
}

void TDeviceCommand::Evaluate()
{
    if (phase_ == phDone)
        return;
    if (view_.PortFailed(*session_)) {
        FailPort();
        return;
    }
    const int status = view_.Status();
    if (phase_ == phActing && !staying_ && session_->DeviceState() == dsNone && status == staConnectionLost) {
        // The session gave the device up, and the request in flight with it.
        Fail(session_->Messages().MessageText(status) + MissingRepliesText());
        return;
    }
    if (phase_ != phConnecting)
        return;
    // "Connection lost" while connecting is not the end: the session goes on identifying the
    // device for as long as the port is open (a device that restarts takes its time). The
    // command's deadline ends the wait.
    if (status >= staFirmwareCorrupted && status <= staNotSupported)
        NotConnectable(session_->Messages().MessageText(status));
    else if (session_->DeviceState() == dsConnected)
        BeginAction();
}

void TDeviceCommand::BeginAction()
{
    // Act once the session has finished handling the reply that brought the device here.
    phase_ = phActing;
    QTimer::singleShot(0, context_.get(), [this] { StartAction(); });
}

void TDeviceCommand::NotConnectable(const String& text)
{
    if (kind_ == dcmReboot) {
        BeginAction(); // Reboot is offered for an identified device, connected or not.
        return;
    }
    if (kind_ == dcmInfo)
        PrintDevice();
    Fail(text);
}

void TDeviceCommand::Deadline()
{
    if (phase_ == phDone || staying_)
        return;
    const TDeviceSession& s = *session_;
    // Lost only what answered once: a device silent from the start did not answer.
    const bool lost = answered_ && s.DeviceState() == dsNone && view_.Status() == staConnectionLost;
    String text = s.Messages().MessageText(lost ? staConnectionLost : msgNoConnection);
    if (phase_ == phActing) {
        text = "The device did not confirm the command.";
    } else if (s.DeviceState() == dsIdentifying) {
        // Say what is missing; info prints what was read.
        if (kind_ == dcmInfo)
            PrintDevice();
        text += firmwareInfoSeen_
            ? " The device did not give its parameters (open and break time)."
            : " The device did not give its firmware description (version, build date, information) "
              "nor its parameters.";
    } else if (ModuleSilent()) {
        // The link's own party never confirmed it: the device behind it was never asked.
        text += " The module " + TDeviceText::Escaped(s.Serial()->PortName()) + " did not answer.";
    } else if (lost) {
        text += ": the device stopped answering";
    } else if (answered_) {
        text += " The device answered, but not as a device this program supports.";
    } else {
        text += " The device did not answer.";
    }
    Fail(text + MissingRepliesText());
}

String TDeviceCommand::MissingRepliesText() const
{
    // Replies that went missing may have been read by another program on the same port.
    const String also = TPortHolderText::AlsoOpen(session_->Diagnosis().OtherOpeners());
    return also.empty() ? String() : " " + also;
}

String TDeviceCommand::NoParametersText() const
{
    String text = session_->Messages().MessageText(msgNoConnection) + " Firmware "
        + session_->FirmwareInfo().VersionText()
        + " gives no parameters this program takes (its second version number is 0): ";
    text += kind_ == dcmInfo ? "the open and break times were not read."
                             : "the open and break times and venting cannot be set.";
    return text;
}

void TDeviceCommand::StartAction()
{
    if (phase_ != phActing)
        return;
    TDeviceSession& s = *session_;
    switch (kind_) {
    case dcmInfo:
        PrintDevice();
        if (options_.stay > 0) {
            // Connections lost meanwhile count only when the session has not won the device
            // back by the end.
            staying_ = true;
            QTimer::singleShot(ToMs(options_.stay), context_.get(), [this] {
                if (phase_ == phDone)
                    return;
                if (session_->DeviceState() == dsConnected)
                    Succeed();
                else
                    Fail(session_->Messages().MessageText(view_.Status() == staConnectionLost ? staConnectionLost
                                                                                             : msgNoConnection));
            });
            return;
        }
        Succeed();
        return;
    case dcmSet: {
        const auto& range = s.Knobs().Knob(skBreakTime);
        if (options_.breakTime && (*options_.breakTime < range.Min || *options_.breakTime > range.Max)) {
            err_ << "ferrovan set: --break-time " << *options_.breakTime << " is outside " << range.Min << ".."
                 << range.Max << " (" << range.Min * BreakTimeUnit << ".." << range.Max * BreakTimeUnit
                 << " s), the break-time range of this device\n";
            Finish(exitUsage);
            return;
        }
        pendingWrites_ += int(s.WriteParameters(options_.openTime, options_.breakTime));
        pendingReplies_ = pendingWrites_ + 1; // the writes' acknowledgements, then the read-back
        return;
    }
    case dcmVent:
        awaitedCode_ = dcVentingToggle;
        s.ToggleVenting();
        return;
    case dcmReboot:
        awaitedCode_ = dcRestart;
        s.Reboot();
        return;
    case dcmSave:
        SaveSettings();
        return;
    case dcmApply:
        ApplySettings();
        return;
    }
}

void TDeviceCommand::SaveSettings()
{
    const TSettingsFile settings = TSettingsFile::FromSession(*session_, codePage_);
    String error;
    if (!settings.Save(options_.settingsPath, error)) {
        Fail(TDeviceText::Escaped(options_.settingsPath) + " " + error);
        return;
    }
    if (options_.json)
        out_ << settings.ToJson();
    else
        out_ << "Saved the settings of " << TDeviceText::Escaped(settings.SerialNumber) << " to "
             << TDeviceText::Escaped(options_.settingsPath) << ": open time " << settings.OpenTime
             << " ms, break time " << settings.BreakTime * BreakTimeUnit << " s.\n";
    Succeed();
}

void TDeviceCommand::ApplySettings()
{
    const TSettingsFile& file = options_.settings;
    if (const String refusal = file.Check(*session_); !refusal.empty()) {
        Fail(TDeviceText::Escaped(options_.settingsPath) + ": " + TDeviceText::Escaped(refusal)
             + "; nothing was written");
        return;
    }
    const std::vector<TSettingsDifference> changes = file.Differences(*session_);
    applyChanges_ = TSettingsFile::DifferencesText(changes);
    if (options_.json) {
        TJsonWriter w;
        w.BeginObject().Member("port", options_.port).Member("file", options_.settingsPath).Key("changes").BeginArray();
        for (const TSettingsDifference& c : changes)
            w.BeginObject()
                .Member("parameter", c.Offset == 0 ? "open_time" : "break_time")
                .Member("from", c.From)
                .Member("to", c.To)
                .Member("text", TServiceJournal::ChangeText(c.Offset, c.From, c.To))
                .EndObject();
        w.EndArray().Member("dry_run", options_.dryRun).EndObject();
        out_ << w.Text() << "\n";
    } else {
        for (const TSettingsDifference& c : changes)
            out_ << TServiceJournal::ChangeText(c.Offset, c.From, c.To) << "\n";
        if (changes.empty())
            out_ << "The controller holds the file's settings already.\n";
        else if (options_.dryRun)
            out_ << "Dry run: nothing was written.\n";
    }
    if (options_.dryRun || changes.empty()) {
        if (!options_.dryRun)
            NoteApplied("ok", {});
        Succeed();
        return;
    }
    applying_ = true;
    pendingWrites_ += int(session_->WriteParameters(file.OpenTime, file.BreakTime));
    pendingReplies_ = pendingWrites_ + 1; // the writes' acknowledgements, then the read-back
}

// The read-back has come: the command succeeds only when the controller holds the file's values.
void TDeviceCommand::ApplyChecked()
{
    applying_ = false;
    const std::vector<TSettingsDifference> left = options_.settings.Differences(*session_);
    if (!left.empty()) {
        const String reason = "the controller did not take the file's values (read back: "
            + TSettingsFile::DifferencesText(left) + ")";
        NoteApplied("failed", reason);
        Fail(reason);
        return;
    }
    NoteApplied("ok", {});
    if (!options_.json)
        out_ << "Applied " << TDeviceText::Escaped(options_.settingsPath)
             << ": the controller holds the file's settings.\n";
    Succeed();
}

void TDeviceCommand::NoteApplied(const String& result, const String& reason)
{
    if (session_)
        session_->NoteSettingsApplied(options_.settingsPath, result, applyChanges_, reason);
}

void TDeviceCommand::OnMessage(u8 code, unsigned dataLength, bool wasReply)
{
    answered_ = true;
    if (code == dcFirmwareInfo && dataLength >= TFirmwareInfo::Size) {
        firmwareInfoSeen_ = true;
        // The session has handled the description: a refused device has failed the command by
        // now; one that it accepts but will take no parameters from never connects.
        if (phase_ == phConnecting && session_->DeviceState() == dsIdentifying && !session_->DeviceRefused()
            && session_->FirmwareInfo().Version2() == 0)
            NotConnectable(NoParametersText());
    }
    if (phase_ != phActing || !wasReply)
        return;
    if ((kind_ == dcmSet || kind_ == dcmApply) && code == dcParameters && pendingReplies_ > 0) {
        if (pendingWrites_ > 0 && --pendingWrites_ == 0)
            ackTime_ = Elapsed();
        if (--pendingReplies_ == 0) {
            if (kind_ == dcmApply) {
                ApplyChecked();
                return;
            }
            PrintDevice();
            Succeed();
        }
    } else if ((kind_ == dcmVent || kind_ == dcmReboot) && code == awaitedCode_) {
        if (!options_.json)
            out_ << (kind_ == dcmVent ? "Venting toggled." : "Device restarting.") << "\n";
        else
            out_ << TJsonWriter().BeginObject().Member("port", options_.port).Member("done", true).EndObject().Text()
                 << "\n";
        Succeed();
    }
}

void TDeviceCommand::Succeed() { Finish(exitOk); }

void TDeviceCommand::Fail(const String& text)
{
    if (applying_) {
        // Stopped before the read-back: what was confirmed is in the journal already.
        applying_ = false;
        NoteApplied("failed", text);
    }
    err_ << "ferrovan " << Name(kind_) << ": " << TDeviceText::Escaped(options_.port) << ": " << text << "\n";
    Finish(exitFailed);
}

void TDeviceCommand::FailPort() { Fail(view_.PortFailureText(session_.get())); }

void TDeviceCommand::Finish(int status)
{
    if (phase_ == phDone)
        return;
    phase_ = phDone;
    result_ = status;
    if (loop_)
        loop_->quit();
}

bool TDeviceCommand::ModuleSilent() const
{
    const TKestLANPort* lan = session_->KestLANPort1();
    return lan && lan->ConnectComm && session_->Serial()->CommPort() == lan
        && lan->ConnectComm->LinkStatus() != hsConnected;
}

void TDeviceCommand::Shutdown()
{
    if (!session_)
        return;
    // The close is waited for within what is left of the time-out (a muted module never
    // confirms it), and never less than a moment for a port that closes at once.
    const double left = options_.timeout * 1000.0 - Elapsed();
    const int guard = staying_ ? 2000 : static_cast<int>(std::clamp(left, double(ReleaseMinMs), 2000.0));
    view_.Release(*session_, guard);
    session_.reset();
}

void TDeviceCommand::PrintDevice()
{
    const TDeviceSession& s = *session_;
    const TDeviceInfo& d = s.DeviceInfo();
    const TFirmwareInfo& f = s.FirmwareInfo();
    const bool connected = s.DeviceState() == dsConnected;
    const auto& range = s.Knobs().Knob(skBreakTime);
    const int breakTime = s.Parameters().BreakTime();
    if (options_.json) {
        TJsonWriter w;
        w.BeginObject()
            .Member("port", options_.port)
            .Member("state", connected ? "connected" : "identifying")
            .Member("identifier", d.Identifier())
            .Member("model", d.Model())
            .Member("serial_number", text_.Utf8(d.SerialNumber()));
        if (firmwareInfoSeen_)
            w.Member("firmware_version", f.VersionText())
                .Member("build_date", f.BuildDateText())
                .Member("info", text_.Utf8(f.InfoText()));
        else
            w.Key("firmware_version").Null().Key("build_date").Null().Key("info").Null();
        w.Member("run_mode", d.ApplicationRuns() ? "application" : "bootloader")
            .Member("firmware_corrupted", d.IsCorrupt())
            .Member("block_size", d.BlockSize())
            .Member("block_count", d.BlockCount());
        if (connected)
            w.Member("open_time", s.Parameters().OpenTime())
                .Member("break_time", breakTime)
                .Member("break_time_seconds", breakTime * BreakTimeUnit);
        else
            w.Key("open_time").Null().Key("break_time").Null().Key("break_time_seconds").Null();
        w.Key("break_time_range").BeginArray().Number(std::int64_t(range.Min)).Number(std::int64_t(range.Max)).EndArray();
        w.Key("break_time_range_seconds")
            .BeginArray()
            .Number(std::int64_t(range.Min) * BreakTimeUnit)
            .Number(std::int64_t(range.Max) * BreakTimeUnit)
            .EndArray();
        w.EndObject();
        out_ << w.Text() << "\n";
        return;
    }
    auto line = [this](const char* label) -> std::ostream& { return out_ << std::left << std::setw(20) << label; };
    const String id = IdentifierText(d.Identifier());
    line("Port:") << TDeviceText::Escaped(options_.port) << "\n";
    line("State:") << (connected ? "connected" : "identifying") << "\n";
    line("Identifier:") << id << " (model " << unsigned(d.Model()) << ")\n";
    line("Serial number:") << text_.Printable(d.SerialNumber()) << "\n";
    if (firmwareInfoSeen_) {
        line("Firmware version:") << f.VersionText() << "\n";
        line("Build date:") << f.BuildDateText() << "\n";
        line("Info:") << text_.Printable(f.InfoText()) << "\n";
    }
    line("Run mode:") << (d.ApplicationRuns() ? "application" : "bootloader") << "\n";
    line("Firmware corrupted:") << (d.IsCorrupt() ? "yes" : "no") << "\n";
    line("Firmware blocks:") << d.BlockCount() << " x " << d.BlockSize() << " bytes\n";
    if (connected) {
        line("Open time:") << unsigned(s.Parameters().OpenTime()) << " ms\n";
        line("Break time:") << breakTime * BreakTimeUnit << " s (" << breakTime << " x " << BreakTimeUnit
                            << " s), range " << range.Min * BreakTimeUnit << ".." << range.Max * BreakTimeUnit
                            << " s\n";
    }
}

} // namespace fk
