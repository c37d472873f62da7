// The receive path of the packet connection on a port whose read events the test raises:
// packets cut out of the stream, loss reports, the pending packet's time-out, the overflow
// halving and the flush when reception stops.
#include "ConnectionTestUtil.h"

#include <gtest/gtest.h>

using namespace fk;
using namespace fk::test;

namespace {

struct ReceivePath : ::testing::Test {
    TOwned<TestConnection> conn = Make<TestConnection>();
    TOwned<FakePort> port = Make<FakePort>();
    PacketLog log;
    std::mt19937 rng{11};

    void SetUp() override
    {
        conn->SetCommPort(port.get());
        log.Attach(*conn);
        ASSERT_TRUE(conn->Open());
    }
    const TKestReceiver& rx() const { return conn->Receiver(); }
};

// A protocol-2 header that announces 266 bytes, then `extra` zero bytes. Read as protocol 1
// it is a complete 14-byte candidate with a bad sum, so only protocol 2 keeps it pending.
TByteString Stalled266(unsigned extra)
{
    TByteString b{0x55, 0x08, 0x01, 0x08, 0x0A, 0x01, 0x00, 0x00, 0x01, 0x00};
    b.resize(b.size() + extra, 0x00);
    return b;
}

} // namespace

TEST_F(ReceivePath, PacketsInOneReadAndAcrossReads)
{
    const auto a = Packet2(rng, 20), b = Packet2(rng, 3), c = Packet2(rng, 40);
    port->Feed(Cat({a, b, TByteString(c.begin(), c.begin() + 15)}));
    EXPECT_EQ(log.events, (Strings{"P2:30", "P2:13"}));
    EXPECT_EQ(log.bytes[0], a);
    EXPECT_EQ(log.bytes[1], b);
    EXPECT_EQ(rx().Buffer().size(), 15u);
    EXPECT_EQ(rx().PendingPos(), 0u);

    port->Feed(TByteString(c.begin() + 15, c.end()));
    EXPECT_EQ(log.events, (Strings{"P2:30", "P2:13", "P2:50"}));
    EXPECT_EQ(log.bytes[2], c);
    EXPECT_TRUE(rx().Empty());
    EXPECT_EQ(rx().PendingPos(), TKestConnection::InitPacketPos);
}

TEST_F(ReceivePath, GarbageIsReportedWithTheLineErrorsThatTheNextPacketClears)
{
    const auto a = Packet2(rng, 20);
    port->Feed({}, CE_FRAME); // errors without bytes are kept
    port->Feed(Cat({TByteString{1, 2, 3}, a}), CE_OVERRUN);
    EXPECT_EQ(log.events, (Strings{"L0:3:10", "P2:30"}));
    EXPECT_EQ(log.bytes[0], (TByteString{1, 2, 3}));

    port->Feed({7, 7});
    port->Speed(0);
    port->Speed(0); // nothing left: no report
    EXPECT_EQ(log.events, (Strings{"L0:3:10", "P2:30", "L2:2:0"}));
    EXPECT_TRUE(rx().Empty());
}

TEST_F(ReceivePath, APacketThatStallsTimesOutAfterTwiceItsLineTimeAndMinPacketTime)
{
    conn->now = 0xFFFFFF00; // the wait spans the wrap of the tick
    port->Feed(Stalled266(10));
    EXPECT_EQ(rx().PendingPos(), 0u);
    EXPECT_EQ(rx().PendingTimeout(), 2 * 153u + 200u); // 19200 baud, 8O1
    conn->now += 506;
    port->Feed({0});
    EXPECT_TRUE(log.events.empty());
    conn->now += 1;
    port->Feed({0});
    EXPECT_EQ(log.events, (Strings{"L2:22:0"}));
    EXPECT_TRUE(rx().Empty());

    // Garbage in front of a stalled packet is reported apart from it.
    port->Feed(Cat({TByteString{1, 2}, Stalled266(0)}));
    conn->now += 600;
    port->Feed({0});
    EXPECT_EQ(log.events, (Strings{"L2:22:0", "L0:2:0", "L2:11:0"}));
}

TEST_F(ReceivePath, OverflowHalvesTheUnconsumedBytes)
{
    conn->SetMaxPacketLength(256);
    port->Feed(TByteString(600, 0));
    EXPECT_EQ(log.events, (Strings{"L0:300:0"}));
    EXPECT_EQ(rx().Buffer().size(), 300u);
    port->Feed({0});
    EXPECT_EQ(log.events, (Strings{"L0:300:0", "L0:150:0"}));
    EXPECT_EQ(rx().Buffer().size(), 151u);
    port->Speed(0);
    log.Clear();

    // With a packet pending, the halved bytes are part of it: corrupted.
    TByteString big{0x55, 0x08, 0x01, 0x08, 0xE8, 0x03, 0x00, 0x00, 0x01, 0x00}; // 1000 bytes announced
    big.resize(310, 0);
    port->Feed(big);
    EXPECT_EQ(log.events, (Strings{"L1:155:0"}));
    EXPECT_EQ(rx().PendingPos(), TKestConnection::InitPacketPos);
}

TEST_F(ReceivePath, ProtocolFilterAndDataLimitKeepPacketsOut)
{
    conn->SetPacketTypes(PacketTypeBit(ptKestPacket2));
    conn->SetMaxDataLength(256);
    const auto p1 = Packet1(rng, 5), p2 = Packet2(rng, 4), tooLong = Packet2(rng, 257);
    port->Feed(Cat({p1, p2}));
    EXPECT_EQ(log.events, (Strings{"L0:11:0", "P2:14"}));
    port->Feed(tooLong);
    port->Speed(0);
    EXPECT_EQ(log.events, (Strings{"L0:11:0", "P2:14", "L2:267:0"}));
}

TEST_F(ReceivePath, TheEarliestPacketWinsWhateverItsProtocol)
{
    // protocol 1 is preferred, but a protocol-2 packet in front of it is not thrown away
    const auto p2 = Packet2(rng, 12), p1 = Packet1(rng, 7);
    ASSERT_EQ(conn->PacketType(), ptKestPacket1);
    port->Feed(Cat({p2, p1}));
    EXPECT_EQ(log.events, (Strings{"P2:22", "P1:13"}));
}

TEST_F(ReceivePath, HandlersMayCloseThePortOrCauseReadsDuringAScan)
{
    const auto a = Packet2(rng, 5), b = Packet2(rng, 6), c = Packet2(rng, 7);
    // A read caused by a handler is scanned after the bytes in hand.
    conn->OnPacketReceived = TKestPacketEvent::Bind(this, [&](TObject*, const void* p, DWORD n, TKestPacketType t) {
        log.Packet(p, n, t);
        if (log.events.size() == 1)
            port->Feed(c);
    });
    port->Feed(Cat({a, b}));
    EXPECT_EQ(log.events, (Strings{"P2:15", "P2:16", "P2:17"}));
    EXPECT_EQ(log.bytes[2], c);

    // Reception stopping inside a handler: what is not consumed is reported, nothing more delivered.
    log.Clear();
    conn->OnPacketReceived = TKestPacketEvent::Bind(this, [&](TObject*, const void* p, DWORD n, TKestPacketType t) {
        log.Packet(p, n, t);
        port->Speed(0);
    });
    port->Feed(Cat({a, b, TByteString{9}}));
    EXPECT_EQ(log.events, (Strings{"P2:15", "L2:17:0"}));
    EXPECT_TRUE(rx().Empty());
    port->Feed(c);
    EXPECT_EQ(log.events, (Strings{"P2:15", "L2:17:0", "P2:17"}));
}
