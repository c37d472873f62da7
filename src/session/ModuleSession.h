#pragma once
// TModuleSession: the device session with the wireless-module link beside the serial port.
//
// A port-list entry of the module kind (PortType 3) binds the packet connection to the LAN
// port adapter `KestLANPort1` instead of the serial port. While the link to the connected
// module carries a command exchange, the session neither polls nor gives a request up; the
// held-back action (the request queue's hold-off: hoPoll, hoTimeOut) runs when the link resumes.
#include "module/KestLANPort.h"
#include "session/DeviceSession.h"

namespace fk {

class TModuleSession : public TDeviceSession {
public:
    // The port-list kind of a module entry.
    static constexpr int ModulePortType = 3;

    explicit TModuleSession(TComponent* owner, TSessionView* view = nullptr);
    ~TModuleSession() override;

    TKestLANPort* KestLANPort1() const noexcept { return lanPort_; }

    // A port-list entry for a module: its address, its name as the description.
    static TCommEnumerator::TCommPortInfo ModuleEntry(const String& address, const String& name = {});

    // The link resumed after a command exchange: runs what was held back meanwhile.
    void KestLANModemResume(TObject* sender);

protected:
    TCommPort* BindPortForEntry(const TCommEnumerator::TCommPortInfo& entry) override;
    bool IsModuleLink() const override;
    bool ModuleLinkSuspended() const override;

private:
    void PollTimerTick(TObject* sender);

    TKestLANPort* lanPort_ = nullptr; // owned (child component)
    unsigned pollInterval_ = 0;       // the configured interval while a lengthened one runs
};

} // namespace fk
