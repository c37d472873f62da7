#include "app/SignalWatch.h"

#include "platform/MainThreadQueue.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <time.h>
#include <unistd.h>

namespace fk {

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The write end of the watch's pipe; read by the handler only. -1 while no watch exists.
volatile std::sig_atomic_t g_signalPipe = -1;
struct sigaction g_previous[std::size(kStopSignals)] {};
// When the first stop signal came (monotonic ms); 0: none yet. Lock-free, so the handler may
// use it.
std::atomic<long long> g_firstStopMs{0};
static_assert(std::atomic<long long>::is_always_lock_free);

long long MonotonicMs() noexcept
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now); // async-signal-safe
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

extern "C" void OnStopSignal(int signal)
{
    const int saved = errno;
    // A stop signal is never ignored: once the program is leaving (the event loop reads the
    // pipe no more), or when a stop asked for earlier has not ended the program in its time,
    // the signal takes its default action.
    long long expected = 0;
    const long long now = MonotonicMs();
    const bool first = g_firstStopMs.compare_exchange_strong(expected, now);
    if (TMainThreadQueue::Leaving() || (!first && now - expected > TSignalWatch::StopTimeMs)) {
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        errno = saved;
        return;
    }
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
    g_firstStopMs.store(0);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        if (::sigaction(kStopSignals[i], &action, &g_previous[i]) != 0) {
            while (i-- > 0)
                ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
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
        for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
            ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
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
