// The wireless-module link against simulated modules on loopback addresses.
//  - Discovery: from the start of N modules (127.0.1.1 ...) until all N are in the device
//    list with their configuration; N = 1, 10, 100. Wall time per round, ms.
//  - Idle: CPU time (user + system, getrusage) of this process in 30 s with an open, idle
//    link, as a percentage of one core. The module (with announcements every second, as the
//    link's checks come from them and from the 3 s validation) runs in a child process so
//    that its own work is not counted.
#include "module/KestConnectComm.h"
#include "sim/SimModule.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <csignal>
#include <memory>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace fk;

using fk::bench::FreePort;
using fk::bench::IdleCpuPercent;
using fk::bench::SpinUntil;

namespace {

TSimModuleOptions ModuleOptions(unsigned index, u16 udpPort, u16 tcpPort, unsigned intervalMs)
{
    TSimModuleOptions o;
    o.Address = "127.0.1." + std::to_string(index + 1);
    o.UDPPort = udpPort;
    o.TCPPort = tcpPort;
    o.AnnounceIntervalMs = intervalMs;
    return o;
}

} // namespace

static void BM_ModuleDiscovery(benchmark::State& state)
{
    const unsigned count = unsigned(state.range(0));
    TSimLog log;
    for (auto _ : state) {
        const u16 udpPort = FreePort(), tcpPort = FreePort();
        auto comm = Make<TKestConnectComm>();
        comm->SetUDPPort(udpPort);
        comm->SetTCPPort(tcpPort);
        std::vector<std::unique_ptr<TSimModule>> modules;
        for (unsigned i = 0; i < count; ++i) {
            modules.push_back(std::make_unique<TSimModule>(ModuleOptions(i, udpPort, tcpPort, 1000), log));
            if (!modules.back()->Open()) {
                state.SkipWithError("a module cannot bind its address");
                return;
            }
        }
        QElapsedTimer t;
        t.start();
        for (auto& m : modules)
            m->Start();
        const bool all = SpinUntil([&] { return comm->DeviceList().size() == count; }, 60000);
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        if (!all) {
            state.SkipWithError("not every module reached the device list");
            return;
        }
        state.SetIterationTime(seconds);
        comm.reset();
        modules.clear();
    }
}
BENCHMARK(BM_ModuleDiscovery)->Arg(1)->Arg(10)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

static void BM_IdleLinkCpu(benchmark::State& state)
{
    const u16 udpPort = FreePort(), tcpPort = FreePort();
    int stop[2];
    if (::pipe(stop) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(stop[1]);
        TSimLog log;
        TSimModule module(ModuleOptions(0, udpPort, tcpPort, 1000), log);
        if (module.Open() && module.AddController(TSimOptions{}) && module.Start()) {
            char c;
            while (::read(stop[0], &c, 1) > 0) {
            }
        }
        module.Stop();
        ::_exit(0);
    }
    ::close(stop[0]);
    for (auto _ : state) {
        auto comm = Make<TKestConnectComm>();
        comm->SetUDPPort(udpPort);
        comm->SetTCPPort(tcpPort);
        SpinUntil([] { return false; }, 200); // the module binds its sockets
        comm->Connect("127.0.1.1", Id_IPv4);
        if (!SpinUntil([&] { return comm->IsConnected(); }, 10000)) {
            state.SkipWithError("the link did not open");
            break;
        }
        state.counters["cpu_percent"] = IdleCpuPercent(30000);
        state.counters["still_open"] = comm->IsConnected() ? 1 : 0;
        comm->Disconnect();
        SpinUntil([&] { return comm->LinkStatus() == hsDisconnected; }, 10000);
    }
    ::close(stop[1]);
    ::waitpid(child, nullptr, 0);
}
BENCHMARK(BM_IdleLinkCpu)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv) { return fk::bench::RunWithEventLoop<QCoreApplication>(argc, argv); }
