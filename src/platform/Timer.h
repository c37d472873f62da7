#pragma once
// The window timer: a periodic main-thread timer driven by the Qt event loop.
// Enabling an enabled timer leaves its count running; disabling and enabling again starts
// a new count, and so does changing the interval while it runs. An interval of 0 never fires.
// Tag carries small state for the handler.
#include "platform/Component.h"

#include <cstdint>
#include <memory>

class QTimer;

namespace fk {

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner = nullptr);
    ~TTimer() override;

    bool Enabled() const noexcept { return enabled_; }
    void SetEnabled(bool value);
    unsigned Interval() const noexcept { return interval_; }
    void SetInterval(unsigned ms);
    // Whether the underlying timer counts right now (enabled with a non-zero interval).
    bool Active() const;
    // Enables the timer with a new count of ms from now, running or not.
    void Restart(unsigned ms);

    std::intptr_t Tag = 0;
    TNotifyEvent OnTimer;

protected:
    virtual void DoOnTimer();

private:
    void Update();

    bool enabled_ = true;
    unsigned interval_ = 1000;
    std::unique_ptr<QTimer> timer_;
};

} // namespace fk
