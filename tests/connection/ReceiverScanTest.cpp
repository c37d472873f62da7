// The incremental scan against the full scan: on random streams cut into random read events,
// with time-outs, flushes, line errors, setting changes and reopenings, both must report
// exactly the same events with the same bytes and end every step in the same state.
#include "ConnectionTestUtil.h"

#include <array>
#include <gtest/gtest.h>

using namespace fk;
using namespace fk::test;

namespace {

struct Recorder : TKestReceiver::TSink {
    PacketLog log;
    void ReceiverPacket(const u8* b, u32 n, TKestPacketType t) override { log.Packet(b, n, t); }
    void ReceiverLoss(const u8* b, u32 n, TPacketLossReason r, TCommErrorFlags e) override { log.Loss(b, n, r, e); }
};

// Packets of both protocols, whole, cut short or with a byte changed, and garbage that is
// sometimes thick with start bytes.
TByteString RandomStream(std::mt19937& rng, std::size_t size)
{
    TByteString s;
    while (s.size() < size) {
        const unsigned kind = rng() % 8;
        TByteString piece;
        if (kind <= 2)
            piece = Packet2(rng, rng() % 4 == 0 ? rng() % 700 : rng() % 40, u8(rng()));
        else if (kind <= 4)
            piece = Packet1(rng, rng() % 4 == 0 ? rng() % 1024 : rng() % 30);
        else {
            piece.resize(1 + rng() % 60);
            const unsigned startShare = rng() % 3 == 0 ? 3 : 100;
            for (auto& b : piece)
                b = rng() % startShare == 0 ? 0x55 : u8(rng());
        }
        if (kind == 1 || kind == 3)
            piece.resize(rng() % piece.size()); // cut short
        if ((kind == 0 || kind == 4) && !piece.empty())
            piece[rng() % piece.size()] ^= u8(1 + rng() % 255); // corrupted
        s.insert(s.end(), piece.begin(), piece.end());
    }
    return s;
}

} // namespace

TEST(ReceiverScan, IncrementalAndFullScansReportTheSame)
{
    const u32 limits[] = {10, 64, 256, 1029, 65535};
    TCommState line{};
    line.BaudRate = 19200;
    line.DataBits = 8;
    line.Parity = sParityOdd;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        std::mt19937 rng(seed);
        Recorder a, b;
        TKestReceiver inc(a, TKestReceiver::smIncremental), full(b, TKestReceiver::smFull);
        const auto configure = [&](TKestReceiver& r, u32 maxPacket, u32 maxData, unsigned type, unsigned types) {
            r.SetMaxPacketLength(maxPacket);
            r.SetMaxDataLength(maxData);
            r.SetPacketType(TKestPacketType(type));
            r.SetPacketTypes(TKestPacketTypes(types));
        };
        const u32 maxPacket = limits[rng() % 5], maxData = limits[rng() % 5];
        const unsigned type = rng() % 2, types = 1 + rng() % 3;
        configure(inc, maxPacket, maxData, type, types);
        configure(full, maxPacket, maxData, type, types);

        const TByteString stream = RandomStream(rng, 2000 + rng() % 4000);
        const unsigned chunkMax = std::array<unsigned, 4>{1, 8, 100, 3000}[rng() % 4];
        u32 now = rng();
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t n = std::min<std::size_t>(stream.size() - at, 1 + rng() % chunkMax);
            now += rng() % 50 == 0 ? 300 + rng() % 1000 : rng() % 3;
            const TCommErrorFlags errors = rng() % 40 == 0 ? TCommErrorFlags(CE_FRAME) : 0u;
            for (TKestReceiver* r : {&inc, &full}) {
                r->AddErrors(errors);
                r->Receive(stream.data() + at, u32(n), now, line);
            }
            at += n;
            const unsigned event = rng() % 200;
            if (event == 0) {
                inc.Flush();
                full.Flush();
            } else if (event == 1) {
                const u32 d = limits[rng() % 5];
                inc.SetMaxDataLength(d);
                full.SetMaxDataLength(d);
            } else if (event == 2) {
                const auto t = TKestPacketType(rng() % 2);
                inc.SetPacketType(t);
                full.SetPacketType(t);
            } else if (event == 3) {
                const auto t = TKestPacketTypes(1 + rng() % 3);
                inc.SetPacketTypes(t);
                full.SetPacketTypes(t);
            } else if (event == 4) {
                inc.ResetPending();
                full.ResetPending();
            }
            ASSERT_EQ(a.log.events, b.log.events) << "seed " << seed << " at " << at;
            ASSERT_EQ(a.log.bytes, b.log.bytes) << "seed " << seed;
            ASSERT_EQ(inc.Buffer(), full.Buffer()) << "seed " << seed;
            ASSERT_EQ(inc.PendingPos(), full.PendingPos()) << "seed " << seed;
            ASSERT_EQ(inc.PendingSince(), full.PendingSince()) << "seed " << seed;
            ASSERT_EQ(inc.PendingTimeout(), full.PendingTimeout()) << "seed " << seed;
        }
        inc.Flush();
        full.Flush();
        ASSERT_EQ(a.log.events, b.log.events) << "seed " << seed;
        ASSERT_FALSE(a.log.events.empty()) << "seed " << seed;
    }
}
