#include "app/InstanceGuard.h"

#include "support/SingleInstance.h"

#include <QSocketNotifier>

namespace fk {

TInstanceGuard::TInstanceGuard(const String& instanceName, std::function<void()> onShow, QObject* parent)
    : QObject(parent), name_(instanceName)
{
    SingleInstance::SetShowHandler(std::move(onShow));
}

TInstanceGuard::~TInstanceGuard()
{
    delete notifier_;
    SingleInstance::SetShowHandler({});
    SingleInstance::SetState(false, name_);
}

bool TInstanceGuard::SetState(bool on)
{
    const bool reached = SingleInstance::SetState(on, name_);
    Watch();
    return reached;
}

bool TInstanceGuard::State() const
{
    return SingleInstance::GetState();
}

String TInstanceGuard::Problem() const
{
    return SingleInstance::GuardProblem();
}

void TInstanceGuard::Watch()
{
    const int fd = SingleInstance::ListenHandle();
    if (notifier_ && static_cast<int>(notifier_->socket()) == fd)
        return;
    delete notifier_;
    notifier_ = nullptr;
    if (fd < 0)
        return;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [] { SingleInstance::WndProc(); });
}

} // namespace fk
