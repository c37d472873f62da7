// The device session end to end over a pseudo-terminal against the simulated controller.
#include "SessionHarness.h"

#include "connection/KestConnection.h"
#include "ports/PortLock.h"

#include <filesystem>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fk::test {
namespace {

TByteString ControllerPacket(u8 code, const TByteString& data)
{
    KestPacketHeader2_t_ h{};
    h.Initialize(dtController, dtConfigurator, code, KestPacketHeader2_t_::DataOffset);
    TKestPacket2 packet(h, data.data(), static_cast<unsigned>(data.size()));
    TByteString wire;
    EXPECT_TRUE(packet.PrepareSend(wire));
    return wire;
}

u8 FrontCode(const TDeviceSession& s) { return s.Requests().Front().Packet[1]; }

TEST_F(SessionTest, ApplicationDeviceIsIdentifiedAndKeptAlive)
{
    TSimOptions o;
    o.OpenTime = 33;
    o.BreakTime = 7;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    EXPECT_EQ(view_.Statuses.front(), staPortOpening);
    EXPECT_EQ(view_.LastSuffix, "");
    EXPECT_TRUE(view_.Shown(staConnecting));
    EXPECT_EQ(view_.Statuses.back(), staConnected);
    EXPECT_TRUE(view_.Controls);
    EXPECT_TRUE(view_.Reboot);
    EXPECT_EQ(session_->Parameters().OpenTime(), 33);
    EXPECT_EQ(view_.Knobs[skOpenTime].Position, 33);
    EXPECT_EQ(view_.Knobs[skBreakTime].Position, 7);
    EXPECT_EQ(session_->ConnectedPort(), sim_->PortPath());
    ASSERT_GE(received_.size(), 3u);
    EXPECT_EQ(received_[0].Code, dcDeviceInfo);
    EXPECT_EQ(received_[1].Code, dcFirmwareInfo);
    EXPECT_EQ(received_[2].Code, dcParameters);
    // The keep-alive: dcStatus two seconds after the last reply, still connected afterwards.
    ASSERT_TRUE(WaitFor([&] { return received_.back().Code == dcStatus; }));
    EXPECT_EQ(session_->DeviceState(), dsConnected);
}

TEST_F(SessionTest, BootloaderWithSoundFirmwareIsRestartedIntoItsApplication)
{
    TSimOptions o;
    o.StartInBootloader = true;
    o.BootTimeMs = 20;
    o.Version[1] = 1; // break time 30..90: the knob moves into the range, nothing is written
    o.BreakTime = 45;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    EXPECT_EQ(sim_->Parameters().BreakTime(), 45);
    EXPECT_EQ(view_.Knobs[skBreakTime].Position, 45);
    EXPECT_EQ(view_.Knobs[skBreakTime].Min, 30);
    EXPECT_FALSE(sim_->InBootloader());
    EXPECT_EQ(session_->DeviceInfo().RunMode(), 1);
    EXPECT_EQ(received_[0].Code, dcDeviceInfo);
    EXPECT_EQ(received_[1].Code, dcRestart);
}

TEST_F(SessionTest, KnobWritesOnlyChangesAndWaitsBehindThePollInFlight)
{
    StartSim(TSimOptions{});
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));

    // The value the device already holds: nothing is queued.
    session_->KnobChangePosition(skOpenTime, sim_->Parameters().OpenTime());
    session_->KnobEndMove(skOpenTime);
    EXPECT_TRUE(session_->Requests().Empty());

    // A poll goes out; the write waits behind it and leaves it alone.
    received_.clear();
    PollNow();
    ASSERT_EQ(session_->Requests().Size(), 1u);
    EXPECT_EQ(FrontCode(*session_), dcStatus);
    session_->KnobChangePosition(skOpenTime, 25);
    session_->KnobEndMove(skOpenTime);
    ASSERT_EQ(session_->Requests().Size(), 2u);
    EXPECT_EQ(FrontCode(*session_), dcStatus);

    ASSERT_TRUE(WaitFor([&] { return session_->Requests().Empty() && received_.size() == 2; }));
    EXPECT_EQ(received_[0].Code, dcStatus);
    EXPECT_TRUE(received_[0].WasReply);
    // The empty acknowledgement makes the knob's value the stored one.
    EXPECT_EQ(received_[1].Code, dcParameters);
    EXPECT_EQ(received_[1].Length, 0u);
    EXPECT_EQ(session_->Parameters().OpenTime(), 25);
    EXPECT_EQ(sim_->Parameters().OpenTime(), 25);

    // Dragging the scroll bar writes nothing until it is released.
    session_->ScrollBarScroll(skBreakTime, false, 9);
    EXPECT_TRUE(session_->Requests().Empty());
    session_->ScrollBarScroll(skBreakTime, true, 9);
    EXPECT_EQ(session_->Requests().Size(), 1u);
    ASSERT_TRUE(WaitFor([&] { return sim_->Parameters().BreakTime() == 9; }));
}

// WriteParameters counts the writes it queued: a value clamped onto what the device holds, or
// one already held, is no write to wait for.
TEST_F(SessionTest, WriteParametersCountsTheWritesQueued)
{
    StartSim(TSimOptions{});
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    const int breakTime = sim_->Parameters().BreakTime();
    session_->WriteParameters(50, std::nullopt);
    ASSERT_TRUE(WaitFor([&] { return session_->Requests().Empty() && sim_->Parameters().OpenTime() == 50; }));
    EXPECT_EQ(session_->WriteParameters(70, std::nullopt), 0u); // clamped to 50, held already
    EXPECT_EQ(session_->WriteParameters(50, breakTime), 0u);
    EXPECT_EQ(session_->WriteParameters(40, breakTime + 1), 2u);
}

TEST_F(SessionTest, ReplyNotMatchingTheRequestInFlightIsStillActedOn)
{
    StartSim(TSimOptions{});
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    PollNow(); // dcStatus in flight
    ASSERT_EQ(FrontCode(*session_), dcStatus);
    const TByteString block = {44, 12, 0xAA};
    const TByteString wire = ControllerPacket(dcParameters, block);
    received_.clear();
    Deliver(wire);
    ASSERT_EQ(received_.size(), 1u);
    EXPECT_FALSE(received_[0].WasReply);
    EXPECT_EQ(session_->Requests().Size(), 1u); // the poll stays in flight
    EXPECT_EQ(session_->Parameters().OpenTime(), 44);
    EXPECT_EQ(view_.Knobs[skBreakTime].Position, 12);

    // From another node, or protocol 1: dropped entirely.
    TByteString other = wire;
    other[2] = 9;
    Deliver(other);
    Deliver(wire, ptKestPacket1);
    EXPECT_EQ(received_.size(), 1u);
}

TEST_F(SessionTest, LateReplyAfterTheGiveUpIsNotAReplyButIsActedOn)
{
    TSimOptions o;
    o.ReplyDelayMs = 900; // past the resend and the give-up
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitFor([&] { return !received_.empty(); }));
    EXPECT_EQ(received_[0].Code, dcDeviceInfo);
    EXPECT_FALSE(received_[0].WasReply);
    EXPECT_GE(session_->DeviceState(), dsIdentifying);
}

TEST_F(SessionTest, SilentDeviceGetsOneResendThenTheConnectionIsLost)
{
    StartSim(TSimOptions{});
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    sim_->Stop(); // the line stays open, nobody answers
    const unsigned before = writes_;
    PollNow();
    ASSERT_TRUE(WaitStatus(staConnectionLost));
    EXPECT_EQ(writes_ - before, 2u); // the request and its one resend
    EXPECT_EQ(session_->DeviceState(), dsNone);
    EXPECT_TRUE(session_->Requests().Empty());
    EXPECT_FALSE(view_.Controls);
    // The poll goes on asking for the device while the port stays open.
    ASSERT_TRUE(WaitFor([&] { return writes_ - before > 2; }));
}

// A device that goes silent and answers again right after it was given up: nothing was lost
// on the screen, the status does not flap.
TEST_F(SessionTest, ADeviceThatResumesAtOnceKeepsItsStatus)
{
    TSimOptions o;
    o.FirmwareCorrupt = true;
    o.StartInBootloader = true;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitStatus(staFirmwareCorrupted));
    sim_->Stop();
    const std::size_t from = view_.Statuses.size();
    PollNow();
    ASSERT_TRUE(WaitState(dsNone));
    ASSERT_TRUE(sim_->Start()); // it answers what it was asked meanwhile
    ASSERT_TRUE(WaitState(dsIdentifying));
    WaitFor([] { return false; }, TDeviceSession::LostStatusHold + 200);
    const std::vector<int> after(view_.Statuses.begin() + static_cast<std::ptrdiff_t>(from), view_.Statuses.end());
    EXPECT_EQ(std::count(after.begin(), after.end(), staConnectionLost), 0);
    EXPECT_EQ(view_.LastStatus(), staFirmwareCorrupted);
}

TEST_F(SessionTest, UnsupportedDevicesNeverConnect)
{
    TSimOptions o;
    o.Support = 2;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitFor([&] { return received_.size() >= 2; })); // asked again by the poll
    EXPECT_EQ(session_->DeviceState(), dsNone);
    EXPECT_FALSE(view_.Shown(staConnected));
}

TEST_F(SessionTest, ModelMismatchIsRefusedAndTheKeepAliveNeverConnectsIt)
{
    TSimOptions o;
    o.Identifier = 0x00070001; // model 7
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitStatus(staNotSupported));
    EXPECT_EQ(session_->DeviceState(), dsIdentifying);
    bool askedParameters = false;
    onMessage_ = [&](u8 code, unsigned, bool) {
        if (code == dcStatus)
            askedParameters = !session_->Requests().Empty();
    };
    ASSERT_TRUE(WaitFor([&] { return received_.back().Code == dcStatus; }));
    EXPECT_FALSE(askedParameters);
    EXPECT_EQ(session_->DeviceState(), dsIdentifying);
    EXPECT_FALSE(view_.Controls);
    EXPECT_EQ(sim_->Parameters().OpenTime(), o.OpenTime);
}

TEST_F(SessionTest, CorruptFirmwareAndStuckBootloaderAreReported)
{
    TSimOptions corrupt;
    corrupt.StartInBootloader = true;
    corrupt.FirmwareCorrupt = true;
    StartSim(corrupt);
    Connect();
    ASSERT_TRUE(WaitStatus(staFirmwareCorrupted));
    EXPECT_EQ(session_->RestartAttempts(), 0u);
    EXPECT_EQ(session_->DeviceState(), dsIdentifying);
    TearDown();

    TSimOptions stuck;
    stuck.StartInBootloader = true;
    stuck.StayInBootloader = true;
    stuck.BootTimeMs = 20;
    StartSim(stuck);
    view_ = TRecordingView();
    Connect();
    ASSERT_TRUE(WaitStatus(staBootFailed));
    EXPECT_EQ(session_->RestartAttempts(), TDeviceSession::MaxRestartAttempts);
    EXPECT_FALSE(view_.Shown(staConnected));
}

TEST_F(SessionTest, PortErrorsScheduleOnePollPerPeriod)
{
    StartSim(TSimOptions{});
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    session_->Serial()->OnError(session_->Serial(), CE_TXFULL); // outside the mask
    EXPECT_FALSE(session_->ErrorLatch());
    session_->Serial()->OnError(session_->Serial(), CE_FRAME);
    EXPECT_TRUE(session_->ErrorLatch());
    EXPECT_EQ(session_->PollTimer()->Interval(), TDeviceSession::RestartPollInterval);
    session_->PollTimer()->SetInterval(1234);
    session_->Serial()->OnError(session_->Serial(), CE_OVERRUN); // latched: no second schedule
    EXPECT_EQ(session_->PollTimer()->Interval(), 1234u);
}

TEST_F(SessionTest, OpenFailuresAndUnpluggingAreShown)
{
    session_ = Make<TDeviceSession>(&view_);
    EXPECT_FALSE(session_->ConnectToEntry(std::nullopt, true));
    EXPECT_EQ(view_.Statuses.back(), staNoPorts);
    session_->PortList.emplace_back("/dev/ttyFERROVAN-none");
    EXPECT_FALSE(session_->ConnectToEntry(std::nullopt, true));
    EXPECT_EQ(view_.Statuses.back(), staNoPortSelected);
    EXPECT_FALSE(session_->ConnectToEntry(String("elsewhere"), true));
    session_->ItemIndex = 0;
    session_->ConnectToEntry(std::nullopt, true);
    ASSERT_TRUE(WaitStatus(staPortInactive));
    EXPECT_EQ(session_->LastOpenError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(session_->ConnectedIndex(), -1);
    session_.reset();

    // The user's own Disconnect says so, and the closed port leaves it standing.
    StartSim(TSimOptions{});
    view_ = TRecordingView();
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    session_->Disconnect();
    EXPECT_TRUE(WaitFor([&] { return !view_.Disconnect; }));
    EXPECT_EQ(view_.LastStatus(), staDisconnected);
    EXPECT_FALSE(view_.Shown(staConnectionLost));

    // A lost line says so, and the closed port leaves that standing too.
    view_ = TRecordingView();
    ASSERT_TRUE(session_->ConnectToEntry(std::nullopt, true));
    ASSERT_TRUE(WaitState(dsConnected));
    sim_.reset(); // the line goes away
    ASSERT_TRUE(WaitStatus(staConnectionLost));
    EXPECT_EQ(session_->DeviceState(), dsNone);
    EXPECT_TRUE(WaitFor([&] { return !view_.Disconnect; }));
    EXPECT_EQ(view_.LastStatus(), staConnectionLost);
    EXPECT_FALSE(view_.Shown(staDisconnected));
}

TEST_F(SessionTest, AStaleLockFileOfAnotherUserIsNamed)
{
    StartSim(TSimOptions{});
    char folder[] = "/tmp/fk-locks-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const String lockFile = TPortLock::LockFilePath(folder, sim_->PortPath());
    // A lock entry nobody can remove (a folder), left by no running program.
    ASSERT_EQ(::mkdir(lockFile.c_str(), 0755), 0);
    session_ = Make<TDeviceSession>(&view_);
    session_->SerialPort1()->SetLockDirectory(folder);
    session_->PortList.emplace_back(sim_->PortPath());
    session_->ItemIndex = 0;
    session_->ConnectToEntry(std::nullopt, true);
    const bool shown = WaitStatus(staPortOpenFailed);
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(shown);
    EXPECT_FALSE(view_.Shown(staPortInUse));
    EXPECT_EQ(session_->LastOpenError(), ERROR_PORT_STALE_LOCK);
    EXPECT_EQ(session_->OpenFailureReason(), "a stale lock file of another user blocks the port: " + lockFile);
    EXPECT_EQ(view_.LastSuffix, session_->OpenFailureReason());
}

} // namespace
} // namespace fk::test

namespace fk::test {
namespace {

// A fresh window's start: every effect of dsNone although the state already is dsNone, and
// the closed port's interface.
TEST(DeviceSessionStart, BringToClosedStateAppliesTheNoDeviceEffects)
{
    TRecordingView view;
    view.Controls = view.Reboot = view.Disconnect = true;
    auto session = Make<TDeviceSession>(&view);
    session->SetConnectedPort("ttyUSB0");
    session->BringToClosedState();
    EXPECT_EQ(session->DeviceState(), dsNone);
    EXPECT_EQ(session->CurrentPort(), "ttyUSB0"); // remembered as the port to connect again
    EXPECT_EQ(session->ConnectedPort(), "");
    EXPECT_FALSE(view.Controls);
    EXPECT_FALSE(view.Reboot);
    EXPECT_FALSE(view.Disconnect);
    EXPECT_FALSE(view.ProgressVisible);
    EXPECT_FALSE(view.Shown(staConnectionLost)); // no "Connection lost" for a device never seen
    EXPECT_EQ(session->StatusIndex(), -1);
}

} // namespace
} // namespace fk::test

namespace fk::test {

// ModemManager (root, not kept off by our exclusive use) writes modem commands into the port
// we hold: the connection drops them, and the session notes that it happened.
TEST_F(SessionTest, ModemCommandsDroppedOnOurPortAreNoted)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    session_ = Make<TDeviceSession>(&view_);
    session_->PortList.emplace_back(::ptsname(master));
    session_->ItemIndex = 0;
    ASSERT_TRUE(session_->ConnectToEntry(std::nullopt, true));
    ASSERT_TRUE(WaitStatus(staConnecting));
    EXPECT_EQ(session_->ModemCommandBytes(), 0u);
    // ModemManager's probing: a few hundred modem commands, more than any packet can be long.
    std::string probe;
    for (int i = 0; i < 300; ++i)
        probe += "AT+GCAP\r";
    ASSERT_EQ(::write(master, probe.data(), probe.size()), ssize_t(probe.size()));
    EXPECT_TRUE(WaitFor([&] { return session_->ModemCommandBytes() > 0; }));
    session_.reset();
    ::close(master);
}

} // namespace fk::test
