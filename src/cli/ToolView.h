#pragma once
// The command-line tool's view of the device session: it remembers what the session last
// showed (status, port open or not) and tells its owner after every change, so a command
// can decide whether it is done.
#include "platform/Types.h"
#include "session/SessionView.h"

#include <functional>

namespace fk {

class TDeviceSession;

class TToolView : public TSessionView {
public:
    void ShowStatus(int index, TIconClass iconClass, const String& portSuffix) override;
    void ClearStatus() override;
    void EnableDisconnect(bool enabled) override;
    void ShowProgress(bool visible, int position, bool paused) override;
    void ShowMessage(int index) override;

    int Status() const noexcept { return status_; }
    // The port's opening event was seen, and its closed event after it.
    bool PortOpened() const noexcept { return opened_; }
    bool PortClosed() const noexcept { return closed_; }

    // The last message box shown, -1 for none.
    int Message() const noexcept { return message_; }

    // The port failed the command: its open failed (once the session has shown which way),
    // or it went away after it had been opened (hang-up, unplugged, closed).
    bool PortFailed(const TDeviceSession& session) const;

    // Why the port could not be used, in the session's words, with the system's reason
    // (and what to do about a permission problem); for a port lost after it was opened,
    // "Connection lost" with that reason. session may be null.
    String PortFailureText(const TDeviceSession* session) const;
    // Why a module session's link could not listen for the module's data (the UDP port is
    // held by another program, ...); empty when that is not the problem.
    static String ModuleListenerError(const TDeviceSession* session);

    // Before the session goes: stops its device messages, closes its port when it is open
    // and lets the closing and closed events run (at most guardMs), so no port event is still
    // on its way; then OnChange is dropped.
    void Release(TDeviceSession& session, int guardMs = 2000);

    // Called after every change above.
    std::function<void()> OnChange;

private:
    void Changed();

    int status_ = -1;
    bool opened_ = false;
    bool closed_ = false;
    int message_ = -1;
};

} // namespace fk
