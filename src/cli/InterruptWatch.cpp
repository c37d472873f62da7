#include "cli/InterruptWatch.h"

#include <QSocketNotifier>

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace fk {

TInterruptWatch::TInterruptWatch(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt))
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    if (pthread_sigmask(SIG_BLOCK, &set, &previous_) != 0)
        return;
    masked_ = true;
    fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) {
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        masked_ = false;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        signalfd_siginfo info{};
        bool any = false;
        while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            any = true;
        if (any && onInterrupt_)
            onInterrupt_();
    });
}

TInterruptWatch::~TInterruptWatch()
{
    notifier_.reset();
    if (fd_ >= 0) {
        Drain();
        ::close(fd_);
    }
    if (masked_)
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void TInterruptWatch::Drain()
{
    signalfd_siginfo info{};
    while (::read(fd_, &info, sizeof info) > 0) {
    }
}

} // namespace fk
