#include "platform/Timer.h"

#include <QTimer>

namespace fk {

TTimer::TTimer(TComponent* owner)
    : TComponent(owner)
    , timer_(std::make_unique<QTimer>())
{
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { DoOnTimer(); });
    Update();
}

TTimer::~TTimer()
{
    timer_->stop();
}

void TTimer::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    Update();
}

void TTimer::SetInterval(unsigned ms)
{
    if (ms == interval_)
        return;
    interval_ = ms;
    Update();
}

bool TTimer::Active() const { return timer_->isActive(); }

void TTimer::Restart(unsigned ms)
{
    SetEnabled(false);
    SetInterval(ms);
    SetEnabled(true);
}

void TTimer::Update()
{
    timer_->stop();
    if (enabled_ && interval_ != 0)
        timer_->start(static_cast<int>(std::min<unsigned>(interval_, 0x7FFFFFFF)));
}

void TTimer::DoOnTimer()
{
    if (!IsDestroying())
        OnTimer.Invoke(this);
}

} // namespace fk
