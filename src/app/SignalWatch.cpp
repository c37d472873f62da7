#include "app/SignalWatch.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace fk {

namespace {

// The write end of the watch's pipe; read by the handler only. -1 while no watch exists.
volatile std::sig_atomic_t g_signalPipe = -1;
struct sigaction g_previousTerm {};
struct sigaction g_previousInt {};

extern "C" void OnStopSignal(int signal)
{
    const int saved = errno;
    const int fd = g_signalPipe;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

TSignalWatch::TSignalWatch(std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal))
{
    if (g_signalPipe >= 0 || ::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_signalPipe = fds_[1];
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &action, &g_previousTerm) != 0 || ::sigaction(SIGINT, &action, &g_previousInt) != 0) {
        ::sigaction(SIGTERM, &g_previousTerm, nullptr);
        g_signalPipe = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Drain(); });
    active_ = true;
}

TSignalWatch::~TSignalWatch()
{
    if (active_) {
        ::sigaction(SIGTERM, &g_previousTerm, nullptr);
        ::sigaction(SIGINT, &g_previousInt, nullptr);
        g_signalPipe = -1;
    }
    notifier_.reset();
    for (int fd : fds_)
        if (fd >= 0)
            ::close(fd);
}

void TSignalWatch::Drain()
{
    unsigned char bytes[16];
    ssize_t n;
    while ((n = ::read(fds_[0], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            if (onSignal_)
                onSignal_(bytes[i]);
}

} // namespace fk
