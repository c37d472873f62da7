// The serial port over a pseudo-terminal.
//  - Round trip: one 266-byte write and one 10-byte reply; the host-side turnaround from the
//    Write call to the reply's last byte in OnRead on the main thread (the "device" answers
//    from its own thread as soon as it has the 266 bytes). Median and 99th percentile in us.
//  - Idle: CPU time (user + system, getrusage) the whole process uses in 20 s with an open,
//    idle port, as a percentage of one core.
#include "platform/SystemClock.h"
#include "ports/SerialPort.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace fk;

namespace {

struct PtyDevice {
    int master = -1;
    std::string path;
    PtyDevice()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            path = ::ptsname(master);
    }
    ~PtyDevice()
    {
        if (master >= 0)
            ::close(master);
    }
};

} // namespace

static void BM_SerialRoundTrip266(benchmark::State& state)
{
    PtyDevice dev;
    auto port = Make<TSerialPort>();
    port->SetLockDirectory("");
    port->SetAutoRead(true);
    if (dev.path.empty() || !port->Open(dev.path, 19200, sParityOdd, 8, sStopBits1)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    // The device: reads a 266-byte request, answers 10 bytes.
    const int stop = ::eventfd(0, EFD_CLOEXEC);
    std::thread device([&] {
        char buf[4096];
        size_t have = 0;
        const std::string reply(10, 'r');
        for (;;) {
            pollfd p[2] = {{dev.master, POLLIN, 0}, {stop, POLLIN, 0}};
            if (::poll(p, 2, -1) < 0 || (p[1].revents & POLLIN))
                return;
            const ssize_t n = ::read(dev.master, buf, sizeof buf);
            if (n <= 0)
                return;
            have += size_t(n);
            if (have >= 266) {
                have -= 266;
                [[maybe_unused]] auto w = ::write(dev.master, reply.data(), reply.size());
            }
        }
    });
    QEventLoop loop;
    size_t got = 0;
    port->OnRead = TCommTransferEvent::Bind(&loop, [&](TObject*, const void*, u32, u32 n, TCommErrorFlags, u32) {
        got += n;
        if (got >= 10)
            loop.quit();
    });
    const std::string request(266, 'q');
    std::vector<double> us;
    for (auto _ : state) {
        got = 0;
        const auto t0 = std::chrono::steady_clock::now();
        port->Write(request.data(), u32(request.size()), nullptr);
        if (got < 10)
            loop.exec();
        us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] auto w = ::write(stop, &one, sizeof one);
    device.join();
    ::close(stop);
    const bench::TSpread spread = bench::Spread(us);
    state.counters["median_us"] = spread.Median;
    state.counters["p99_us"] = spread.P99;
    state.counters["max_us"] = spread.Max;
}
BENCHMARK(BM_SerialRoundTrip266)->Iterations(2000)->Unit(benchmark::kMicrosecond);

static void BM_SerialIdleCpu20s(benchmark::State& state)
{
    PtyDevice dev;
    auto port = Make<TSerialPort>();
    port->SetLockDirectory("");
    port->SetAutoRead(true);
    if (dev.path.empty() || !port->Open(dev.path)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    for (auto _ : state) {
        const double cpu0 = bench::CpuSeconds();
        QEventLoop loop;
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        const double cpu = bench::CpuSeconds() - cpu0;
        state.counters["cpu_ms"] = cpu * 1000.0;
        state.counters["cpu_percent_of_core"] = cpu / 20.0 * 100.0;
    }
}
BENCHMARK(BM_SerialIdleCpu20s)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return fk::bench::RunWithEventLoop<QCoreApplication>(argc, argv); }
