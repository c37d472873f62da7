// Binding, event forwarding, line settings and the send queue of the packet connection, on a
// port whose events the test raises by hand.
#include "ConnectionTestUtil.h"
#include "ports/SerialPort.h"

#include <gtest/gtest.h>

using namespace fk;
using namespace fk::test;

namespace {

std::size_t Listeners(const TCommPort& p)
{
    const auto& l = p.EventList;
    return l.OnOpening.Count() + l.OnOpen.Count() + l.OnClosing.Count() + l.OnClosed.Count() + l.OnWrite.Count()
        + l.OnRead.Count() + l.OnEvent.Count() + l.OnStatusUpdate.Count() + l.OnError.Count()
        + l.OnRxSpeed.Count() + l.OnModemLost.Count() + l.OnOpened.Count();
}

struct Connection : ::testing::Test {
    TOwned<TestConnection> conn = Make<TestConnection>();
    TOwned<FakePort> port = Make<FakePort>();
    std::mt19937 rng{5};
};

} // namespace

TEST_F(Connection, BindsItsOwnSerialPortUnlessGivenAnother)
{
    auto* own = dynamic_cast<TSerialPort*>(conn->CommPort());
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(Listeners(*own), 11u);
    EXPECT_TRUE(own->AutoRead());
    EXPECT_EQ(conn->PortName(), "");

    port->SetPortName("ttyFAKE");
    conn->SetCommPort(port.get());
    EXPECT_EQ(conn->CommPort(), port.get());
    EXPECT_EQ(Listeners(*port), 11u);
    EXPECT_EQ(port->EventList.OnOpened.Count(), 0u);
    EXPECT_EQ(conn->PortName(), "ttyFAKE");
    ASSERT_TRUE(conn->Open());
    conn->SetCommPort(port.get()); // already bound: untouched
    EXPECT_TRUE(port->open);

    conn->SetCommPort(nullptr); // closes and unhooks the external port
    EXPECT_FALSE(port->open);
    EXPECT_EQ(Listeners(*port), 0u);
    ASSERT_NE(dynamic_cast<TSerialPort*>(conn->CommPort()), nullptr);

    // An external port that goes away leaves the connection without one.
    conn->SetCommPort(port.get());
    ASSERT_TRUE(conn->Open());
    port.reset();
    EXPECT_EQ(conn->CommPort(), nullptr);
    EXPECT_FALSE(conn->IsValid());
    EXPECT_FALSE(conn->SendData(TByteString{1}));
    EXPECT_FALSE(conn->Open());
    conn->SetCommPort(nullptr);
    EXPECT_NE(dynamic_cast<TSerialPort*>(conn->CommPort()), nullptr);

    // Unbound by hand, no port still means the own serial port again.
    conn->RemoveCommPort();
    conn->SetCommPort(nullptr);
    EXPECT_NE(conn->CommPort(), nullptr);
}

TEST_F(Connection, PortEventsArriveWithTheConnectionAsSender)
{
    conn->SetCommPort(port.get());
    Strings seen;
    TObject* const self = conn.get();
    const auto note = [&](TObject* sender, std::string what) {
        seen.push_back((sender == self ? "" : "WRONG SENDER ") + what);
    };
    conn->OnOpening = TCommOpenEvent::Bind(this, [&](TObject* s, const String& n, u32 r) {
        note(s, "opening " + n + " " + std::to_string(r) + " current=" + conn->CurrentPortName());
    });
    conn->OnOpen = TCommOpenEvent::Bind(this, [&](TObject* s, const String& n, u32 r) { note(s, "open " + n + " " + std::to_string(r)); });
    conn->OnOpened = TCommOpenEvent::Bind(this, [&](TObject* s, const String&, u32) { note(s, "opened"); });
    conn->OnClosing = TCommCloseEvent::Bind(this, [&](TObject* s, const String&, u32, TCommCloseReason) { note(s, "closing"); });
    conn->OnClosed = TCommCloseEvent::Bind(this, [&](TObject* s, const String&, u32, TCommCloseReason) {
        note(s, "closed current=" + conn->CurrentPortName());
    });
    conn->OnError = TCommErrorEvent::Bind(this, [&](TObject* s, TCommErrorFlags e) { note(s, "error " + std::to_string(e)); });
    conn->OnStatusUpdate = TCommStatusEvent::Bind(this, [&](TObject* s, const TCommStatus& st, TCommErrorFlags) {
        note(s, "status " + std::to_string(st.InQueue));
    });
    conn->OnEvent = TCommEventEvent::Bind(this, [&](TObject* s, TCommEventFlags e, u32, const TCommStatus&, TCommErrorFlags) {
        note(s, "event " + std::to_string(e));
    });
    conn->OnModemLost = TCommSpeedEvent::Bind(this, [&](TObject* s, u32 v) { note(s, "lost " + std::to_string(v)); });
    conn->OnRxSpeed = TCommSpeedEvent::Bind(this, [&](TObject* s, u32 v) { note(s, "speed " + std::to_string(v)); });
    conn->OnRead = TCommTransferEvent::Bind(this, [&](TObject* s, const void*, u32 size, u32 n, TCommErrorFlags e, u32 r) {
        note(s, "read " + std::to_string(size) + " " + std::to_string(n) + " " + std::to_string(e) + " " + std::to_string(r));
    });
    conn->OnWrite = TCommTransferEvent::Bind(this, [&](TObject* s, const void*, u32, u32 n, TCommErrorFlags, u32) {
        note(s, "write " + std::to_string(n));
    });

    conn->SetPortName("ttyB"); // set after binding: this name is opened
    ASSERT_TRUE(conn->Open());
    EXPECT_EQ(port->openedName, "ttyB");
    EXPECT_EQ(conn->CurrentPortName(), "ttyB");
    port->DoOnError(CE_FRAME);
    port->DoOnStatusUpdate(TCommStatus{0, 4, 0}, 0);
    port->DoOnEvent(CommEventBit(cEvTxEmpty), 0, TCommStatus{}, 0);
    port->DoOnModemLost(1167);
    port->DoOnRxSpeed(9600);
    port->Feed({1, 2, 3}, CE_OVERRUN);
    conn->Write("x", 1);
    conn->Close();
    EXPECT_EQ(conn->CurrentPortName(), "");
    EXPECT_EQ(seen, (Strings{"opening ttyB 0 current=ttyB", "open ttyB 0", "opened", "error 8", "status 4",
                             "status 0", "event 4", "lost 1167", "speed 9600", "read 3 3 2 0", "write 1",
                             "closing", "speed 0", "closed current="}));
}

TEST_F(Connection, LineSettingsAreKeptByTheConnectionAndHandedOverAtOpen)
{
    const TCommState& s = conn->GetState();
    EXPECT_EQ(s.BaudRate, 19200u);
    EXPECT_EQ(s.DataBits, 8);
    EXPECT_EQ(s.Parity, sParityOdd);
    EXPECT_EQ(s.StopBits, sStopBits1);
    EXPECT_EQ(s.Flags, u32(fBinary | fParity | fTXContinueOnXoff));
    EXPECT_EQ(s.XoffLim, 1);
    EXPECT_EQ(s.EvtChar, 0x55);
    EXPECT_EQ(s.EofChar, 0xFF);
    EXPECT_EQ(conn->CalculateTime(266), 153u);

    conn->SetCommPort(port.get());
    conn->SetBaudRate(19200); // unchanged: the port is not asked
    EXPECT_EQ(port->updates, 0);
    conn->SetBaudRate(57600);
    conn->SetDTRControl(cDTR_Enable);
    EXPECT_EQ(port->updates, 2);
    EXPECT_FALSE(conn->SetFlowControl(0));
    EXPECT_FALSE(conn->SetFlowControl(4));
    EXPECT_EQ(port->updates, 2);
    EXPECT_EQ(conn->DTRControl(), cDTR_Enable);
    EXPECT_TRUE(conn->SetFlowControl(cFlowHardware));
    EXPECT_TRUE(conn->GetState().Flag(fOutxCtsFlow));
    EXPECT_EQ(port->GetState().BaudRate, TCommPort::DefaultBaudRate); // not before Open
    ASSERT_TRUE(conn->Open());
    EXPECT_EQ(std::memcmp(&port->GetState(), &conn->GetState(), sizeof(TCommState)), 0);

    // PurgeRx clears the port's queue, not what the connection has collected.
    port->Feed({0x55, 0x01});
    EXPECT_TRUE(conn->PurgeRx());
    EXPECT_EQ(port->purged, u32(PURGE_RXABORT | PURGE_RXCLEAR));
    EXPECT_EQ(conn->Receiver().Buffer().size(), 2u);
}

TEST_F(Connection, SendQueueIsPacedByWriteEventsAndReceivedPackets)
{
    conn->SetCommPort(port.get());
    ASSERT_TRUE(conn->Open());
    port->confirmWrites = false; // write events come later, as from an I/O thread
    EXPECT_TRUE(conn->SendData(TByteString{1, 1}));
    EXPECT_TRUE(conn->SendData(RawByteString("\x02\x02\x02")));
    ASSERT_EQ(port->written, (std::vector<TByteString>{{1, 1}}));
    port->ConfirmWrite("elsewhere", 2); // not the head: stays
    EXPECT_EQ(conn->SendQueueCount(), 2u);
    port->ConfirmWrite(port->writtenAt[0], 2);
    EXPECT_EQ(conn->SendQueueCount(), 1u);
    EXPECT_EQ(port->written.size(), 1u); // the next goes out with the next packet
    port->Feed(Packet2(rng, 1));
    ASSERT_EQ(port->written.size(), 2u);
    EXPECT_EQ(port->written[1], (TByteString{2, 2, 2}));
    port->Feed(Packet2(rng, 1)); // unconfirmed head: written again
    EXPECT_EQ(port->written.size(), 3u);
    port->ConfirmWrite(port->writtenAt[2], 3);
    port->Feed(Packet2(rng, 1)); // empty queue: nothing written
    EXPECT_EQ(port->written.size(), 3u);

    // A first write that is not taken whole fails: the bytes are not kept for a packet that
    // would never come (the failure itself is covered below).
    port->confirmWrites = true;
    port->accept = 1;
    EXPECT_FALSE(conn->SendData(TByteString{4, 4}));
    port->accept = ~0u;
    EXPECT_EQ(conn->SendQueueCount(), 0u);
    port->Feed(Packet2(rng, 1));
    EXPECT_EQ(port->written.back(), (TByteString{4}));

    // A successful open empties the queue.
    port->confirmWrites = false;
    conn->SendData(TByteString{5});
    conn->SendData(TByteString{6});
    ASSERT_TRUE(conn->Open());
    EXPECT_EQ(conn->SendQueueCount(), 0u);
    EXPECT_FALSE(conn->SendData(nullptr, 3));
}

TEST_F(Connection, FailedWritesDropTheHeadWithALossReportAndTheQueueMovesOn)
{
    conn->SetCommPort(port.get());
    ASSERT_TRUE(conn->Open());
    PacketLog log;
    log.Attach(*conn);
    port->confirmWrites = false; // asynchronous: the write event comes later

    // A write that timed out: the head goes, reported, and the next request (a resend, say)
    // reaches the line at once instead of waiting behind it for a reply that cannot come.
    EXPECT_TRUE(conn->SendData(TByteString{1, 1, 1}));
    port->FailWrite(port->writtenAt[0], 3, 0, ERROR_TIMEOUT, CE_TXFULL);
    EXPECT_EQ(conn->SendQueueCount(), 0u);
    EXPECT_EQ(log.events, Strings{"L3:3:" + std::to_string(CE_TXFULL)});
    EXPECT_EQ(log.bytes.back(), (TByteString{1, 1, 1}));
    conn->SendData(TByteString{2, 2});
    ASSERT_EQ(port->written.size(), 2u);
    EXPECT_EQ(port->written[1], (TByteString{2, 2}));

    // A failure with buffers queued behind it (an aborted write, part of it sent): the next
    // one is written at once, the one after it still waits for a packet.
    conn->SendData(TByteString{3});
    conn->SendData(TByteString{4});
    EXPECT_EQ(conn->SendQueueCount(), 3u);
    port->FailWrite(port->writtenAt[1], 2, 1, ERROR_OPERATION_ABORTED);
    ASSERT_EQ(port->written.size(), 3u);
    EXPECT_EQ(port->written[2], (TByteString{3}));
    EXPECT_EQ(conn->SendQueueCount(), 2u);
    EXPECT_EQ(log.events.size(), 2u);
    // A short write reported as a success is a failure too.
    port->FailWrite(port->writtenAt[2], 1, 0, ERROR_SUCCESS);
    ASSERT_EQ(port->written.size(), 4u);
    EXPECT_EQ(port->written[3], (TByteString{4}));
    port->ConfirmWrite(port->writtenAt[3], 1);
    EXPECT_EQ(conn->SendQueueCount(), 0u);
    EXPECT_EQ(log.events.size(), 3u);

    // A port that refuses the write at once, without any write event: nothing stays queued.
    port->refuse = true;
    EXPECT_FALSE(conn->SendData(TByteString{5, 5}));
    EXPECT_EQ(GetLastError(), u32(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(conn->SendQueueCount(), 0u);
    EXPECT_EQ(log.events.back(), "L3:2:0");
    port->refuse = false;
    conn->SendData(TByteString{6});
    EXPECT_EQ(port->written.back(), (TByteString{6}));

    // A handler of the loss report that sends again gets its bytes on the line once.
    conn->OnPacketLoss = TKestPacketLossEvent::Bind(&log, [&](TObject*, const void*, DWORD, TPacketLossReason r,
                                                              TCommErrorFlags) {
        if (r == plrNotSent)
            conn->SendData(TByteString{7});
    });
    port->ConfirmWrite(port->writtenAt.back(), 1);
    conn->SendData(TByteString{8});
    const std::size_t before = port->written.size();
    port->FailWrite(port->writtenAt.back(), 1, 0, ERROR_TIMEOUT);
    ASSERT_EQ(port->written.size(), before + 1);
    EXPECT_EQ(port->written.back(), (TByteString{7}));
    EXPECT_EQ(conn->SendQueueCount(), 1u);
}

TEST_F(Connection, SendPacketSendsAFreshWireImageOrThePacketAsItIs)
{
    conn->SetCommPort(port.get());
    ASSERT_TRUE(conn->Open());
    KestPacketHeader2_t_ h;
    h.Initialize(1, 8, 0x08, 10);
    const u8 data[] = {0, 0, 0x19};
    const TKestPacket2 packet(h, data, 3);
    EXPECT_FALSE(conn->SendPacket(nullptr, false));
    for (int i = 0; i < 4 && (port->written.size() < 2 || port->written[0] == port->written[1]); ++i) {
        port->written.clear();
        ASSERT_TRUE(conn->SendPacket(&packet, false));
        ASSERT_TRUE(conn->SendPacket(&packet, false));
    }
    ASSERT_EQ(port->written.size(), 2u);
    EXPECT_NE(port->written[0], port->written[1]); // fresh keys
    for (const auto& w : port->written) {
        TKestPacket2 back(w.data(), u32(w.size()));
        EXPECT_TRUE(back.IsValid());
        u8 plain[3] = {};
        EXPECT_EQ(back.RetreiveData(plain, 3), 3u);
        EXPECT_EQ(std::memcmp(plain, data, 3), 0);
    }
    ASSERT_TRUE(conn->SendPacket(&packet, true));
    EXPECT_EQ(port->written.back(), packet.GetPacketBuffer());
}
