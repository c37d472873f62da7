// MD5 throughput on 256 MiB. The data is random, or the contents of the file
// named by FK_MD5_FILE (scripts/bench-md5 passes the file it also gives to md5sum).
#include "support/MessageDigest5.h"

#include <benchmark/benchmark.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

const std::vector<fk::u8>& Data()
{
    static const std::vector<fk::u8> data = [] {
        std::vector<fk::u8> d;
        if (const char* file = std::getenv("FK_MD5_FILE"); file && *file) {
            std::ifstream in(file, std::ios::binary);
            d.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        if (d.empty()) {
            d.resize(std::size_t(256) << 20);
            std::mt19937_64 rng(1);
            for (std::size_t i = 0; i + 8 <= d.size(); i += 8) {
                const std::uint64_t v = rng();
                std::memcpy(d.data() + i, &v, 8);
            }
        }
        return d;
    }();
    return data;
}

// The whole buffer in one call.
void BM_Md5_256MiB(benchmark::State& state)
{
    const auto& data = Data();
    fk::u8 digest[fk::TMessageDigest5::HashSize];
    for (auto _ : state) {
        fk::TMessageDigest5 md(data.data(), static_cast<unsigned>(data.size()));
        md.FinalDigest(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(data.size()));
    // The digest as the label, so that a script can check it against md5sum.
    static const char hex[] = "0123456789abcdef";
    std::string label;
    for (fk::u8 b : digest) {
        label += hex[b >> 4];
        label += hex[b & 15];
    }
    state.SetLabel(label);
}
BENCHMARK(BM_Md5_256MiB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same data in pieces of state.range(0) bytes, as a reader of a file would feed it.
void BM_Md5_256MiB_Pieces(benchmark::State& state)
{
    const auto& data = Data();
    const std::size_t piece = static_cast<std::size_t>(state.range(0));
    fk::u8 digest[fk::TMessageDigest5::HashSize];
    for (auto _ : state) {
        fk::TMessageDigest5 md;
        for (std::size_t at = 0; at < data.size(); at += piece)
            md.AddData(data.data() + at, static_cast<unsigned>(std::min(piece, data.size() - at)));
        md.FinalDigest(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(data.size()));
}
BENCHMARK(BM_Md5_256MiB_Pieces)->Arg(1000)->Arg(32768)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
