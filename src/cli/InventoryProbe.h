#pragma once
// One controller of `ferrovan inventory`: a device session of its own on one port-list entry
// (a serial port, or a wireless module whose link takes its datagrams from the inventory's
// shared listener), driven on the caller's event loop beside the others. It connects,
// identifies the device and finishes: read (the device connected and gave every part), or not,
// with the reason in the session's words. Its time-out bounds it from Start on.
#include "cli/ToolView.h"
#include "platform/Component.h"
#include "platform/Types.h"
#include "ports/CommEnumerator.h"
#include "session/ModuleSession.h"

#include <functional>
#include <memory>

class QObject;
class QTimer;

namespace fk {

class TInventoryProbe {
public:
    // moduleTcpPort and udpPort apply to a module entry; its link shares a listener.
    TInventoryProbe(TCommEnumerator::TCommPortInfo entry, double timeout, u16 moduleTcpPort, u16 udpPort);
    ~TInventoryProbe();
    TInventoryProbe(const TInventoryProbe&) = delete;
    TInventoryProbe& operator=(const TInventoryProbe&) = delete;

    // Opens the port and starts the time-out. A probe that fails at once has finished when
    // this returns.
    void Start();

    const TCommEnumerator::TCommPortInfo& Entry() const noexcept { return entry_; }
    bool IsModule() const noexcept { return entry_.PortType == TModuleSession::ModulePortType; }
    // The module link of a module entry (to hand it its datagrams), else null.
    TKestConnectComm* Link() const;

    bool Finished() const noexcept { return finished_; }
    bool Read() const noexcept { return read_; }
    const String& Reason() const noexcept { return reason_; }
    // The firmware description was received (the version and build date are known).
    bool FirmwareKnown() const noexcept { return firmwareInfoSeen_; }
    // What the device gave, as it stood when the probe finished: its description once it was
    // identified, the firmware description once received, the parameters once read.
    bool Identified() const noexcept { return identified_; }
    const TDeviceInfo& DeviceInfo() const noexcept { return deviceInfo_; }
    const TFirmwareInfo& FirmwareInfo() const noexcept { return firmwareInfo_; }
    const TDeviceParameters& Parameters() const noexcept { return parameters_; }
    // The port is closed again, or was never opened.
    bool Closed() const;

    // Called once, when the probe finishes; the port closes right after.
    std::function<void()> OnFinished;
    // Called when the port has closed after the probe finished.
    std::function<void()> OnClosed;

private:
    void Evaluate();
    void OnMessage(u8 code, unsigned dataLength);
    void Deadline();
    void Finish(bool read, const String& reason);

    TCommEnumerator::TCommPortInfo entry_;
    double timeout_;
    TToolView view_;
    TOwned<TModuleSession> session_;
    std::unique_ptr<QObject> context_; // deferred calls die with it
    std::unique_ptr<QTimer> deadline_;
    bool started_ = false;
    bool finished_ = false;
    bool read_ = false;
    bool answered_ = false;
    bool firmwareInfoSeen_ = false;
    String reason_;
    bool identified_ = false;
    TDeviceInfo deviceInfo_;
    TFirmwareInfo firmwareInfo_;
    TDeviceParameters parameters_;
};

} // namespace fk
