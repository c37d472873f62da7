#pragma once
// Helpers of the benchmarks: this process's CPU time (the one measure of idle cost), the
// spread of a series of samples, the main() of a benchmark that needs a Qt event loop, and
// for those that run simulated modules a free loopback port and an event-loop wait.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <arpa/inet.h>
#include <algorithm>
#include <functional>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace fk::bench {

inline unsigned short FreePort()
{
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

// Runs the event loop, blocking between events, until done() or the guard time.
inline bool SpinUntil(const std::function<bool()>& done, int guardMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < guardMs) {
        QTimer tick; // wakes the wait at least every 5 ms
        tick.setSingleShot(true);
        tick.start(5);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

// User + system CPU time of this process, seconds.
inline double CpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

// Runs the event loop for ms, blocking between events as the program does; this process's
// CPU time meanwhile, as a percentage of one core.
inline double IdleCpuPercent(int ms)
{
    const double before = CpuSeconds();
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, [&] { loop.quit(); });
    loop.exec();
    const double cpu = CpuSeconds() - before;
    return 100.0 * cpu / (double(t.nsecsElapsed()) / 1e9);
}

// The median, the 99th percentile and the largest of a series of samples (sorted in place);
// all zero for an empty series.
struct TSpread {
    double Median = 0;
    double P99 = 0;
    double Max = 0;
};

inline TSpread Spread(std::vector<double>& samples)
{
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    return {samples[n / 2], samples[std::min(n - 1, n * 99 / 100)], samples.back()};
}

// Runs the benchmarks of this program under an App (QCoreApplication or QApplication), so
// that what they measure has the event loop it has in the programs.
template <class App>
int RunWithEventLoop(int argc, char** argv)
{
    App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace fk::bench
