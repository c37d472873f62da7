// What the diagnostic trace costs. HooksOff: one hook call of each kind while no trace file is
// open (what every program without --trace pays). ReceiveOff / ReceiveOn: the packet
// connection's receive path, 266-byte protocol-2 packets fed one per read event, without a
// trace and with one written to a file in TMPDIR (or /tmp); per packet. SendOff / SendOn: the
// same for packets sent through the send queue.
#include "connection/KestConnection.h"
#include "protocol/KestPacket2.h"
#include "support/TraceSink.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>

using namespace fk;

namespace {

class BenchPort : public TCommPort {
public:
    using TCommPort::TCommPort;
    bool Open(const String& name, u32, TSerialParity, u8, TSerialStopBits) override
    {
        DoOnOpening(name, 0);
        DoOnOpen(name, 0);
        return true;
    }
    bool Close() override { return true; }
    bool IsValid() const override { return true; }
    bool Validate() override { return true; }
    u32 ReadExisting(RawByteString&, bool, TCommErrorFlags*) override { return 0; }
    u32 ReadExisting(TByteString&, bool, TCommErrorFlags*) override { return 0; }
    u32 Read(void*, u32, TCommErrorFlags*) override { return 0; }
    u32 Write(const void* p, u32 count, TCommErrorFlags*) override
    {
        DoOnWrite(p, count, count, 0, 0);
        return count;
    }
    bool UpdateTimeOuts() override { return true; }
    bool SetBreak(bool) override { return true; }
    bool ClearError(TCommErrorFlags*, TCommStatus*) override { return true; }
    bool GetModemStatus(TCommModemStatus*) override { return true; }
    bool Purge(TCommPurgeFlags) override { return true; }
    void Feed(const u8* p, u32 n) { DoOnRead(p, n, n, 0, 0); }
};

TByteString Packet(unsigned dataLength)
{
    std::mt19937 rng(3);
    TByteString data(dataLength), wire;
    for (auto& b : data)
        b = u8(rng());
    KestPacketHeader2_t_ h;
    h.Initialize(8, 1, 0x05, 10);
    TKestPacket2(h, data.data(), dataLength).PrepareSend(wire);
    return wire;
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
