#pragma once
// The running window's side of the single-instance guard: holds the guard while "Run multiple
// instances" is off, answers a second start on the main thread (the guard's socket watched by
// the event loop) and raises the window when asked.
#include "platform/Types.h"

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace fk {

class TInstanceGuard : public QObject {
    Q_OBJECT
public:
    TInstanceGuard(const String& instanceName, std::function<void()> onShow, QObject* parent = nullptr);
    ~TInstanceGuard() override;

    // Turns the guard on or off; true when the requested state was reached (false: another
    // instance holds the name).
    bool SetState(bool on);
    bool State() const;
    // Why the guard could not be turned on on this machine; empty otherwise.
    String Problem() const;
    const String& InstanceName() const noexcept { return name_; }

private:
    void Watch();

    String name_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace fk
