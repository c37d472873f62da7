// The packet connection on its own serial port over a pseudo-terminal; the test holds the
// master side and plays the device.
#include "ConnectionTestUtil.h"
#include "platform/SystemClock.h"
#include "ports/SerialPort.h"
#include "EventLoopRun.h"

#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

using namespace fk;
using namespace fk::test;

namespace {

struct SerialIntegration : ::testing::Test {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    std::string path, locks;
    TOwned<TKestConnection> conn = Make<TKestConnection>();
    PacketLog log;
    Strings lost;
    std::mt19937 rng{3};

    void SetUp() override
    {
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        path = ::ptsname(master);
        char tmpl[] = "/tmp/fk-conn-XXXXXX";
        locks = ::mkdtemp(tmpl);
        auto* serial = dynamic_cast<TSerialPort*>(conn->CommPort());
        ASSERT_NE(serial, nullptr);
        serial->SetLockDirectory(locks);
        log.Attach(*conn);
        conn->OnModemLost = TCommSpeedEvent::Bind(this, [this](TObject* s, u32 e) {
            lost.push_back((s == conn.get() ? "" : "WRONG SENDER ") + std::to_string(e));
        });
        conn->SetPortName(path);
        ASSERT_TRUE(conn->Open());
        ASSERT_TRUE(conn->IsValid());
        EXPECT_EQ(conn->CurrentPortName(), path);
    }
    void TearDown() override
    {
        conn.reset();
        if (master >= 0)
            ::close(master);
        std::system(("rm -rf '" + locks + "'").c_str());
    }
    void Send(const TByteString& b) { ASSERT_EQ(::write(master, b.data(), b.size()), ssize_t(b.size())); }
    TByteString Receive(std::size_t count)
    {
        TByteString out;
        const u32 start = GetTickCount();
        while (out.size() < count && TickDiff(GetTickCount(), start) < 3000) {
            pollfd p{master, POLLIN, 0};
            u8 buf[4096];
            if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0)
                    out.insert(out.end(), buf, buf + n);
            }
        }
        return out;
    }
};

} // namespace

TEST_F(SerialIntegration, PacketsBothWaysWithGarbageAndAStalledPeer)
{
    const auto a = Packet2(rng, 256), b = Packet1(rng, 9), c = Packet2(rng, 30);
    Send(Cat({TByteString{0x01, 0x02, 0x03}, a, b}));
    ASSERT_TRUE(RunEventLoopUntil([&] { return log.events.size() >= 3; }));
    EXPECT_EQ(log.events, (Strings{"L0:3:0", "P2:266", "P1:15"}));
    EXPECT_EQ(log.bytes[1], a);
    EXPECT_EQ(log.bytes[2], b);

    const auto request = Packet2(rng, 3);
    ASSERT_TRUE(conn->SendData(request));
    EXPECT_EQ(Receive(request.size()), request);
    EXPECT_EQ(conn->SendQueueCount(), 0u); // a synchronous write is confirmed at once

    // The peer stops in the middle of a packet: reported once reception has stopped.
    log.Clear();
    Send(TByteString(c.begin(), c.begin() + 17));
    ASSERT_TRUE(RunEventLoopUntil([&] { return !log.events.empty(); }));
    EXPECT_EQ(log.events, (Strings{"L2:17:0"}));
    EXPECT_TRUE(conn->Receiver().Empty());
    Send(c);
    ASSERT_TRUE(RunEventLoopUntil([&] { return log.events.size() >= 2; }));
    EXPECT_EQ(log.events[1], "P2:40");
}

TEST_F(SerialIntegration, UnpluggingIsReportedAndTheConnectionCloses)
{
    ::close(master);
    master = -1;
    ASSERT_TRUE(RunEventLoopUntil([&] { return !lost.empty(); }));
    EXPECT_EQ(lost[0], "1167");
    EXPECT_FALSE(conn->SendData(TByteString{1, 2}));
    EXPECT_TRUE(conn->Close());
    EXPECT_EQ(conn->CurrentPortName(), "");
    EXPECT_FALSE(conn->IsValid());
}
