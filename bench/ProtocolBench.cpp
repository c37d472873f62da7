// Scanner throughput over a 64 KiB receive buffer, scanned the way the packet connection scans:
// from the front, packet after packet, until the scanner finds nothing more.
//   NoStart      random bytes without any start byte
//   OnePercent   random bytes of which 1 % are start bytes
//   BackToBack   valid packets back to back (protocol 2: 266 bytes, 256 data bytes)
// The data length limit is 256, as the device session sets it; the "Limit65535" variants show
// the connection's default limit, where far more candidates are complete enough to be summed.
#include "protocol/KestPacket1.h"
#include "protocol/KestPacket2.h"

#include <benchmark/benchmark.h>
#include <random>

using namespace fk;

namespace {

constexpr unsigned BufferSize = 64 * 1024;

TByteString RandomBuffer(double startShare)
{
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> share(0.0, 1.0);
    TByteString b(BufferSize);
    for (auto& x : b) {
        x = static_cast<u8>(rng());
        if (x == 0x55)
            x = 0x54;
        if (share(rng) < startShare)
            x = 0x55;
    }
    return b;
}

template <class Packet>
TByteString BackToBack(unsigned dataLength)
{
    std::mt19937 rng(7);
    TByteString b, data(dataLength), wire;
    typename Packet::Header_t h;
    if constexpr (std::is_same_v<Packet, TKestPacket2>)
        h.Initialize(8, 1, 0x05, 10);
    else
        h.Initialize(3, 1, 0x05, 0);
    while (b.size() + dataLength + Packet::Header_t::DataOffset <= BufferSize) {
        for (auto& x : data)
            x = static_cast<u8>(rng());
        Packet(h, data.data(), dataLength).PrepareSend(wire);
        b.insert(b.end(), wire.begin(), wire.end());
    }
    return b;
}

template <class Packet>
void Scan(benchmark::State& state, const TByteString& b, unsigned maxDataLength)
{
    std::size_t packets = 0;
    for (auto _ : state) {
        unsigned pos = 0, length = 0;
        while (Packet::RetreivePacket(b.data(), unsigned(b.size()), pos, maxDataLength, length)) {
            ++packets;
            pos += length;
        }
        benchmark::DoNotOptimize(pos);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(b.size()));
    state.counters["packets/scan"] = double(packets) / double(state.iterations());
}

template <class Packet>
void BM_NoStart(benchmark::State& s) { static const auto b = RandomBuffer(0); Scan<Packet>(s, b, 256); }
template <class Packet>
void BM_OnePercent(benchmark::State& s) { static const auto b = RandomBuffer(0.01); Scan<Packet>(s, b, 256); }
template <class Packet>
void BM_OnePercentLimit65535(benchmark::State& s) { static const auto b = RandomBuffer(0.01); Scan<Packet>(s, b, 65535); }
void BM_BackToBack2(benchmark::State& s) { static const auto b = BackToBack<TKestPacket2>(256); Scan<TKestPacket2>(s, b, 256); }
void BM_BackToBack1(benchmark::State& s) { static const auto b = BackToBack<TKestPacket1>(256); Scan<TKestPacket1>(s, b, 256); }

void BM_Encode2(benchmark::State& state)
{
    TByteString data(256, 0x11), out(256);
    for (auto _ : state) {
        KestPacketHeader2_t_::Encode(out.data(), data.data(), 256, 0x5A);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * 256);
}

} // namespace

BENCHMARK_TEMPLATE(BM_NoStart, TKestPacket2);
BENCHMARK_TEMPLATE(BM_OnePercent, TKestPacket2);
BENCHMARK(BM_BackToBack2);
BENCHMARK_TEMPLATE(BM_OnePercentLimit65535, TKestPacket2);
BENCHMARK_TEMPLATE(BM_NoStart, TKestPacket1);
BENCHMARK_TEMPLATE(BM_OnePercent, TKestPacket1);
BENCHMARK(BM_BackToBack1);
BENCHMARK_TEMPLATE(BM_OnePercentLimit65535, TKestPacket1);
BENCHMARK(BM_Encode2);

BENCHMARK_MAIN();
