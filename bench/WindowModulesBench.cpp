// The configurator's window with 100 simulated wireless modules on the network.
//  - Listing: from the window's construction until every module is a row of its port list
//    with its name. The modules announce every second and were running before the window
//    started, as on a real network. Wall time, ms.
//  - Idle: CPU time (user + system, getrusage) of this process in 30 s while the window
//    shows the 100 modules and they keep announcing, as a percentage of one core.
// The modules run in a child process so that their own work is not counted.
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "app/MainForm.h"
#include "app/ModuleEntries.h"
#include "module/KestLANPort.h"
#include "sim/SimModule.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
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

constexpr unsigned ModuleCount = 100;
u16 udpPort = 0, tcpPort = 0;

// Every module listed, each with its name.
bool AllListed(TMainForm& form)
{
    unsigned named = 0;
    for (const auto& entry : form.Session().Ports().List())
        named += entry.PortType == TModuleEntries::ModulePortType && !entry.Description.empty();
    return named == ModuleCount;
}

TMainFormSetup Setup()
{
    TMainFormSetup setup;
    setup.ModuleTCPPort = tcpPort;
    setup.ModuleUDPPort = udpPort;
    return setup;
}

// Starts the modules in a child process; returns its pid, and the pipe end that stops it.
pid_t StartModules(int& stopFd)
{
    int stop[2], ready[2];
    if (::pipe(stop) != 0 || ::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(stop[1]);
        ::close(ready[0]);
        TSimLog log;
        std::vector<std::unique_ptr<TSimModule>> modules;
        for (unsigned i = 0; i < ModuleCount; ++i) {
            TSimModuleOptions o;
            o.Address = "127.0.3." + std::to_string(i + 1);
            o.UDPPort = udpPort;
            o.TCPPort = tcpPort;
            o.AnnounceIntervalMs = 1000;
            o.Name = "KC-" + std::to_string(i + 1);
            modules.push_back(std::make_unique<TSimModule>(o, log));
            if (!modules.back()->Open() || !modules.back()->Start())
                ::_exit(1);
        }
        const char c = 1;
        (void)!::write(ready[1], &c, 1);
        char b;
        while (::read(stop[0], &b, 1) > 0) {
        }
        modules.clear();
        ::_exit(0);
    }
    ::close(stop[0]);
    ::close(ready[1]);
    char c = 0;
    if (::read(ready[0], &c, 1) != 1) {
        ::close(stop[1]);
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    ::close(ready[0]);
    stopFd = stop[1];
    return child;
}

} // namespace

static void BM_WindowListsModules(benchmark::State& state)
{
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        TMainForm form(Setup());
        form.show();
        const bool all = SpinUntil([&] { return AllListed(form); }, 120000);
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        if (!all) {
            state.SkipWithError("not every module was listed with its name");
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["rows"] = double(form.Session().Ports().List().size());
    }
}
BENCHMARK(BM_WindowListsModules)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

static void BM_WindowIdleWithModulesCpu(benchmark::State& state)
{
    for (auto _ : state) {
        TMainForm form(Setup());
        form.show();
        if (!SpinUntil([&] { return AllListed(form); }, 120000)) {
            state.SkipWithError("not every module was listed with its name");
            return;
        }
        state.counters["cpu_percent"] = IdleCpuPercent(30000);
        state.counters["still_listed"] = AllListed(form) ? 1 : 0;
    }
}
BENCHMARK(BM_WindowIdleWithModulesCpu)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    udpPort = FreePort();
    tcpPort = FreePort();
    int stopFd = -1;
    const pid_t modules = StartModules(stopFd); // before any thread of this process exists
    if (modules < 0) {
        std::fprintf(stderr, "the simulated modules could not start\n");
        return 1;
    }
    QTemporaryDir config; // the window's settings go to a folder of its own
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int result = bench::RunWithEventLoop<QApplication>(argc, argv);
    ::close(stopFd);
    ::waitpid(modules, nullptr, 0);
    return result;
}
