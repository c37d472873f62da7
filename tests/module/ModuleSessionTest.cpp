// The device session through the LAN port adapter and a simulated module with its controller,
// and the adapter's own behaviour without a module.
#include "ModuleTestUtil.h"
#include "connection/KestConnection.h"
#include "session/ModuleSession.h"
#include "sim/SimModule.h"

#include <QElapsedTimer>

namespace fk::test {
namespace {

class LANPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port_ = Make<TKestLANPort>();
        port_->ConnectComm->SetUDPPort(FreePort());
        port_->ConnectComm->SetTCPPort(FreePort());
        auto open = [this](const char* what) {
            return TCommOpenEvent::Bind(this, [this, what](TObject*, const String& n, u32 r) {
                events_.push_back(std::string(what) + " " + n + " " + std::to_string(r));
            });
        };
        auto close = [this](const char* what) {
            return TCommCloseEvent::Bind(this, [this, what](TObject*, const String& n, u32 r, TCommCloseReason c) {
                events_.push_back(std::string(what) + " " + n + " " + std::to_string(r) + " " + std::to_string(c));
            });
        };
        port_->OnOpening = open("opening");
        port_->OnOpen = open("open");
        port_->OnOpened = open("opened");
        port_->OnClosing = close("closing");
        port_->OnClosed = close("closed");
    }
    void TearDown() override { port_.reset(); }

    TOwned<TKestLANPort> port_;
    std::vector<std::string> events_;
};

TEST_F(LANPortTest, WithoutAModuleTheOpenFailsAndNothingIsReadOrWritten)
{
    EXPECT_TRUE(port_->Close()); // never opened: nothing happens
    EXPECT_TRUE(events_.empty());
    port_->SetBaudRate(9600);
    port_->SetParity(sParityEven);

    ASSERT_TRUE(port_->Open("127.0.0.5"));
    EXPECT_EQ(events_, std::vector<std::string>{"opening 127.0.0.5 0"});
    EXPECT_EQ(port_->Write("ab", 2, nullptr), 0u); // not confirmed
    char buffer[4];
    EXPECT_EQ(port_->Read(buffer, 4, nullptr), 0u);
    ASSERT_TRUE(SpinUntil([&] { return port_->State() == cStateClosed; }));
    EXPECT_EQ(events_, (std::vector<std::string>{"opening 127.0.0.5 0", "open  110", "closing  110 2",
                                                 "closed  110 2"}));
    TCommModemStatus lines = 0xFF;
    EXPECT_TRUE(port_->GetModemStatus(&lines));
    EXPECT_EQ(lines, 0u);
}

class ModuleSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TSimModuleOptions o;
        o.UDPPort = FreePort();
        o.TCPPort = FreePort();
        o.AnnounceIntervalMs = 200;
        module_ = std::make_unique<TSimModule>(o, log_);
        ASSERT_TRUE(module_->Open());
        ASSERT_TRUE(module_->AddController(TSimOptions{}));
        ASSERT_TRUE(module_->Start());

        session_ = Make<TModuleSession>();
        lan_ = session_->KestLANPort1();
        lan_->ConnectComm->SetUDPPort(o.UDPPort);
        lan_->ConnectComm->SetTCPPort(o.TCPPort);
        lan_->ConnectComm->SetConnectTimeout(1500);
        session_->Ports().Add(TModuleSession::ModuleEntry("127.0.0.2"));
        lan_->EventList.OnOpen.Add(TCommOpenEvent::Bind(this, [this](TObject*, const String&, u32 r) {
            if (r == 0)
                openedAt_ = clock_.elapsed();
        }));
        lan_->EventList.OnWrite.Add(TCommTransferEvent::Bind(this, [this](TObject*, const void*, u32, u32, u32, u32) {
            if (firstWriteAt_ < 0)
                firstWriteAt_ = clock_.elapsed();
            ++writes_;
        }));
        clock_.start();
    }

    void TearDown() override
    {
        session_.reset();
        module_.reset();
    }

    void Connect()
    {
        ASSERT_TRUE(session_->ConnectToEntry(String("127.0.0.2"), false));
        ASSERT_TRUE(SpinUntil([&] { return session_->DeviceState() == dsConnected; }));
    }

    TSimLog log_;
    std::unique_ptr<TSimModule> module_;
    TOwned<TModuleSession> session_;
    TKestLANPort* lan_ = nullptr;
    QElapsedTimer clock_;
    qint64 openedAt_ = -1;
    qint64 firstWriteAt_ = -1;
    int writes_ = 0;
};

TEST_F(ModuleSessionTest, DeviceIsIdentifiedAndParametersAreWrittenThroughTheModule)
{
    Connect();
    EXPECT_EQ(session_->Serial()->CommPort(), lan_);
    EXPECT_EQ(session_->DeviceInfo().SerialNumber(), "FK-SIM-0001");
    // The first request waits 100 ms after the open.
    ASSERT_GE(openedAt_, 0);
    EXPECT_GE(firstWriteAt_ - openedAt_, qint64(TDeviceSession::ModuleFirstRequestDelay) - 5);

    session_->Knobs().KnobChangePosition(skOpenTime, 33);
    session_->Knobs().KnobEndMove(skOpenTime);
    ASSERT_TRUE(SpinUntil([&] { return module_->Controller()->Parameters().Bytes[0] == 33; }));
    ASSERT_TRUE(SpinUntil([&] { return session_->Parameters().Bytes[0] == 33; }));

    session_->Serial()->Close();
    ASSERT_TRUE(SpinUntil([&] { return lan_->State() == cStateClosed; }));
    EXPECT_FALSE(module_->Linked());
}

TEST_F(ModuleSessionTest, PollsWaitWhileTheLinkedModuleIsBusyAndRunWhenItResumes)
{
    // Longer than a poll interval, so that a poll falls into the busy time.
    lan_->ConnectComm->SetConnectTimeout(int(TDeviceSession::PollInterval) + 1000);
    Connect();
    // A command the module takes and never answers keeps the link busy until it times out.
    module_->SetMute(true);
    const auto configRequests = [&] {
        const auto c = module_->Commands();
        return std::count(c.begin(), c.end(), "KCCONF");
    };
    const auto asked = configRequests();
    ASSERT_TRUE(lan_->RequestConfig("127.0.0.2", Id_IPv4));
    ASSERT_TRUE(SpinUntil([&] { return configRequests() > asked; })); // taken, never answered
    const int before = writes_;
    ASSERT_TRUE(SpinUntil([&] { return session_->Requests().HeldBack(hoPoll); })); // a poll was held back
    EXPECT_TRUE(lan_->ConnectComm->ConnectedModemSuspended());
    EXPECT_EQ(writes_, before);
    // Answering again only now: the module records a command before it looks at its mute
    // switch, so switching it back any earlier could still answer this one.
    module_->SetMute(false);
    ASSERT_TRUE(SpinUntil([&] { return !lan_->ConnectComm->ConnectedModemSuspended(); }));
    EXPECT_EQ(session_->Requests().HeldBack(), unsigned(hoNone));
    ASSERT_TRUE(SpinUntil([&] { return writes_ > before; })); // the held-back poll went out
    EXPECT_EQ(session_->DeviceState(), dsConnected);
}

// A request whose reply is lost while the module link carries a command exchange: its
// time-out is held back (no resend, no give-up) until the link is free, then runs again,
// resends, and the session stays connected.
TEST_F(ModuleSessionTest, AReplyTimeOutWaitsWhileTheLinkedModuleIsBusy)
{
    lan_->ConnectComm->SetConnectTimeout(1500);
    Connect();
    ASSERT_TRUE(SpinUntil([&] { return !session_->Requests().ReplyTimerRunning() && session_->Requests().Empty(); }));
    const auto configRequests = [&] {
        const auto c = module_->Commands();
        return std::count(c.begin(), c.end(), "KCCONF");
    };
    module_->SetDropDeviceData(true);
    module_->SetMute(true);
    const int before = writes_;
    ASSERT_TRUE(session_->ToggleVenting()); // a request, sent at once
    ASSERT_TRUE(SpinUntil([&] { return writes_ > before; })); // the request went out
    const auto asked = configRequests();
    ASSERT_TRUE(lan_->RequestConfig("127.0.0.2", Id_IPv4));
    ASSERT_TRUE(SpinUntil([&] { return configRequests() > asked; })); // taken, never answered
    ASSERT_TRUE(lan_->ConnectComm->ConnectedModemSuspended());
    // The reply time-out comes while the link is busy: held back, nothing resent.
    ASSERT_TRUE(SpinUntil([&] { return session_->Requests().HeldBack(hoTimeOut); }));
    EXPECT_EQ(writes_, before + 1);
    module_->SetDropDeviceData(false);
    module_->SetMute(false);
    ASSERT_TRUE(SpinUntil([&] { return !lan_->ConnectComm->ConnectedModemSuspended(); }));
    // Free again: the held time-out runs, the request goes out once more and is answered.
    ASSERT_TRUE(SpinUntil([&] { return writes_ > before + 1; }));
    ASSERT_TRUE(SpinUntil([&] { return session_->Requests().Empty(); }));
    EXPECT_EQ(session_->DeviceState(), dsConnected);
}

} // namespace
} // namespace fk::test
