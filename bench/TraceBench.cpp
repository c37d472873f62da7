// What the diagnostic trace costs. HooksOff: one hook call of each kind while no trace file is
// open (what every program without --trace pays). ReceiveOff / ReceiveOn: the packet
// connection's receive path, 266-byte protocol-2 packets fed one per read event, without a
// trace and with one written to a file in TMPDIR (or /tmp); per packet. SendOff / SendOn: the
// same for packets sent through the send queue.
#include "BenchConnection.h"
#include "support/TraceSink.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>

using namespace fk;
using fk::bench::BenchPort;

namespace {

TByteString Packet(unsigned dataLength)
{
    std::mt19937 rng(3);
    return bench::Packet(rng, dataLength);
}

// A trace file for the On variants, active while it lives.
class TTraceFile {
public:
    explicit TTraceFile(bool on)
    {
        if (!on)
            return;
        const char* tmp = std::getenv("TMPDIR");
        sink_.Open(String(tmp && *tmp ? tmp : "/tmp") + "/fk-trace-bench.jsonl");
        TTraceSink::SetActive(&sink_);
    }
    ~TTraceFile() { TTraceSink::SetActive(nullptr); }

private:
    TTraceSink sink_;
};

void BM_HooksOff(benchmark::State& state)
{
    TTraceSink::SetActive(nullptr);
    const u8 bytes[10] = {0x55, 7};
    for (auto _ : state) {
        TTraceSink::Packet(true, "port", 7, "dcStatus", bytes, sizeof bytes);
        TTraceSink::Status("Connected");
        TTraceSink::State("connected", "none");
        benchmark::ClobberMemory();
    }
    state.SetLabel("3 hook calls per iteration");
}
BENCHMARK(BM_HooksOff);

void Receive(benchmark::State& state, bool on)
{
    const TTraceFile trace(on);
    TOwned<TKestConnection> conn = Make<TKestConnection>();
    TOwned<BenchPort> port = Make<BenchPort>();
    conn->SetMaxPacketLength(266);
    conn->SetMaxDataLength(256);
    conn->SetCommPort(port.get());
    conn->SetPortName("/dev/ttyBENCH");
    conn->Open();
    const TByteString packet = Packet(256);
    for (auto _ : state)
        port->Feed(packet.data(), u32(packet.size()));
    state.SetItemsProcessed(state.iterations());
}
void BM_ReceiveOff(benchmark::State& state) { Receive(state, false); }
void BM_ReceiveOn(benchmark::State& state) { Receive(state, true); }
BENCHMARK(BM_ReceiveOff);
BENCHMARK(BM_ReceiveOn);

void Send(benchmark::State& state, bool on)
{
    const TTraceFile trace(on);
    TOwned<TKestConnection> conn = Make<TKestConnection>();
    TOwned<BenchPort> port = Make<BenchPort>();
    conn->SetCommPort(port.get());
    conn->SetPortName("/dev/ttyBENCH");
    conn->Open();
    const TByteString packet = Packet(16);
    for (auto _ : state)
        conn->SendData(packet);
    state.SetItemsProcessed(state.iterations());
}
void BM_SendOff(benchmark::State& state) { Send(state, false); }
void BM_SendOn(benchmark::State& state) { Send(state, true); }
BENCHMARK(BM_SendOff);
BENCHMARK(BM_SendOn);

} // namespace

BENCHMARK_MAIN();
