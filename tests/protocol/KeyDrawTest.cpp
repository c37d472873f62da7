#include "protocol/ByteSum.h"
#include "protocol/KeyDraw.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

using namespace fk;

TEST(ByteSum, MatchesPlainSumForEveryLengthAndAlignment)
{
    std::mt19937 rng(7);
    std::vector<u8> data(1200);
    for (auto& b : data)
        b = static_cast<u8>(rng());
    for (std::size_t start = 0; start < 17; ++start)
        for (std::size_t n = 0; start + n <= data.size(); n += (n < 200 ? 1 : 97)) {
            const u8 expect = static_cast<u8>(std::accumulate(data.begin() + long(start),
                                                              data.begin() + long(start + n), 0u));
            ASSERT_EQ(ByteSum8(data.data() + start, n), expect) << start << "+" << n;
        }
    EXPECT_EQ(ByteSum8(nullptr, 10), 0);
}

namespace {
// Hands out a fixed list of raw values, so that the rejection rule can be watched.
struct ScriptedEngine {
    std::vector<std::uint32_t> values;
    std::size_t next = 0;
    std::uint32_t operator()() { return values.at(next++); }
};
} // namespace

TEST(KeyDraw, RejectsTheIncompleteTopCopyOfTheRange)
{
    // 2^32 = 68174084 * 63 + 4: the four values from 4294967292 on would favour keys 1..4.
    ScriptedEngine e{{4294967295u, 4294967292u, 4294967291u}};
    EXPECT_EQ(DrawUniform(e, 1, 63), 1 + 4294967291u % 63);
    EXPECT_EQ(e.next, 3u);
    // 2^32 = 16843009 * 255 + 1: only the very top value is refused for 1..255.
    ScriptedEngine f{{4294967295u, 4294967294u}};
    EXPECT_EQ(DrawUniform(f, 1, 255), 255);
    EXPECT_EQ(f.next, 2u);
    ScriptedEngine g{{}};
    EXPECT_EQ(DrawUniform(g, 9, 9), 9);
}

TEST(KeyDraw, CoversTheRangeEvenlyOnEveryThread)
{
    auto histogram = [](u8 lo, u8 hi, int draws) {
        std::array<int, 256> counts{};
        for (int i = 0; i < draws; ++i)
            ++counts[DrawKey(lo, hi)];
        return counts;
    };
    for (auto range : {std::pair<u8, u8>{1, 63}, {1, 255}}) {
        const u8 lo = range.first, hi = range.second;
        const int bins = hi - lo + 1, draws = bins * 2000;
        std::array<int, 256> counts{};
        std::thread([&] { counts = histogram(lo, hi, draws); }).join();
        double chi2 = 0;
        for (int v = 0; v < 256; ++v) {
            if (v < lo || v > hi) {
                ASSERT_EQ(counts[v], 0) << v;
                continue;
            }
            const double d = counts[v] - 2000.0;
            chi2 += d * d / 2000.0;
        }
        // Far beyond any chance deviation (p < 1e-9 for these degrees of freedom), yet a
        // folded modulo or a stuck generator trips it.
        EXPECT_LT(chi2, bins + 12 * std::sqrt(2.0 * bins)) << int(lo) << ".." << int(hi);
    }
}

TEST(KeyDraw, ThreadsDrawDifferentStreams)
{
    std::vector<u8> a(64), b(64);
    std::thread ta([&] { for (auto& k : a) k = DrawKey(1, 255); });
    std::thread tb([&] { for (auto& k : b) k = DrawKey(1, 255); });
    ta.join();
    tb.join();
    EXPECT_NE(a, b);
}
