// Receive-path throughput of the packet connection: a stream of valid 266-byte protocol-2
// packets (256 data bytes) with about 1 % garbage between them, raised as read events of a
// port in chunks of 1, 16, 256 and 4096 bytes, through the port's event list into the
// connection (the real path: listener, tick, scan, packet events to a counting handler).
//   Session   MaxPacketLength and MaxDataLength 256, as the device session sets them
//   Defaults  both 65535
// Each runs with the incremental scan (the connection's own) and the full scan (every read
// scans again from the front). The Direct variants call the connection's read step without
// the port's event list, to show the connection's own share. Trickle65535 feeds one
// 65535-byte packet a byte per read.
#include "BenchConnection.h"

#include <benchmark/benchmark.h>
#include <random>

using namespace fk;
using fk::bench::BenchPort;
using fk::bench::Packet;

namespace {

using i64 = std::int64_t;

class BenchConnection : public TKestConnection {
public:
    using TKestConnection::TKestConnection;
    using TKestConnection::DoOnRead;
    using TKestConnection::MutableReceiver;
};

const TByteString& Stream()
{
    static const TByteString stream = [] {
        std::mt19937 rng(17);
        TByteString s;
        while (s.size() < (4u << 20)) {
            const auto p = Packet(rng, 256);
            s.insert(s.end(), p.begin(), p.end());
            for (unsigned g = rng() % 6; g > 0; --g)
                s.push_back(u8(rng())); // 2.5 bytes a packet on average: 0.93 %
        }
        return s;
    }();
    return stream;
}

struct Counts {
    u64 packets = 0, lost = 0;
};

void Run(benchmark::State& state, const TByteString& stream, u32 limit, TKestReceiver::TScanMode mode,
         bool viaPort = true)
{
    const u32 chunk = u32(state.range(0));
    auto port = Make<BenchPort>();
    auto conn = Make<BenchConnection>();
    conn->SetCommPort(port.get());
    conn->SetMaxPacketLength(limit);
    conn->SetMaxDataLength(limit);
    conn->MutableReceiver().SetScanMode(mode);
    Counts c;
    conn->OnPacketReceived = TKestPacketEvent::Bind(&c, [&c](TObject*, const void*, DWORD, TKestPacketType) {
        ++c.packets;
    });
    conn->OnPacketLoss = TKestPacketLossEvent::Bind(&c, [&c](TObject*, const void*, DWORD n, TPacketLossReason,
                                                             TCommErrorFlags) { c.lost += n; });
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            const u32 n = u32(std::min<std::size_t>(chunk, stream.size() - at));
            if (viaPort)
                port->Feed(stream.data() + at, n);
            else
                conn->DoOnRead(stream.data() + at, n, n, 0, 0);
        }
        port->Stop();
    }
    state.SetBytesProcessed(i64(state.iterations()) * i64(stream.size()));
    state.counters["packets"] = benchmark::Counter(double(c.packets) / double(state.iterations()));
    state.counters["lost"] = benchmark::Counter(double(c.lost) / double(state.iterations()));
}



void Session(benchmark::State& s) { Run(s, Stream(), 256, TKestReceiver::smIncremental); }
void Defaults(benchmark::State& s) { Run(s, Stream(), 65535, TKestReceiver::smIncremental); }
void SessionDirect(benchmark::State& s) { Run(s, Stream(), 256, TKestReceiver::smIncremental, false); }
void DefaultsDirect(benchmark::State& s) { Run(s, Stream(), 65535, TKestReceiver::smIncremental, false); }
void SessionFullScan(benchmark::State& s) { Run(s, Stream(), 256, TKestReceiver::smFull); }
void DefaultsFullScan(benchmark::State& s) { Run(s, Stream(), 65535, TKestReceiver::smFull); }

const TByteString& Long()
{
    static const TByteString p = [] {
        std::mt19937 rng(23);
        return Packet(rng, 65525);
    }();
    return p;
}
void Trickle65535(benchmark::State& s) { Run(s, Long(), 65535, TKestReceiver::smIncremental); }
void Trickle65535FullScan(benchmark::State& s) { Run(s, Long(), 65535, TKestReceiver::smFull); }

} // namespace

BENCHMARK(Session)->Arg(1)->Arg(16)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(Defaults)->Arg(1)->Arg(16)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(SessionDirect)->Arg(1)->Arg(16)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(DefaultsDirect)->Arg(1)->Arg(16)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(SessionFullScan)->Arg(1)->Arg(16)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(DefaultsFullScan)->Arg(1)->Arg(16)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(Trickle65535)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Trickle65535FullScan)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
