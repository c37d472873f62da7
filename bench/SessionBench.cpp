// The device session at work: from the start of `ferrovan set` (port closed) to the
// acknowledged parameter write, against the simulated controller paced at 19200 baud, next
// to the pure line time of the four exchanges that it takes (identification, firmware
// description, parameter read, parameter write).
#include "cli/DeviceCommand.h"
#include "ports/CommPort.h"
#include "sim/SimController.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <sstream>
#include <vector>

using namespace fk;

static void BM_SetToAcknowledgedWrite19200(benchmark::State& state)
{
    TSimOptions options;
    options.Baud = 19200;
    TSimLog log;
    TSimController sim(options, log);
    if (!sim.OpenPseudoTerminal() || !sim.Start()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    // Requests of 10 bytes (the write 13) and their replies: 65, 53, 42 and 10 bytes.
    TCommState line{};
    line.BaudRate = 19200;
    line.DataBits = 8;
    line.Parity = sParityOdd;
    line.StopBits = sStopBits1;
    const double lineMs = TCommPort::CalculateTime(10 + 65 + 10 + 53 + 10 + 42 + 13 + 10, line);

    std::vector<double> ms;
    int value = 10;
    for (auto _ : state) {
        value = value == 10 ? 11 : 10; // a different value each time, so each run writes
        TDeviceCommandOptions o;
        o.port = sim.PortPath();
        o.openTime = value;
        std::ostringstream out, err;
        TDeviceCommand command(dcmSet, o, out, err);
        if (command.Run() != 0 || command.AcknowledgeTime() < 0) {
            state.SkipWithError(err.str().c_str());
            return;
        }
        ms.push_back(command.AcknowledgeTime());
    }
    const bench::TSpread ack = bench::Spread(ms);
    state.counters["ack_median_ms"] = ack.Median;
    state.counters["ack_max_ms"] = ack.Max;
    state.counters["line_ms"] = lineMs;
}
BENCHMARK(BM_SetToAcknowledgedWrite19200)->Iterations(30)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return fk::bench::RunWithEventLoop<QCoreApplication>(argc, argv); }
