#pragma once
// Helpers of the benchmarks that run simulated modules: a free loopback port, an event-loop
// wait with a guard time, and this process's CPU time.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <arpa/inet.h>
#include <functional>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

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

} // namespace fk::bench
