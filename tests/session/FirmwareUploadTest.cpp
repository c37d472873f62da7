// Firmware images and their upload through the device session, end to end against the
// simulated controller; the simulator's installed payload is compared byte for byte.
#include "SessionHarness.h"

#include "platform/LastError.h"
#include "protocol/KestPacket2.h"
#include "session/FirmwareImage.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>

namespace fk::test {
namespace {

constexpr u32 SimId = 0x00060001;

TByteString Pattern(std::size_t n)
{
    TByteString p(n);
    for (std::size_t i = 0; i < n; ++i)
        p[i] = static_cast<u8>(i * 7 + i / 251);
    return p;
}

class UploadTest : public SessionTest {
protected:
    String WriteFile(const String& name, const TByteString& bytes)
    {
        const String path = dir_.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }

    String WriteImage(const String& name, const TByteString& payload, u32 id = SimId)
    {
        TByteString image;
        EXPECT_TRUE(TFirmwareImage::Build(id, payload.data(), payload.size(), image));
        return WriteFile(name, image);
    }

    static TSimOptions Fast()
    {
        TSimOptions o;
        o.BlockSize = 16;
        o.BlockCount = 64;
        o.BootTimeMs = 20;
        return o;
    }

    // Starts an upload of file (one under way is replaced).
    void Upload(const String& file) { session_->StartUpload(file); }

    bool WaitInstalled(const TByteString& payload)
    {
        return WaitFor([&] { return sim_->InstalledFirmware() == payload && session_->DeviceState() == dsConnected; });
    }

    QTemporaryDir dir_;
};

TEST_F(UploadTest, PayloadsOfOneByteAnExactMultipleAndARestAreInstalled)
{
    // 640 bytes: exactly the device's capacity, which fits.
    for (const std::size_t size : {std::size_t(1), std::size_t(64), std::size_t(600), std::size_t(640)}) {
        SCOPED_TRACE(size);
        const TByteString payload = Pattern(size);
        TSimOptions o = Fast();
        o.BlockCount = 40; // 640 bytes
        o.ExpectedFirmware = payload; // 64 bytes are four whole blocks
        StartSim(o);
        Connect();
        ASSERT_TRUE(WaitState(dsConnected));
        Upload(WriteImage("a.img", payload));
        EXPECT_TRUE(view_.Messages.empty());
        EXPECT_EQ(session_->UploadState(), usWaitBootloader);
        ASSERT_TRUE(WaitInstalled(payload));
        const auto& report = session_->Upload().Report();
        EXPECT_TRUE(report.Completed);
        EXPECT_EQ(report.BlocksSent, (size + 15) / 16);
        EXPECT_EQ(report.TransferRestarts, 0u);
        EXPECT_EQ(sim_->DuplicateBlocks(), 0u);
        EXPECT_TRUE(view_.Shown(staUploading));
        // The bar reached its end, then the panel went away; the image is released.
        EXPECT_EQ(session_->UploadRun().ProgressPosition(), TUploadRun::ProgressMax);
        EXPECT_FALSE(view_.ProgressVisible);
        EXPECT_FALSE(session_->Upload().Held());
        EXPECT_EQ(session_->UploadState(), usNone);
        EXPECT_EQ(session_->UploadRun().FirmwareDir(), dir_.path().toStdString());
        session_.reset();
    }
}

TEST_F(UploadTest, ACompletedUploadSaysSoOnceTheDeviceIsBack)
{
    StartSim(Fast());
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    const TByteString payload = Pattern(40);
    Upload(WriteImage("a.img", payload));
    ASSERT_TRUE(WaitInstalled(payload));
    ASSERT_TRUE(WaitStatus(staUploadDone));
    EXPECT_TRUE(view_.Failures.empty());
}

TEST_F(UploadTest, BadFilesAreRefusedAndChangeNothing)
{
    StartSim(Fast()); // capacity 1024
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));

    TByteString image;
    ASSERT_TRUE(TFirmwareImage::Build(SimId, Pattern(100).data(), 100, image));
    TByteString badDigest = image;
    badDigest[TFirmwareImage::HeadSize + 3] ^= 1;
    TByteString minimal;
    ASSERT_TRUE(TFirmwareImage::Build(SimId, Pattern(1).data(), 1, minimal));
    const String sparse = dir_.filePath("huge.img").toStdString();
    {
        const int fd = ::open(sparse.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t(1) << 32), 0); // 4 GiB, nothing written
        ::close(fd);
    }
    const struct {
        String file;
        int message;
        u32 code;
    } cases[] = {
        {WriteFile("digest.img", badDigest), msgFirmwareInvalid, ErrorImageDigest},
        {WriteFile("short.img", TByteString(minimal.begin(), minimal.end() - 1)), msgFirmwareInvalid, ErrorNotAnImage},
        {WriteFile("empty.img", {}), msgFirmwareInvalid, ErrorNotAnImage},
        {dir_.filePath("missing.img").toStdString(), msgFirmwareInvalid, ERROR_FILE_NOT_FOUND},
        {dir_.path().toStdString(), msgFirmwareInvalid, ErrorNotAnImage},
        {sparse, msgFirmwareInvalid, ErrorNotAnImage},
        {WriteImage("big.img", Pattern(1025)), msgFirmwareTooBig, ErrorImageTooBig},
        {WriteImage("other.img", Pattern(10), 0x00070001), msgFirmwareMismatch, ErrorImageMismatch},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TByteString read;
        EXPECT_FALSE(TFirmwareImage::Load(c.file, read, &session_->DeviceInfo()));
        EXPECT_EQ(GetLastError(), c.code);
        view_.Messages.clear();
        Upload(c.file);
        EXPECT_EQ(view_.Messages, std::vector<int>{c.message});
        EXPECT_EQ(session_->UploadState(), usNone);
        EXPECT_FALSE(session_->Upload().Held());
        EXPECT_FALSE(view_.ProgressVisible);
        EXPECT_EQ(session_->DeviceState(), dsConnected);
        for (const auto& request : session_->Requests().Pending())
            EXPECT_NE(request.Packet[1], dcEnterBootloader);
    }
    // A 76-byte image is the smallest that loads; the device stayed in its application.
    TByteString read;
    EXPECT_TRUE(TFirmwareImage::Load(WriteFile("min.img", minimal), read, &session_->DeviceInfo()));
    EXPECT_EQ(read.size(), TFirmwareImage::MinSize);
    EXPECT_FALSE(sim_->InBootloader());
}

TEST_F(UploadTest, BootloaderDescriptionMismatchDropsTheUploadSilently)
{
    // Without an identified device nothing is checked at load time: the bootloader's
    // description decides, and a mismatch restarts the device without a message.
    const struct {
        u32 id;
        std::size_t size;
        int reason;
    } cases[] = {{0x00070001, 10, msgFirmwareMismatch}, {SimId, 1025, msgFirmwareTooBig}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        StartSim(Fast());
        session_ = Make<TDeviceSession>(&view_);
        session_->Ports().Add(sim_->PortPath());
        session_->Ports().SetItemIndex(0);
        Upload(WriteImage("x.img", Pattern(c.size), c.id));
        EXPECT_EQ(session_->UploadState(), usWaitBootloader);
        ASSERT_TRUE(WaitFor([&] { return session_->Upload().Report().DropMessage >= 0; }));
        EXPECT_EQ(session_->Upload().Report().DropMessage, c.reason);
        EXPECT_TRUE(view_.Messages.empty());
        EXPECT_EQ(session_->UploadState(), usNone);
        ASSERT_TRUE(WaitState(dsConnected)); // restarted into its application
        EXPECT_TRUE(sim_->InstalledFirmware().empty());
        session_.reset();
    }
}

TEST_F(UploadTest, DeviceThatStaysInItsApplicationIsReported)
{
    TSimOptions o = Fast();
    o.RefuseBootloader = true;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    Upload(WriteImage("a.img", Pattern(40)));
    ASSERT_TRUE(WaitStatus(staBootloaderFailed));
    EXPECT_EQ(session_->UploadState(), usNone);
    EXPECT_FALSE(session_->Upload().Held());
    EXPECT_TRUE(sim_->InstalledFirmware().empty());
    // The ending is told: what happened, and that the old firmware stays.
    EXPECT_EQ(view_.LastStatus(), staUploadFailed);
    EXPECT_EQ(view_.LastSuffix, "Can't return to bootloader");
    ASSERT_EQ(view_.Failures.size(), 1u);
    EXPECT_EQ(view_.Failures[0], std::make_pair(int(staBootloaderFailed), false));
}

TEST_F(UploadTest, ADamagedReplyDuringTheBootloaderHandOverStartsTheHandOverOver)
{
    // The reply to enter-bootloader is damaged; its resend (one reply time-out later) reaches
    // a device still booting, with a wide margin on a slow machine, and the device is up again
    // well within the hand-over's restart limit.
    TSimOptions o = Fast();
    o.GarbleReplyTo = dcEnterBootloader;
    o.BootTimeMs = 800;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    const TByteString payload = Pattern(40);
    Upload(WriteImage("a.img", payload));
    ASSERT_TRUE(WaitInstalled(payload)) << "statuses: " << testing::PrintToString(view_.Statuses);
    EXPECT_GE(session_->Upload().Report().HandOverRestarts, 1u);
    EXPECT_TRUE(view_.Failures.empty());
}

TEST_F(UploadTest, AHandOverThatNeverGetsAnAnswerStartsOverExactlyItsLimitThenGivesUp)
{
    // The device enters its bootloader and stays silent far longer than the hand-over waits.
    TSimOptions o = Fast();
    o.BootTimeMs = 60000;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    Upload(WriteImage("a.img", Pattern(40)));
    ASSERT_TRUE(WaitFor([&] { return session_->DeviceState() == dsNone; }));
    EXPECT_EQ(session_->Upload().Report().HandOverRestarts, TUploadRun::MaxHandOverRestarts);
}

TEST_F(UploadTest, LostBlockRepliesStartTheTransferOverAndTheFirmwareIsInstalledWhole)
{
    // 56 bytes: blocks 1..3 of 16 bytes and block 4 of 8. Each case drops the replies to a run
    // of blocks (counted since the simulator started, the blocks of every restart included).
    const TByteString payload = Pattern(56);
    const struct {
        unsigned from, count;
    } cases[] = {{1, 1}, {4, 1}, {2, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "drop from block " << c.from << ", " << c.count << " in a row");
        TSimOptions o = Fast();
        o.DropBlockReply = c.from;
        o.DropBlockReplies = c.count;
        o.ExpectedFirmware = payload;
        StartSim(o);
        view_ = TRecordingView{};
        Connect();
        ASSERT_TRUE(WaitState(dsConnected));
        Upload(WriteImage("a.img", payload));
        ASSERT_TRUE(WaitInstalled(payload));
        const auto& report = session_->Upload().Report();
        EXPECT_TRUE(report.Completed);
        EXPECT_EQ(report.TransferRestarts, c.count);
        EXPECT_EQ(report.BlocksSent, 4u);
        EXPECT_EQ(sim_->DuplicateBlocks(), 0u); // no block was ever sent twice in one transfer
        EXPECT_FALSE(view_.Shown(staConnectionLost));
        session_.reset();
    }
}

TEST_F(UploadTest, AFourthLostBlockReplyGivesConnectionLostAndTheDeviceKeepsItsBootloader)
{
    TSimOptions o = Fast();
    o.DropBlockReply = 2;
    o.DropBlockReplies = 4;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    Upload(WriteImage("a.img", Pattern(56)));
    ASSERT_TRUE(WaitStatus(staConnectionLost));
    EXPECT_EQ(session_->UploadState(), usNone);
    EXPECT_FALSE(session_->Upload().Held());
    EXPECT_FALSE(session_->Upload().Report().Completed);
    EXPECT_EQ(session_->Upload().Report().TransferRestarts, TUploadRun::MaxTransferRestarts);
    EXPECT_EQ(sim_->RepliesDropped(), 4u);
    // Told as an interrupted upload that leaves the device without firmware.
    ASSERT_EQ(view_.Failures.size(), 1u);
    EXPECT_EQ(view_.Failures[0], std::make_pair(int(staConnectionLost), true));
    EXPECT_TRUE(view_.Shown(staUploadInterrupted));
    // The bar stays where it stopped, paused; the device, found again by the poll, is in its
    // bootloader with the transfer unfinished: corrupt firmware, never the partial payload.
    EXPECT_TRUE(view_.ProgressPaused);
    ASSERT_TRUE(WaitStatus(staFirmwareCorrupted));
    EXPECT_TRUE(sim_->InBootloader());
    EXPECT_TRUE(sim_->InstalledFirmware().empty());
}

TEST_F(UploadTest, ALateDeviceInformationReplyDuringTheTransferStartsNoSecondTransfer)
{
    TSimOptions o = Fast();
    o.Baud = 19200; // about 15 ms a block: the transfer is under way when the reply comes
    const std::string logPath = dir_.filePath(QStringLiteral("sim.log")).toStdString();
    ASSERT_TRUE(log_.ToFile(logPath));
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    const TByteString payload = Pattern(600);
    Upload(WriteImage("a.img", payload));
    ASSERT_TRUE(WaitFor([&] { return session_->Upload().Report().BlocksSent >= 3; }));
    ASSERT_EQ(session_->UploadState(), usTransfer);

    // The bootloader's description once more, as a resent request's late reply brings it.
    const TDeviceInfo info = session_->DeviceInfo();
    ASSERT_EQ(info.RunMode(), 0);
    KestPacketHeader2_t_ h;
    h.Initialize(dtController, dtConfigurator, dcDeviceInfo, KestPacketHeader2_t_::DataOffset);
    TByteString wire;
    ASSERT_TRUE(TKestPacket2(h, info.Bytes, TDeviceInfo::Size).PrepareSend(wire));
    const std::size_t queued = session_->Requests().Size();
    Deliver(wire);

    EXPECT_EQ(session_->UploadState(), usTransfer);
    EXPECT_EQ(session_->Requests().Size(), queued);
    for (const auto& request : session_->Requests().Pending())
        EXPECT_GT(request.Packet.size(), KestPacketHeader2_t_::DataOffset + 1u) << "a start request was queued";
    ASSERT_TRUE(WaitInstalled(payload));
    // Every transfer the device saw start is the first one or a restart after a lost reply (a
    // slow machine may lose one); none was started by the late description.
    sim_.reset();
    std::ifstream in(logPath);
    unsigned starts = 0;
    for (std::string line; std::getline(in, line);)
        starts += line.find("firmware transfer started") != std::string::npos;
    EXPECT_EQ(starts, 1 + session_->Upload().Report().TransferRestarts);
}

TEST_F(UploadTest, AbortAndRebootDuringTheTransferLeaveTheDeviceInItsBootloader)
{
    TSimOptions o = Fast();
    o.Baud = 19200; // about 15 ms a block: time to act in the middle
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    const String image = WriteImage("a.img", Pattern(640));
    Upload(image);
    ASSERT_TRUE(WaitFor([&] { return session_->Upload().Report().BlocksSent >= 3; }));
    // Another file chosen in the window while blocks are sent: No keeps the running upload
    // untouched.
    view_.FirmwareFile = image;
    view_.Answer = qaNo;
    const int asked = view_.Questions;
    session_->ButtonClick(sbUpload);
    EXPECT_EQ(view_.Questions, asked + 2);
    EXPECT_EQ(session_->UploadState(), usTransfer);
    // Abort: the panel goes first, then the upload is reset and the device restarted. Its
    // application was erased by the transfer start and the new one is not whole: it stays in
    // its bootloader and says its firmware is corrupt, as a real controller does.
    session_->AbortUpload();
    EXPECT_FALSE(view_.ProgressVisible);
    EXPECT_EQ(session_->UploadState(), usNone);
    ASSERT_TRUE(WaitFor([&] { return RestartPending() == rpToApplication; }));
    ASSERT_TRUE(WaitStatus(staFirmwareCorrupted));
    EXPECT_FALSE(session_->Upload().Report().Completed);
    EXPECT_TRUE(sim_->InBootloader());
    EXPECT_TRUE(sim_->FirmwareCorrupt());
    EXPECT_TRUE(sim_->InstalledFirmware().empty());
    EXPECT_NE(session_->DeviceState(), dsConnected);

    // Reboot in the middle: the bar stays visible, paused at its last position; the device
    // again keeps its bootloader.
    received_.clear();
    view_.Statuses.clear();
    Upload(WriteImage("a.img", Pattern(640)));
    ASSERT_TRUE(WaitFor([&] { return session_->Upload().Report().BlocksSent >= 3; }));
    session_->Reboot();
    EXPECT_EQ(session_->UploadState(), usNone);
    EXPECT_TRUE(view_.ProgressVisible);
    EXPECT_TRUE(view_.ProgressPaused);
    EXPECT_LT(view_.ProgressPosition, TUploadRun::ProgressMax);
    ASSERT_TRUE(WaitStatus(staFirmwareCorrupted));
    EXPECT_FALSE(view_.ProgressVisible);
    EXPECT_TRUE(sim_->InstalledFirmware().empty());

    // A whole upload mends it.
    const TByteString payload = Pattern(200);
    Upload(WriteImage("b.img", payload));
    ASSERT_TRUE(WaitInstalled(payload));
    EXPECT_FALSE(sim_->FirmwareCorrupt());
}

// While the Abort question is open the transfer waits: the answer applies to the upload the
// user was asked about. After No it goes on.
TEST_F(UploadTest, TheTransferWaitsWhileTheAbortQuestionIsOpen)
{
    TSimOptions o = Fast();
    o.Baud = 19200;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    const TByteString payload = Pattern(630);
    Upload(WriteImage("a.img", payload));
    ASSERT_TRUE(WaitFor([&] { return session_->Upload().Report().BlocksSent >= 3; }));
    u32 asked = 0, answered = 0;
    view_.DuringQuestion = [&] {
        asked = session_->Upload().Report().BlocksSent;
        WaitFor([] { return false; }, 300); // the user reads the question
        answered = session_->Upload().Report().BlocksSent;
    };
    view_.Answer = qaNo;
    session_->ButtonClick(sbAbort);
    // No block goes out meanwhile. (On a loaded machine a reply may come too late: the
    // transfer then starts over, which sends no block either.)
    EXPECT_LE(answered, asked);
    EXPECT_EQ(session_->UploadState(), usTransfer);
    ASSERT_TRUE(WaitInstalled(payload));
}

// Disconnect during the transfer: the abort's restart reaches the device before the port closes.
TEST_F(UploadTest, DisconnectDuringTheTransferRestartsTheDeviceBeforeTheClose)
{
    TSimOptions o = Fast();
    o.Baud = 19200;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    Upload(WriteImage("a.img", Pattern(640)));
    ASSERT_TRUE(WaitFor([&] { return session_->Upload().Report().BlocksSent >= 3; }));
    received_.clear();
    session_->Disconnect();
    ASSERT_TRUE(WaitFor([&] { return !view_.Disconnect; }));
    EXPECT_TRUE(std::any_of(received_.begin(), received_.end(),
                            [](const TReceived& r) { return r.Code == dcRestart && r.WasReply; }));
    EXPECT_EQ(view_.LastStatus(), staDisconnected);
    EXPECT_TRUE(view_.Failures.empty()); // the user's own stop is no failure
}

// Connecting to another port during the transfer: the device being upgraded gets its restart
// on the line before its port closes, then the other port opens.
TEST_F(UploadTest, ConnectingToAnotherPortDuringTheTransferRestartsTheDeviceFirst)
{
    TSimOptions o = Fast();
    o.Baud = 19200;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    TSimLog otherLog;
    TSimController other(TSimOptions{}, otherLog);
    ASSERT_TRUE(other.OpenPseudoTerminal());
    ASSERT_TRUE(other.Start());
    session_->Ports().Add(other.PortPath());
    Upload(WriteImage("a.img", Pattern(640)));
    ASSERT_TRUE(WaitFor([&] { return session_->Upload().Report().BlocksSent >= 3; }));
    received_.clear();
    view_.Answer = qaYes;
    ASSERT_TRUE(session_->ConnectToEntry(other.PortPath(), true));
    ASSERT_TRUE(WaitFor([&] { return session_->DeviceState() == dsConnected && session_->Serial()->PortName() == other.PortPath(); }));
    EXPECT_TRUE(std::any_of(received_.begin(), received_.end(),
                            [](const TReceived& r) { return r.Code == dcRestart && r.WasReply; }));
    EXPECT_TRUE(view_.Failures.empty()); // the user's own stop is no failure
}

} // namespace
} // namespace fk::test
