// The TCP client against plain loopback sockets: attempt outcomes, chunks, the disconnect
// procedure's events and re-entrant use from its own handlers.
#include "ModuleTestUtil.h"
#include "module/TCPConnection.h"
#include "module/TCPThread.h"

#include <fcntl.h>

namespace fk::test {
namespace {

class TCPConnectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tcp_ = Make<TTCPConnection>();
        tcp_->OnTCPConnect = TNotifyEvent::Bind(this, [this](TObject*) {
            events_.push_back(tcp_->IsConnected() ? "connect up" : "connect failed");
        });
        tcp_->OnTCPDisconnecting = TNotifyEvent::Bind(this, [this](TObject*) { events_.push_back("disconnecting"); });
        tcp_->OnTCPDisconnected = TNotifyEvent::Bind(this, [this](TObject*) { events_.push_back("disconnected"); });
        tcp_->OnTCPRead = TNetworkTransferEvent::Bind(
            this, [this](TObject*, const String& host, TIdIPVersion, u16, const TByteString& data) {
                read_.append(data.begin(), data.end());
                readHost_ = host;
            });
    }

    // A listening socket on 127.0.0.1; returns its port.
    u16 Listen()
    {
        listener_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        sockaddr_in a = Loopback("127.0.0.1", 0);
        EXPECT_EQ(::bind(listener_.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(listener_.Get(), 4), 0);
        socklen_t length = sizeof a;
        ::getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&a), &length);
        return ntohs(a.sin_port);
    }

    TUniqueFd Accept()
    {
        TUniqueFd peer;
        SpinUntil([&] {
            if (!peer.Valid())
                peer.Reset(::accept(listener_.Get(), nullptr, nullptr));
            return peer.Valid();
        });
        return peer;
    }

    void TearDown() override { tcp_.reset(); } // its handlers use the members below

    TOwned<TTCPConnection> tcp_;
    TUniqueFd listener_;
    std::vector<std::string> events_;
    std::string read_;
    String readHost_;
    int reconnects_ = 0;
};

TEST_F(TCPConnectionTest, IdleComponentRefusesWritesAndRaisesNothing)
{
    EXPECT_EQ(tcp_->GetStatus(), hsDisconnected);
    EXPECT_FALSE(tcp_->IsConnected());
    const char byte = 'x';
    EXPECT_FALSE(tcp_->TCPWrite(nullptr, 4));
    EXPECT_FALSE(tcp_->TCPWrite(&byte, 0));
    EXPECT_FALSE(tcp_->TCPWrite(TByteString{1, 2}));
    tcp_->TCPDisconnect();
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(tcp_->Thread(), nullptr);
}

TEST_F(TCPConnectionTest, RefusedConnectReportsOnceAndClearsCurrentValues)
{
    const u16 port = FreePort(); // nothing listens there
    ASSERT_TRUE(tcp_->TCPConnect("127.0.0.1", Id_IPv4, port));
    EXPECT_EQ(tcp_->CurrentHost(), "127.0.0.1");
    ASSERT_TRUE(SpinUntil([&] { return !events_.empty(); }));
    SpinFor(50);
    EXPECT_EQ(events_, std::vector<std::string>{"connect failed"});
    EXPECT_EQ(tcp_->GetStatus(), hsDisconnected);
    EXPECT_EQ(tcp_->Thread()->ConnectError(), ERROR_OPEN_FAILED);
    EXPECT_TRUE(tcp_->CurrentHost().empty());
    EXPECT_EQ(tcp_->CurrentPort(), 0);
}

TEST_F(TCPConnectionTest, ExchangeThenPeerCloseEndsTheConnectionOnce)
{
    const u16 port = Listen();
    ASSERT_TRUE(tcp_->TCPConnect("127.0.0.1", Id_IPv4, port));
    TUniqueFd peer = Accept();
    ASSERT_TRUE(peer.Valid());
    ASSERT_TRUE(SpinUntil([&] { return tcp_->IsConnected(); }));
    EXPECT_EQ(tcp_->PeerAddress(), "127.0.0.1");

    ASSERT_TRUE(tcp_->TCPWrite("KCCONF\r", 7));
    char buffer[16] = {};
    ASSERT_TRUE(SpinUntil([&] { return ::recv(peer.Get(), buffer, sizeof buffer, MSG_DONTWAIT) == 7; }));
    EXPECT_EQ(std::string(buffer, 7), "KCCONF\r");

    ASSERT_EQ(::send(peer.Get(), "APOKKK", 6, 0), 6);
    ASSERT_TRUE(SpinUntil([&] { return read_.size() == 6; }));
    EXPECT_EQ(read_, "APOKKK");
    EXPECT_EQ(readHost_, "127.0.0.1");

    peer.Reset();
    ASSERT_TRUE(SpinUntil([&] { return tcp_->GetStatus() == hsDisconnected; }));
    SpinFor(50);
    EXPECT_EQ(events_, (std::vector<std::string>{"connect up", "disconnecting", "disconnected"}));
    EXPECT_TRUE(tcp_->CurrentHost().empty());
}

TEST_F(TCPConnectionTest, ConnectWhileConnectedClosesFirstAndHandlersMayReconnect)
{
    const u16 port = Listen();
    ASSERT_TRUE(tcp_->TCPConnect("127.0.0.1", Id_IPv4, port));
    TUniqueFd first = Accept();
    ASSERT_TRUE(SpinUntil([&] { return tcp_->IsConnected(); }));

    ASSERT_TRUE(tcp_->TCPConnect("127.0.0.1", Id_IPv4, port));
    EXPECT_EQ(events_, (std::vector<std::string>{"connect up", "disconnecting", "disconnected"}));
    TUniqueFd second = Accept();
    ASSERT_TRUE(SpinUntil([&] { return tcp_->IsConnected(); }));

    // A reply handler that closes the connection and a disconnected handler that opens the
    // next one, as the module link does: one disconnection, then a new attempt.
    tcp_->OnTCPRead = TNetworkTransferEvent::Bind(this, [&](TObject*, const String&, TIdIPVersion, u16, const TByteString&) {
        tcp_->TCPDisconnect();
    });
    tcp_->OnTCPDisconnected = TNotifyEvent::Bind(this, [&](TObject*) {
        events_.push_back("disconnected");
        if (reconnects_++ == 0) {
            EXPECT_TRUE(tcp_->TCPConnect("127.0.0.1", Id_IPv4, port));
        }
    });
    events_.clear();
    ASSERT_EQ(::send(second.Get(), "KCDISC", 6, 0), 6);
    TUniqueFd third = Accept();
    ASSERT_TRUE(third.Valid());
    ASSERT_TRUE(SpinUntil([&] { return events_.size() == 3; }));
    EXPECT_EQ(events_, (std::vector<std::string>{"disconnecting", "disconnected", "connect up"}));
    EXPECT_EQ(tcp_->CurrentPort(), port);
}

TEST_F(TCPConnectionTest, DisconnectWhileConnectingEndsTheAttempt)
{
    // A listener whose backlog is full: further handshakes are never answered.
    const u16 port = Listen();
    std::vector<TUniqueFd> fillers;
    for (int i = 0; i < 8; ++i) {
        fillers.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        sockaddr_in a = Loopback("127.0.0.1", port);
        ::connect(fillers.back().Get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    tcp_->SetSocketTimeout(60000);
    ASSERT_TRUE(tcp_->TCPConnect("127.0.0.1", Id_IPv4, port));
    SpinFor(200);
    if (tcp_->GetStatus() != hsConnecting)
        GTEST_SKIP() << "the kernel answered the handshake despite the full backlog";
    tcp_->TCPDisconnect();
    EXPECT_EQ(events_, (std::vector<std::string>{"disconnecting", "disconnected"}));
    EXPECT_EQ(tcp_->GetStatus(), hsDisconnected);
    SpinFor(100);
    EXPECT_EQ(events_.size(), 2u); // the abandoned attempt reports nothing
}

} // namespace
} // namespace fk::test
