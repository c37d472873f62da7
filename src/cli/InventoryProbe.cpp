#include "cli/InventoryProbe.h"

#include "cli/DeviceText.h"
#include "connection/KestConnection.h"

#include <QObject>
#include <QTimer>

#include <string>

namespace fk {

TInventoryProbe::TInventoryProbe(TCommEnumerator::TCommPortInfo entry, double timeout, u16 moduleTcpPort,
                                 u16 udpPort)
    : entry_(std::move(entry))
    , timeout_(timeout)
    , context_(std::make_unique<QObject>())
    , deadline_(std::make_unique<QTimer>())
{
    session_ = Make<TModuleSession>(&view_);
    if (TKestConnectComm* link = session_->KestLANPort1()->ConnectComm) {
        link->SetSharedListener(true);
        link->SetTCPPort(moduleTcpPort);
        link->SetUDPPort(udpPort);
    }
    session_->Ports().Add(entry_);
    session_->Ports().SetItemIndex(0);
    session_->OnDeviceMessage = TDeviceMessageEvent::Bind(
        this, [this](TObject*, u8 code, unsigned length, bool) { OnMessage(code, length); });
    view_.OnChange = [this] { Evaluate(); };
    deadline_->setSingleShot(true);
    QObject::connect(deadline_.get(), &QTimer::timeout, context_.get(), [this] { Deadline(); });
}

TInventoryProbe::~TInventoryProbe()
{
    deadline_->stop();
    context_.reset();
    if (session_)
        session_->OnDeviceMessage = nullptr;
    view_.OnChange = nullptr;
    session_.reset();
}

TKestConnectComm* TInventoryProbe::Link() const
{
    return IsModule() ? session_->KestLANPort1()->ConnectComm : nullptr;
}

bool TInventoryProbe::Closed() const { return !view_.PortOpened() || view_.PortClosed(); }

void TInventoryProbe::Start()
{
    started_ = true;
    deadline_->start(static_cast<int>(timeout_ * 1000.0 + 0.5));
    if (!session_->Connect(entry_.PortName) && !finished_)
        Finish(false, view_.PortFailureText(session_.get()));
}

void TInventoryProbe::Evaluate()
{
    if (finished_) {
        if (Closed() && OnClosed)
            OnClosed();
        return;
    }
    if (!started_)
        return;
    if (view_.PortFailed(*session_)) {
        Finish(false, view_.PortFailureText(session_.get()));
        return;
    }
    const int status = view_.Status();
    // "Connection lost" while identifying is not the end: the session asks again, and the
    // time-out decides.
    if (status >= staFirmwareCorrupted && status <= staNotSupported)
        Finish(false, session_->Messages().MessageText(status));
    else if (session_->DeviceState() == dsConnected)
        Finish(true, {});
}

void TInventoryProbe::OnMessage(u8 code, unsigned dataLength)
{
    answered_ = true;
    if (finished_ || code != dcFirmwareInfo || dataLength < TFirmwareInfo::Size)
        return;
    firmwareInfoSeen_ = true;
    const TFirmwareInfo& f = session_->FirmwareInfo();
    if (session_->DeviceState() == dsIdentifying && !session_->DeviceRefused() && f.Version2() == 0)
        Finish(false, "Firmware " + std::to_string(f.Version1()) + ".0." + std::to_string(f.Version3())
                          + " gives no parameters this program takes (its second version number is 0).");
}

void TInventoryProbe::Deadline()
{
    if (finished_)
        return;
    const TDeviceSession& s = *session_;
    const TKestLANPort* lan = session_->KestLANPort1();
    const bool lost = s.DeviceState() == dsNone && view_.Status() == staConnectionLost;
    String text = s.Messages().MessageText(lost ? staConnectionLost : msgNoConnection);
    if (s.DeviceState() == dsIdentifying)
        text += firmwareInfoSeen_ ? " The device did not give its parameters (open and break time)."
                                  : " The device did not give its firmware description nor its parameters.";
    else if (IsModule() && lan->ConnectComm && lan->ConnectComm->LinkStatus() != hsConnected)
        text += " The module " + TDeviceText::Escaped(entry_.PortName) + " did not answer.";
    else if (lost)
        text += ": the device stopped answering";
    else if (answered_)
        text += " The device answered, but not as a device this program supports.";
    else
        text += " The device did not answer.";
    Finish(false, text);
}

void TInventoryProbe::Finish(bool read, const String& reason)
{
    if (finished_)
        return;
    finished_ = true;
    read_ = read;
    reason_ = reason;
    deadline_->stop();
    identified_ = session_->DeviceState() != dsNone;
    deviceInfo_ = session_->DeviceInfo();
    firmwareInfo_ = session_->FirmwareInfo();
    parameters_ = session_->Parameters();
    // The port closes once the session has finished handling what brought the probe here.
    QTimer::singleShot(0, context_.get(), [this] {
        session_->OnDeviceMessage = nullptr;
        if (!Closed())
            session_->Disconnect();
        else if (OnClosed)
            OnClosed();
    });
    if (OnFinished)
        OnFinished();
}

} // namespace fk
