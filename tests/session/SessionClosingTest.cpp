// The closing part of the device session: the farewell before a close, and a port that leaves
// the system's list (during an upload, with its line still working, or with a device that
// needs no farewell).
#include "SessionHarness.h"

#include "session/FirmwareImage.h"

#include <QTemporaryDir>

#include <fstream>

namespace fk::test {
namespace {

class ClosingTest : public SessionTest {
protected:
    // An image for the simulated controller with n payload bytes; returns its path.
    String WriteImage(std::size_t n)
    {
        TByteString payload(n), image;
        for (std::size_t i = 0; i < n; ++i)
            payload[i] = static_cast<u8>(i * 5 + 1);
        EXPECT_TRUE(TFirmwareImage::Build(TSimOptions().Identifier, payload.data(), payload.size(), image));
        const String path = dir_.filePath(QStringLiteral("a.img")).toStdString();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
        return path;
    }
    bool RestartAnswered() const
    {
        return std::any_of(received_.begin(), received_.end(),
                           [](const TReceived& r) { return r.Code == dcRestart && r.WasReply; });
    }

    QTemporaryDir dir_;
};

// The port leaves the list in the middle of a transfer while its line works: the device gets
// its restart before the port closes, and the upload is told as interrupted by the lost port
// (status, failure report, record "failed"), not as stopped by the user.
TEST_F(ClosingTest, APortLostDuringTheTransferRestartsTheDeviceAndTellsTheInterruption)
{
    TSimOptions o;
    o.BlockSize = 16;
    o.BootTimeMs = 20;
    o.Baud = 19200;
    StartSim(o);
    Connect();
    std::vector<String> ends;
    session_->OnRecord = TSessionRecordEvent::Bind(this, [&](TObject*, const TSessionRecord& r) {
        if (r.Kind == srUploadEnded)
            ends.push_back(r.Result);
    });
    ASSERT_TRUE(WaitState(dsConnected));
    ASSERT_TRUE(session_->StartUpload(WriteImage(640)));
    ASSERT_TRUE(WaitFor([&] { return session_->Upload().Report().BlocksSent >= 3; }));
    received_.clear();
    session_->PortLost(staPortInactive);
    ASSERT_TRUE(WaitFor([&] { return !view_.Disconnect; }));
    EXPECT_TRUE(RestartAnswered());
    ASSERT_EQ(view_.Failures.size(), 1u);
    EXPECT_EQ(view_.Failures[0], std::make_pair(int(staPortInactive), true));
    EXPECT_EQ(view_.LastStatus(), staUploadInterrupted);
    EXPECT_EQ(session_->Upload().Report().FailCause, staPortInactive);
    EXPECT_EQ(ends, std::vector<String>{"failed"});
    // A second word of the same loss on the closed port changes nothing.
    const std::size_t shown = view_.Statuses.size();
    session_->PortLost(staPortInactive);
    EXPECT_EQ(view_.Statuses.size(), shown);
    session_->OnRecord = nullptr;
}

// A device in its application needs no farewell: the port closes at once, with the status of
// the loss, and no restart reaches the device.
TEST_F(ClosingTest, APortLostWithTheApplicationRunningClosesWithoutARestart)
{
    StartSim(TSimOptions{});
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    received_.clear();
    EXPECT_FALSE(session_->SayFarewell());
    session_->PortLost(staPortInactive);
    ASSERT_TRUE(WaitFor([&] { return !view_.Disconnect; }));
    EXPECT_FALSE(RestartAnswered());
    EXPECT_EQ(view_.LastStatus(), staPortInactive);
    EXPECT_TRUE(view_.Failures.empty());
    EXPECT_FALSE(sim_->InBootloader());
}

// A device left in its bootloader gets its restart before the user's close, and the status
// says "Disconnected" (not a loss) once the port has closed.
TEST_F(ClosingTest, DisconnectRestartsADeviceLeftInItsBootloaderFirst)
{
    TSimOptions o;
    o.StartInBootloader = true;
    o.StayInBootloader = true;
    o.BootTimeMs = 20;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitStatus(staBootFailed));
    received_.clear();
    session_->Disconnect();
    EXPECT_TRUE(session_->FarewellPending());
    ASSERT_TRUE(WaitFor([&] { return !view_.Disconnect; }));
    EXPECT_TRUE(RestartAnswered());
    EXPECT_FALSE(session_->FarewellPending());
    EXPECT_EQ(view_.LastStatus(), staDisconnected);
}

} // namespace
} // namespace fk::test
