#pragma once
// The command-line tool's view of the device session: it remembers what the session last
// showed (status, port open or not) and tells its owner after every change, so a command
// can decide whether it is done.
#include "session/SessionView.h"

#include <functional>

namespace fk {

class TToolView : public TSessionView {
public:
    void ShowStatus(int index, TIconClass iconClass, const String& portSuffix) override;
    void ClearStatus() override;
    void EnableDisconnect(bool enabled) override;

    int Status() const noexcept { return status_; }
    // The port's opening event was seen, and its closed event after it.
    bool PortOpened() const noexcept { return opened_; }
    bool PortClosed() const noexcept { return closed_; }

    // Called after every change above.
    std::function<void()> OnChange;

private:
    void Changed();

    int status_ = -1;
    bool opened_ = false;
    bool closed_ = false;
};

} // namespace fk
