// Upload efficiency: `ferrovan flash` of a 32 KiB payload in blocks of 256 bytes to the
// simulated controller paced at 19200 and 115200 baud (8O1, 11 bits a byte). The transfer
// time (first block sent to last block acknowledged) is set against the line time of every
// byte of every exchange in it (request: 10-byte header + 256 data bytes; reply: 10 bytes).
// A ratio of 1 means the line never waits for the configurator.
#include "cli/FlashCommand.h"
#include "session/FirmwareImage.h"
#include "sim/SimController.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <vector>

using namespace fk;

static void BM_Upload32KiB(benchmark::State& state)
{
    const unsigned baud = static_cast<unsigned>(state.range(0));
    constexpr unsigned payloadBytes = 32 * 1024, blockSize = 256;
    TSimOptions options;
    options.Baud = baud;
    options.BlockSize = blockSize;
    options.BlockCount = 256;
    TByteString payload(payloadBytes), image;
    for (unsigned i = 0; i < payloadBytes; ++i)
        payload[i] = static_cast<u8>(i * 31 + 7);
    options.ExpectedFirmware = payload; // a whole number of blocks: the device is told what is whole
    TSimLog log;
    TSimController sim(options, log);
    if (!sim.OpenPseudoTerminal() || !sim.Start()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    QTemporaryDir dir;
    const std::string file = dir.filePath("bench.img").toStdString();
    if (!TFirmwareImage::Build(options.Identifier, payload.data(), payload.size(), image)) {
        state.SkipWithError("image not built");
        return;
    }
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());

    const unsigned blocks = payloadBytes / blockSize;
    const double lineMs = blocks * double(10 + blockSize + 10) * 11 * 1000 / baud;
    std::vector<double> ms;
    for (auto _ : state) {
        TFlashOptions o;
        o.port = sim.PortPath();
        o.image = file;
        o.json = true;
        std::ostringstream out, err;
        TFlashCommand flash(o, out, err);
        if (flash.Run() != 0 || flash.TransferTime() < 0 || sim.InstalledFirmware() != payload) {
            state.SkipWithError(("flash failed: " + err.str()).c_str());
            return;
        }
        ms.push_back(flash.TransferTime());
    }
    const bench::TSpread transfer = bench::Spread(ms);
    state.counters["transfer_ms"] = transfer.Median;
    state.counters["line_ms"] = lineMs;
    state.counters["ratio"] = transfer.Median / lineMs;
    state.counters["ratio_worst"] = transfer.Max / lineMs;
    state.counters["host_ms_per_block"] = (transfer.Median - lineMs) / blocks;
}
BENCHMARK(BM_Upload32KiB)->Arg(19200)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Upload32KiB)->Arg(115200)->Iterations(10)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return fk::bench::RunWithEventLoop<QCoreApplication>(argc, argv); }
