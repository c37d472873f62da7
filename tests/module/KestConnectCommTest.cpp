// The module link against simulated modules on loopback addresses, and against a scripted
// peer for replies a well-behaved module never sends.
#include "SimModules.h"
#include "module/UDPServer.h"

#include <QElapsedTimer>
#include <netinet/tcp.h>
#include <unistd.h>
#include <memory>

namespace fk::test {
namespace {

constexpr int ConnectTimeoutMs = 1000;

class KestConnectCommTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        comm_ = Make<TKestConnectComm>();
        comm_->SetUDPPort(modules_.UDPPort);
        comm_->SetTCPPort(modules_.TCPPort);
        comm_->SetConnectTimeout(ConnectTimeoutMs);
        ASSERT_TRUE(comm_->UDPServer()->Active());
        rec_ = std::make_unique<TLinkRecorder>(*comm_);
    }

    void TearDown() override
    {
        comm_.reset();
        modules_.Clear();
    }

    const TKestConnectStatus* Find(const String& ip)
    {
        TKestConnectStatusList::iterator item;
        return comm_->GetModemStatus(ip, Id_IPv4, item) ? &*item : nullptr;
    }

    bool InDeviceList(const String& ip)
    {
        for (const auto& m : comm_->DeviceList())
            if (m.IP == ip)
                return true;
        return false;
    }

    // The link's own events (registry events left out), in order.
    std::vector<std::string> LinkEvents() const
    {
        std::vector<std::string> out;
        for (const auto& e : rec_->Events)
            if (e.rfind("modem", 0) != 0)
                out.push_back(e);
        return out;
    }

    void OpenLink(const String& ip)
    {
        ASSERT_TRUE(comm_->Connect(ip, Id_IPv4));
        ASSERT_TRUE(SpinUntil([&] { return comm_->IsConnected(); }));
    }

    static std::size_t CountOf(const std::vector<std::string>& v, const std::string& s)
    {
        return std::size_t(std::count(v.begin(), v.end(), s));
    }

    TSimModules modules_;
    TOwned<TKestConnectComm> comm_;
    std::unique_ptr<TLinkRecorder> rec_;
};

TEST_F(KestConnectCommTest, DiscoveryFillsTheDeviceListWithConfigurationAndNetworks)
{
    TSimModule& module = modules_.Start("127.0.0.2", [](TSimModuleOptions& o) {
        o.Name = "Pump house";
        o.Version = "2.1.7";
        o.Joined = true;
        o.APAddress = "192.0.2.10";
    });
    int announcements = 0;
    comm_->OnModemAnnounce = THostAnnounceEvent::Bind(this, [&](TObject*, const TUDPBinding& b) {
        EXPECT_EQ(b.PeerIP, "127.0.0.2");
        ++announcements;
    });
    ASSERT_TRUE(SpinUntil([&] { return InDeviceList("127.0.0.2"); }));
    const TKestConnectStatus* m = Find("127.0.0.2");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Host, "127.0.0.2");
    EXPECT_EQ(m->Config.Name, "Pump house");
    EXPECT_EQ(m->Config.Version, "2.1.7");
    EXPECT_EQ(m->Config.AccessPoint.SSID, "Workshop");
    EXPECT_EQ(m->Config.AccessPoint.Password, "secret");
    EXPECT_EQ(m->Config.AccessPoint.IP, "192.0.2.10");
    EXPECT_TRUE(m->Config.APConnected);
    EXPECT_GE(announcements, 1);
    EXPECT_EQ(rec_->Count("modem connected"), 1u);

    ASSERT_TRUE(comm_->RequestNetworkList("127.0.0.2", Id_IPv4));
    ASSERT_TRUE(SpinUntil([&] { return Find("127.0.0.2")->Networks.size() == 2; }));
    const auto& nets = Find("127.0.0.2")->Networks;
    EXPECT_EQ(nets.front().SSID, "Workshop");
    EXPECT_EQ(nets.front().Signal, -48);
    EXPECT_EQ(nets.back().SSID, "Office");
    EXPECT_EQ(nets.back().Signal, -71);

    // Announcements kept coming while the first request was on its way: asked once only.
    SpinFor(500);
    EXPECT_EQ(CountOf(module.Commands(), "KCCONF"), 1u);
    EXPECT_EQ(rec_->Suspends, rec_->Resumes);
}

TEST_F(KestConnectCommTest, LinkOpensCarriesDeviceDataAndClosesWithItsEventsInOrder)
{
    modules_.Start("127.0.0.2");
    OpenLink("127.0.0.2");
    EXPECT_EQ(comm_->ModuleIP(), "127.0.0.2");
    EXPECT_EQ(LinkEvents(), (std::vector<std::string>{"status 1 127.0.0.2", "connecting 127.0.0.2 0",
                                                      "status 2 127.0.0.2", "connect 127.0.0.2 0",
                                                      "connected 127.0.0.2 0"}));
    // The link registers the module, which is then asked for its configuration.
    ASSERT_TRUE(SpinUntil([&] { return InDeviceList("127.0.0.2"); }));

    // Device data passes unchanged, whole, whatever it looks like.
    const std::string big(1000, '\x5A');
    SendDatagram("127.0.0.2", modules_.UDPPort, std::string("IP\x01\x02", 4));
    SendDatagram("127.0.0.2", modules_.UDPPort, big);
    ASSERT_TRUE(SpinUntil([&] { return rec_->Data.size() == 2; }));
    EXPECT_EQ(rec_->Data[0], std::string("IP\x01\x02", 4));
    EXPECT_EQ(rec_->Data[1], big);

    // A command exchange with the linked module suspends the link for its duration.
    std::vector<bool> suspendedWithLinkModule;
    comm_->OnModemSuspend = TNotifyEvent::Bind(this, [&](TObject*) {
        suspendedWithLinkModule.push_back(comm_->ConnectedModemSuspended());
    });
    ASSERT_TRUE(comm_->RequestConfig("127.0.0.2", Id_IPv4));
    ASSERT_TRUE(SpinUntil([&] { return !suspendedWithLinkModule.empty() && !comm_->ModemSuspended(); }));
    EXPECT_TRUE(suspendedWithLinkModule.front());
    EXPECT_FALSE(comm_->ConnectedModemSuspended());

    rec_->Events.clear();
    comm_->Disconnect();
    EXPECT_EQ(comm_->LinkStatus(), hsDisconnecting);
    EXPECT_FALSE(comm_->UDPWrite("x", 1) && comm_->IsConnected());
    ASSERT_TRUE(SpinUntil([&] { return comm_->LinkStatus() == hsDisconnected; }));
    EXPECT_EQ(LinkEvents(), (std::vector<std::string>{"status 3 127.0.0.2", "disconnecting 127.0.0.2 0 0",
                                                      "disconnected 127.0.0.2 0 0", "status 4 127.0.0.2"}));
    EXPECT_TRUE(InDeviceList("127.0.0.2")); // a clean close keeps the module
    EXPECT_FALSE(modules_[0].Linked());
}

TEST_F(KestConnectCommTest, ReopeningTheSameAddressClosesWithReOpenThenOpensAgain)
{
    modules_.Start("127.0.0.2");
    OpenLink("127.0.0.2");
    rec_->Events.clear();
    ASSERT_TRUE(comm_->Connect("127.0.0.2", Id_IPv4));
    EXPECT_EQ(comm_->PendingAddress(), "127.0.0.2");
    ASSERT_TRUE(SpinUntil([&] { return comm_->IsConnected(); }));
    EXPECT_EQ(LinkEvents(), (std::vector<std::string>{
                                "status 3 127.0.0.2", "disconnecting 127.0.0.2 0 1", "disconnected 127.0.0.2 0 1",
                                "status 4 127.0.0.2", "status 1 127.0.0.2", "connecting 127.0.0.2 0",
                                "status 2 127.0.0.2", "connect 127.0.0.2 0", "connected 127.0.0.2 0"}));
}

TEST_F(KestConnectCommTest, RefusedLinkFailsWith110AndKeepsTheModule)
{
    modules_.Start("127.0.0.2", [](TSimModuleOptions& o) { o.RefuseLink = true; });
    ASSERT_TRUE(SpinUntil([&] { return InDeviceList("127.0.0.2"); }));
    ASSERT_TRUE(comm_->Connect("127.0.0.2", Id_IPv4));
    ASSERT_TRUE(SpinUntil([&] { return comm_->LinkStatus() == hsDisconnected; }));
    EXPECT_EQ(LinkEvents(), (std::vector<std::string>{"status 1 127.0.0.2", "connecting 127.0.0.2 0",
                                                      "status 3 127.0.0.2", "connect  110", "disconnecting  110 2",
                                                      "disconnected  110 2", "status 4 127.0.0.2"}));
    EXPECT_TRUE(InDeviceList("127.0.0.2"));
}

TEST_F(KestConnectCommTest, ModuleThatGoesSilentEndsTheLinkWith1460AndIsForgotten)
{
    TSimModule& module = modules_.Start("127.0.0.2");
    OpenLink("127.0.0.2");
    ASSERT_TRUE(SpinUntil([&] { return InDeviceList("127.0.0.2"); }));
    rec_->Events.clear();
    module.SetAnnouncing(false);
    module.SetMute(true);
    ASSERT_TRUE(SpinUntil([&] { return comm_->LinkStatus() == hsDisconnected; }));
    EXPECT_EQ(LinkEvents(), (std::vector<std::string>{"status 3 127.0.0.2", "disconnecting 127.0.0.2 1460 2",
                                                      "disconnected 127.0.0.2 1460 2", "status 4 127.0.0.2"}));
    EXPECT_EQ(Find("127.0.0.2"), nullptr);
    EXPECT_TRUE(rec_->Has("modem disconnected"));
}

TEST_F(KestConnectCommTest, CloseWithoutEchoEndsAfterTwiceTheConnectTimeout)
{
    modules_.Start("127.0.0.2", [](TSimModuleOptions& o) { o.IgnoreDisconnect = true; });
    OpenLink("127.0.0.2");
    rec_->Events.clear();
    QElapsedTimer t;
    t.start();
    comm_->Disconnect();
    ASSERT_TRUE(SpinUntil([&] { return comm_->LinkStatus() == hsDisconnected; }));
    EXPECT_GE(t.elapsed(), 2 * ConnectTimeoutMs - 50);
    EXPECT_EQ(LinkEvents(), (std::vector<std::string>{"status 3 127.0.0.2", "disconnecting 127.0.0.2 0 0",
                                                      "disconnected 127.0.0.2 1460 2", "status 4 127.0.0.2"}));
}

TEST_F(KestConnectCommTest, AlconnWithATrailingNulConfirmsTheLink)
{
    modules_.Start("127.0.0.2", [](TSimModuleOptions& o) {
        o.AnswerAlconn = true;
        o.TrailingNul = true;
    });
    OpenLink("127.0.0.2");
    ASSERT_TRUE(SpinUntil([&] { return InDeviceList("127.0.0.2"); }));
    EXPECT_EQ(Find("127.0.0.2")->Config.Name, "KC-SIM");
    EXPECT_EQ(Find("127.0.0.2")->Config.Value7, 0);
}

TEST_F(KestConnectCommTest, ModulesAgeOutOnceSilentForLongerThanTheInterval)
{
    // A silence limit fifteen announcement intervals long: a loaded machine that delays a few
    // announcements never ages the module out while it still announces.
    comm_->SetModemTimeout(1500);
    TSimModule& module = modules_.Start("127.0.0.2", [](TSimModuleOptions& o) { o.AnnounceIntervalMs = 100; });
    ASSERT_TRUE(SpinUntil([&] { return InDeviceList("127.0.0.2"); }));
    SpinFor(2000); // announcements keep it
    EXPECT_TRUE(InDeviceList("127.0.0.2"));
    module.SetAnnouncing(false);
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(SpinUntil([&] { return Find("127.0.0.2") == nullptr; }));
    EXPECT_GE(t.elapsed(), 1500 - 110);
    EXPECT_TRUE(rec_->Has("modem disconnected"));
}

TEST_F(KestConnectCommTest, AccessPointCommandRefusesFieldBreakingTextAndSendsTheRest)
{
    TSimModule& module = modules_.Start("127.0.0.2");
    ASSERT_TRUE(SpinUntil([&] { return InDeviceList("127.0.0.2"); }));
    const std::size_t queued = comm_->CommandQueue().size();
    for (const std::string& bad : {std::string("a,b"), std::string("a\rb"), std::string("a\nb"), std::string("a\0b", 3)}) {
        EXPECT_FALSE(comm_->SetModemAccesPoint("127.0.0.2", Id_IPv4, bad, "pw"));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_FALSE(comm_->SetModemAccesPoint("127.0.0.2", Id_IPv4, "net", bad));
    }
    EXPECT_EQ(comm_->CommandQueue().size(), queued);
    EXPECT_FALSE(comm_->Connect("", Id_IPv4));
    EXPECT_EQ(comm_->LinkStatus(), hsDisconnected);

    ASSERT_TRUE(comm_->SetModemAccesPoint("127.0.0.2", Id_IPv4, "net", ""));
    ASSERT_TRUE(SpinUntil([&] { return module.AccessPointSSID() == "net"; }));
    EXPECT_EQ(CountOf(module.Commands(), "NEWAPN,net,"), 1u);
    EXPECT_EQ(module.AccessPointPassword(), "");
}

TEST_F(KestConnectCommTest, QueueServesModulesInOrderAndTakesCommandsGivenInsideAReply)
{
    TSimModule& a = modules_.Start("127.0.0.2", [](TSimModuleOptions& o) { o.AnnounceIntervalMs = 60000; });
    TSimModule& b = modules_.Start("127.0.0.3", [](TSimModuleOptions& o) { o.AnnounceIntervalMs = 60000; });
    ASSERT_TRUE(SpinUntil([&] { return InDeviceList("127.0.0.2") && InDeviceList("127.0.0.3"); }));

    // The network list of a, asked for again from inside the handler of its reply: that is a
    // new command, not the one being answered.
    int updates = 0;
    comm_->OnModemStatusUpdate = TNotifyEvent::Bind(this, [&](TObject*) {
        if (updates++ == 0) {
            EXPECT_TRUE(comm_->RequestNetworkList("127.0.0.2", Id_IPv4));
        }
    });
    ASSERT_TRUE(comm_->RequestNetworkList("127.0.0.2", Id_IPv4));
    ASSERT_TRUE(comm_->RequestConfig("127.0.0.3", Id_IPv4));
    ASSERT_TRUE(comm_->RequestNetworkList("127.0.0.3", Id_IPv4));
    ASSERT_TRUE(comm_->RequestConfig("127.0.0.3", Id_IPv4)); // merged with the one waiting
    ASSERT_TRUE(SpinUntil([&] { return comm_->CommandQueue().empty() && comm_->GetStatus() == hsDisconnected; }));
    EXPECT_EQ(a.Commands(), (std::vector<std::string>{"KCCONF", "APLIST", "APLIST"}));
    EXPECT_EQ(b.Commands(), (std::vector<std::string>{"KCCONF", "KCCONF", "APLIST"}));
    EXPECT_EQ(updates, 4);
    EXPECT_EQ(rec_->Suspends, rec_->Resumes);
}

TEST_F(KestConnectCommTest, DatagramsFromStrangersAndLookalikesRegisterNothingAndTheRegistryIsBounded)
{
    SendDatagram("127.0.0.9", modules_.UDPPort, "IPx");
    SendDatagram("127.0.0.9", modules_.UDPPort, "data");
    SpinFor(100);
    EXPECT_EQ(Find("127.0.0.9"), nullptr);

    // Nobody answers on these addresses: each stays announced, and their number is capped.
    for (int i = 0; i < 300; ++i)
        SendDatagram("127.0." + std::to_string(1 + i / 200) + "." + std::to_string(i % 200 + 1), modules_.UDPPort, "IP");
    ASSERT_TRUE(SpinUntil([&] { return comm_->AnnouncedList().size() == TKestConnectComm::ModuleCapacity; }));
    SpinFor(200);
    EXPECT_EQ(comm_->AnnouncedList().size() + comm_->DeviceList().size(), TKestConnectComm::ModuleCapacity);
}

// A peer on 127.0.0.4 that answers each command connection with the next scripted reply.
class ScriptedPeerTest : public KestConnectCommTest {
protected:
    void Listen()
    {
        listener_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        const int one = 1;
        ::setsockopt(listener_.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a = Loopback("127.0.0.4", modules_.TCPPort);
        ASSERT_EQ(::bind(listener_.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ASSERT_EQ(::listen(listener_.Get(), 4), 0);
    }

    // Serves connections until `replies` are used up and the link is idle again.
    void Serve(std::vector<std::string> replies)
    {
        std::vector<TUniqueFd> open;
        ASSERT_TRUE(SpinUntil([&] {
            TUniqueFd c(::accept4(listener_.Get(), nullptr, nullptr, SOCK_NONBLOCK));
            if (c.Valid() && !replies.empty()) {
                char command[64];
                SpinUntil([&] { return ::recv(c.Get(), command, sizeof command, MSG_PEEK | MSG_DONTWAIT) > 0; });
                ::send(c.Get(), replies.front().data(), replies.front().size(), MSG_NOSIGNAL);
                replies.erase(replies.begin());
                open.push_back(std::move(c));
            }
            return replies.empty() && comm_->GetStatus() == hsDisconnected && comm_->CommandQueue().empty();
        }));
    }

    // Answers the next command connection with `pieces`, written one by one with a short
    // pause between them (so that they arrive as separate chunks), then closes the connection
    // or leaves it for the link to close; waits until the link is idle again. True when the
    // link closed the connection itself.
    bool AnswerInPieces(const std::vector<std::string>& pieces, bool close)
    {
        TUniqueFd c;
        EXPECT_TRUE(SpinUntil([&] {
            c.Reset(::accept4(listener_.Get(), nullptr, nullptr, 0));
            return c.Valid();
        }));
        if (!c.Valid())
            return false;
        const int one = 1;
        ::setsockopt(c.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        // The command is written once the link has seen the connection (on this thread).
        char command[64];
        EXPECT_TRUE(SpinUntil([&] { return ::recv(c.Get(), command, sizeof command, MSG_DONTWAIT) > 0; }));
        for (const std::string& piece : pieces) {
            EXPECT_EQ(::send(c.Get(), piece.data(), piece.size(), MSG_NOSIGNAL), ssize_t(piece.size()));
            ::usleep(1000);
        }
        if (close)
            c.Reset();
        EXPECT_TRUE(SpinUntil([&] { return comm_->GetStatus() == hsDisconnected && comm_->CommandQueue().empty(); }));
        return c.Valid() && ::recv(c.Get(), command, sizeof command, MSG_DONTWAIT) == 0;
    }

    static std::vector<std::string> SplitAt(const std::string& text, std::size_t at)
    {
        return {text.substr(0, at), text.substr(at)};
    }

    TUniqueFd listener_;
};

TEST_F(ScriptedPeerTest, LooseRepliesUpdateWhatTheyCarryAndNothingElse)
{
    Listen();
    SendDatagram("127.0.0.4", modules_.UDPPort, "IP"); // registers and asks for the configuration
    Serve({"KCCONF,2.0"});
    const TKestConnectStatus* m = Find("127.0.0.4");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Config.Version, "2.0"); // one field: stored, but no report
    EXPECT_FALSE(InDeviceList("127.0.0.4"));
    EXPECT_FALSE(rec_->Has("modem connected"));

    SendDatagram("127.0.0.4", modules_.UDPPort, "IP");
    Serve({std::string("KCCONF:v,Gate,ssid,pw,10.0.0.7,x,1,junk,extra\0", 44)});
    ASSERT_TRUE(InDeviceList("127.0.0.4"));
    m = Find("127.0.0.4");
    EXPECT_EQ(m->Config.Name, "Gate");
    EXPECT_EQ(m->Config.AccessPoint.IP, "10.0.0.7");
    EXPECT_FALSE(m->Config.APConnected); // not a number
    EXPECT_TRUE(m->Config.Flag2);
    EXPECT_EQ(m->Config.Value7, 0);

    ASSERT_TRUE(comm_->RequestNetworkList("127.0.0.4", Id_IPv4));
    Serve({"APLIST,a,-40,b"});
    ASSERT_EQ(Find("127.0.0.4")->Networks.size(), 1u);
    EXPECT_EQ(Find("127.0.0.4")->Networks.front().Signal, -40);
    ASSERT_TRUE(comm_->RequestNetworkList("127.0.0.4", Id_IPv4));
    Serve({"APLIST,a,strong"});
    EXPECT_EQ(Find("127.0.0.4")->Networks.front().Signal, INT_MIN);
}

TEST_F(ScriptedPeerTest, OnlyTheSixByteEchoConfirmsAndAnUnansweredOpenEnds)
{
    Listen();
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(comm_->Connect("127.0.0.4", Id_IPv4));
    Serve({"ALCONN\r"});
    // Not a confirmation: the opening ends when its watchdog runs out.
    ASSERT_TRUE(SpinUntil([&] { return comm_->LinkStatus() == hsDisconnected; }));
    EXPECT_GE(t.elapsed(), ConnectTimeoutMs - 50);
    EXPECT_FALSE(rec_->Has("connected 127.0.0.4 0"));
    EXPECT_TRUE(rec_->Has("connect  110"));
    EXPECT_TRUE(rec_->Has("disconnected  1460 2"));
}

TEST_F(ScriptedPeerTest, RepliesSplitAtAnyByteAreReadWhole)
{
    Listen();
    std::vector<std::string> seen; // what OnTCPRead carried
    comm_->OnTCPRead = TNetworkTransferEvent::Bind(
        this, [&](TObject*, const String&, TIdIPVersion, u16, const TByteString& d) { seen.emplace_back(d.begin(), d.end()); });
    SendDatagram("127.0.0.4", modules_.UDPPort, "IP"); // registers and asks for the configuration
    bool first = true;
    for (std::size_t at = 1;; ++at) {
        const std::string reply = "KCCONF,1." + std::to_string(at) + ",Gate" + std::to_string(at)
            + ",ssid,pw,10.0.0.7,1,0," + std::to_string(at);
        if (at >= reply.size())
            break;
        if (!first) {
            ASSERT_TRUE(comm_->RequestConfig("127.0.0.4", Id_IPv4));
        }
        first = false;
        seen.clear();
        AnswerInPieces(SplitAt(reply, at), true);
        const TKestConnectStatus* m = Find("127.0.0.4");
        ASSERT_NE(m, nullptr);
        ASSERT_TRUE(InDeviceList("127.0.0.4")) << "split at " << at;
        EXPECT_EQ(m->Config.Name, "Gate" + std::to_string(at)) << "split at " << at;
        EXPECT_EQ(m->Config.Value7, int(at)) << "split at " << at;
        EXPECT_TRUE(m->Config.APConnected) << "split at " << at;
        EXPECT_EQ(seen, std::vector<std::string>{reply}) << "split at " << at;
    }
    const std::string list = "APLIST,Workshop,-48,Office,-71";
    for (std::size_t at = 1; at < list.size(); ++at) {
        ASSERT_TRUE(comm_->RequestNetworkList("127.0.0.4", Id_IPv4));
        AnswerInPieces(SplitAt(list, at), true);
        const auto& networks = Find("127.0.0.4")->Networks;
        ASSERT_EQ(networks.size(), 2u) << "split at " << at;
        EXPECT_EQ(networks.front().SSID, "Workshop") << "split at " << at;
        EXPECT_EQ(networks.front().Signal, -48) << "split at " << at;
        EXPECT_EQ(networks.back().SSID, "Office") << "split at " << at;
        EXPECT_EQ(networks.back().Signal, -71) << "split at " << at;
    }
    // The link's echo, and the NUL that may follow it, in pieces as well.
    const std::string echo("ALCONN\0", 7);
    for (std::size_t at = 1; at < echo.size(); ++at) {
        ASSERT_TRUE(comm_->Connect("127.0.0.4", Id_IPv4));
        AnswerInPieces(SplitAt(echo, at), true);
        EXPECT_TRUE(comm_->IsConnected()) << "split at " << at;
        comm_->Disconnect();
        AnswerInPieces({"KCDISC"}, true);
        ASSERT_EQ(comm_->LinkStatus(), hsDisconnected);
    }
}

TEST_F(ScriptedPeerTest, ReplyInManySmallWritesEndsWhenTheModuleGoesQuiet)
{
    Listen();
    SendDatagram("127.0.0.4", modules_.UDPPort, "IP");
    AnswerInPieces({"KCCONF,1.0,Gate,ssid,pw,0.0.0.0,0,0,0"}, true);
    ASSERT_TRUE(InDeviceList("127.0.0.4"));

    std::string list = "APLIST,";
    for (int i = 0; i < 12; ++i)
        list += (i ? "," : "") + std::string("net") + std::to_string(i) + "," + std::to_string(-40 - i);
    std::vector<std::string> bytes;
    for (const char c : list)
        bytes.emplace_back(1, c);
    int updates = 0;
    comm_->OnModemStatusUpdate = TNotifyEvent::Bind(this, [&](TObject*) { ++updates; });
    ASSERT_TRUE(comm_->RequestNetworkList("127.0.0.4", Id_IPv4));
    // The module keeps the connection open: the link ends it once nothing more comes.
    EXPECT_TRUE(AnswerInPieces(bytes, false));
    const auto& networks = Find("127.0.0.4")->Networks;
    ASSERT_EQ(networks.size(), 12u);
    EXPECT_EQ(networks.back().SSID, "net11");
    EXPECT_EQ(networks.back().Signal, -51);
    EXPECT_EQ(updates, 1); // read once
}

} // namespace
} // namespace fk::test
