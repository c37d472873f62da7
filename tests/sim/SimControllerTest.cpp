// The simulated controller driven over its pseudo-terminal with plain requests, as the
// configurator would send them.
#include "protocol/ByteSum.h"
#include "protocol/DeviceMessages.h"
#include "sim/SimController.h"
#include "sim/SimProgram.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace fk {
namespace {

using Clock = std::chrono::steady_clock;
// Only a bound for giving up on a reply that should come; never a timing assertion.
constexpr int ReplyWaitMs = 3000;

class SimControllerTest : public ::testing::Test {
public:
    static constexpr unsigned BootMs = 100;

protected:
    void Begin(const TSimOptions& options)
    {
        sim_.emplace(options, log_);
        ASSERT_TRUE(sim_->OpenPseudoTerminal());
        ASSERT_TRUE(sim_->Start());
        line_.Reset(::open(sim_->PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
        ASSERT_TRUE(line_.Valid());
        termios t{};
        ASSERT_EQ(tcgetattr(line_.Get(), &t), 0);
        cfmakeraw(&t);
        ASSERT_EQ(tcsetattr(line_.Get(), TCSANOW, &t), 0);
    }

    void Write(const TByteString& bytes)
    {
        ASSERT_EQ(::write(line_.Get(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

    static TByteString Wire(const TKestPacket2& request)
    {
        TByteString wire;
        EXPECT_TRUE(request.PrepareSend(wire));
        return wire;
    }

    // The next whole packet from the line, unscrambled; none when nothing comes within waitMs.
    std::optional<TKestPacket2> Receive(int waitMs = ReplyWaitMs)
    {
        const auto until = Clock::now() + std::chrono::milliseconds(waitMs);
        for (;;) {
            unsigned pos = 0, length = 0;
            if (TKestPacket2::RetreivePacket(in_.data(), unsigned(in_.size()), pos, 65525, length)) {
                TKestPacket2 packet(in_.data() + pos, length);
                in_.erase(in_.begin(), in_.begin() + pos + length);
                packet.RetreiveData();
                return packet;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            pollfd p{line_.Get(), POLLIN, 0};
            if (left <= 0 || poll(&p, 1, int(left)) <= 0 || !(p.revents & POLLIN))
                return std::nullopt;
            u8 buf[512];
            const ssize_t n = ::read(line_.Get(), buf, sizeof buf);
            if (n <= 0)
                return std::nullopt;
            in_.insert(in_.end(), buf, buf + n);
        }
    }

    // Sends the request and returns the data of its reply, checking that it is one.
    TByteString Exchange(const TKestPacket2& request)
    {
        Write(Wire(request));
        auto reply = Receive();
        if (!reply) {
            ADD_FAILURE() << "no reply to code " << int(request.GetHeader()->GetCode());
            return {};
        }
        const auto& h = *reply->GetHeader();
        EXPECT_TRUE(h.IsReplyValid(*request.GetHeader()));
        EXPECT_EQ(h.GetSource(), dtController);
        EXPECT_EQ(h.GetDestination(), request.GetHeader()->GetSource());
        return TByteString(h.Data(), h.Data() + h.GetDataLength());
    }

    void ExpectNoReply(const TKestPacket2& request, int waitMs = 150)
    {
        Write(Wire(request));
        EXPECT_FALSE(Receive(waitMs)) << "unexpected reply to code " << int(request.GetHeader()->GetCode());
    }

    TDeviceInfo Info()
    {
        TDeviceInfo info;
        const TByteString data = Exchange(DeviceInfoRequest());
        EXPECT_TRUE(info.Load(data.data(), unsigned(data.size())));
        return info;
    }

    static TKestPacket2 Block(const TByteString& bytes)
    {
        TKestPacket2 p;
        EXPECT_TRUE(BuildFirmwareBlockRequest(p, bytes.data(), unsigned(bytes.size())));
        return p;
    }

    // Waits until the restarted device answers again (it is silent while it boots), then
    // drops any late answer so the next exchange starts clean.
    void WaitBoot()
    {
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < until) {
            Write(Wire(StatusRequest()));
            if (Receive(BootMs / 2)) {
                while (Receive(BootMs / 2)) {
                }
                return;
            }
        }
        ADD_FAILURE() << "the device did not come back from its restart";
    }


    TSimLog log_;
    std::optional<TSimController> sim_;
    TUniqueFd line_;
    TByteString in_;
};

TSimOptions Quick()
{
    TSimOptions o;
    o.BootTimeMs = SimControllerTest::BootMs;
    return o;
}

TEST_F(SimControllerTest, IdentificationRecordsFollowTheOptions)
{
    TSimOptions o = Quick();
    o.Identifier = 0x12063456;
    o.SerialNumber = "SN-42";
    o.InfoText = "bench unit";
    o.Version[0] = 3, o.Version[1] = 0, o.Version[2] = 7;
    o.BuildYear = 2031, o.BuildMonth = 12, o.BuildDay = 9;
    o.BlockSize = 128, o.BlockCount = 300;
    o.Support = 2;
    o.FirmwareCorrupt = true;
    Begin(o);

    // A request with a reply-match byte of its own gets it back.
    TKestPacket2 request = DeviceInfoRequest();
    request.GetHeader()->Match = 0x5A;
    TDeviceInfo info;
    const TByteString data = Exchange(request);
    ASSERT_TRUE(info.Load(data.data(), unsigned(data.size())));
    EXPECT_EQ(info.Identifier(), 0x12063456u);
    EXPECT_EQ(info.Model(), 6);
    EXPECT_EQ(info.Support(), 2);
    EXPECT_EQ(info.SerialNumber(), "SN-42");
    EXPECT_EQ(info.BlockSize(), 128);
    EXPECT_EQ(info.BlockCount(), 300);
    EXPECT_TRUE(info.ApplicationRuns());
    EXPECT_TRUE(info.IsCorrupt());

    TFirmwareInfo fw;
    const TByteString fwData = Exchange(FirmwareInfoRequest());
    ASSERT_TRUE(fw.Load(fwData.data(), unsigned(fwData.size())));
    EXPECT_EQ(fw.Identifier(), 0x12063456u);
    EXPECT_EQ(fw.Version1(), 3);
    EXPECT_EQ(fw.Version2(), 0);
    EXPECT_EQ(fw.Version3(), 7);
    EXPECT_EQ(fw.BuildYear(), 2031u);
    EXPECT_EQ(fw.BuildMonth(), 12);
    EXPECT_EQ(fw.BuildDay(), 9);
    EXPECT_EQ(fw.InfoText(), "bench unit");

    EXPECT_EQ(Exchange(StatusRequest()).size(), 4u);
}

TEST_F(SimControllerTest, ParametersAreWrittenReadBackAndGuarded)
{
    Begin(Quick());
    const u8 times[2] = {25, 3};
    TKestPacket2 write;
    ASSERT_TRUE(BuildParametersWriteRequest(write, 0, times, 2));
    EXPECT_TRUE(Exchange(write).empty()); // acknowledged without data

    TByteString block = Exchange(ParametersReadRequest());
    ASSERT_EQ(block.size(), 32u);
    EXPECT_EQ(block[0], 25);
    EXPECT_EQ(block[1], 3);

    const u8 one = 0x77;
    ASSERT_TRUE(BuildParametersWriteRequest(write, 31, &one, 1));
    EXPECT_TRUE(Exchange(write).empty());
    EXPECT_EQ(sim_->Parameters().Bytes[31], 0x77);

    // A write past byte 31 changes nothing and is answered with the block the device holds.
    const u8 two[2] = {1, 2};
    ASSERT_TRUE(BuildParametersWriteRequest(write, 31, two, 2));
    block = Exchange(write);
    ASSERT_EQ(block.size(), 32u);
    EXPECT_EQ(block[31], 0x77);
    EXPECT_EQ(block[0], 25);

    EXPECT_FALSE(sim_->Venting());
    EXPECT_TRUE(Exchange(VentingToggleRequest()).empty());
    EXPECT_TRUE(sim_->Venting());
    EXPECT_EQ(Exchange(StatusRequest())[1], 1);
    Exchange(VentingToggleRequest());
    EXPECT_FALSE(sim_->Venting());
}

TEST_F(SimControllerTest, TheControlInputTellsWhatTheDeviceHoldsAndSilencesIt)
{
    Begin(Quick());
    TSimController& sim = *sim_;
    EXPECT_EQ(TSimProgram::ControlReply(sim, "state"), "state application open-time 20 break-time 5");
    const u8 times[2] = {33, 7};
    TKestPacket2 write;
    ASSERT_TRUE(BuildParametersWriteRequest(write, 0, times, 2));
    Exchange(write);
    EXPECT_EQ(TSimProgram::ControlReply(sim, "state\r"), "state application open-time 33 break-time 7");
    // Silent: a request waits, unanswered, until the device answers again.
    EXPECT_EQ(TSimProgram::ControlReply(sim, "silent"), "ok");
    EXPECT_EQ(TSimProgram::ControlReply(sim, "silent"), "ok");
    ExpectNoReply(StatusRequest());
    EXPECT_EQ(TSimProgram::ControlReply(sim, "answer"), "ok");
    EXPECT_TRUE(Receive());
    EXPECT_EQ(TSimProgram::ControlReply(sim, "answer"), "ok");
    EXPECT_FALSE(Exchange(StatusRequest()).empty());
    EXPECT_EQ(TSimProgram::ControlReply(sim, "reboot"), "error: unknown command 'reboot' (state, silent, answer)");
    Exchange(EnterBootloaderRequest());
    WaitBoot();
    EXPECT_EQ(TSimProgram::ControlReply(sim, "state").rfind("state bootloader ", 0), 0u);
}

TEST_F(SimControllerTest, RestartsAreSilentAndChangeTheRunMode)
{
    Begin(Quick());
    EXPECT_TRUE(Exchange(EnterBootloaderRequest()).empty());
    ExpectNoReply(DeviceInfoRequest(), 20); // still booting
    WaitBoot();
    EXPECT_FALSE(Info().ApplicationRuns());
    EXPECT_TRUE(sim_->InBootloader());
    ExpectNoReply(ParametersReadRequest()); // the bootloader has no parameters

    EXPECT_TRUE(Exchange(RestartRequest()).empty());
    ExpectNoReply(StatusRequest(), 20);
    WaitBoot();
    EXPECT_TRUE(Info().ApplicationRuns());
}

TEST_F(SimControllerTest, RefusedAndStuckBootloaderComeBackInTheSameMode)
{
    TSimOptions o = Quick();
    o.RefuseBootloader = true;
    o.StayInBootloader = true;
    Begin(o);
    Exchange(EnterBootloaderRequest());
    WaitBoot();
    EXPECT_TRUE(Info().ApplicationRuns());
    Exchange(RestartRequest()); // the application cannot leave the bootloader alone either
    WaitBoot();
    EXPECT_FALSE(Info().ApplicationRuns());
    Exchange(RestartRequest());
    WaitBoot();
    EXPECT_FALSE(Info().ApplicationRuns());
}

TByteString Payload(std::size_t n)
{
    TByteString p(n);
    for (std::size_t i = 0; i < n; ++i)
        p[i] = static_cast<u8>(i * 7 + 3);
    return p;
}

TEST_F(SimControllerTest, TransferredFirmwareIsInstalledByTheRestart)
{
    TSimOptions o = Quick();
    o.StartInBootloader = true;
    o.FirmwareCorrupt = true;
    o.BlockSize = 16;
    o.BlockCount = 3;
    o.DumpFirmwarePath = ::testing::TempDir() + "sim-dump.bin";
    std::remove(o.DumpFirmwarePath.c_str());
    Begin(o);

    // Corrupt firmware without a new one: a restart comes back in the bootloader.
    Exchange(RestartRequest());
    WaitBoot();
    EXPECT_TRUE(Info().IsCorrupt());
    ExpectNoReply(Block(Payload(4)));                   // no transfer started
    EXPECT_TRUE(Exchange(FirmwareTransferStartRequest()).empty());
    ExpectNoReply(Block(Payload(17)));                  // larger than a block

    const TByteString payload = Payload(40);
    for (std::size_t at = 0; at < payload.size(); at += 16) {
        const auto end = payload.begin() + std::ptrdiff_t(std::min<std::size_t>(at + 16, payload.size()));
        EXPECT_TRUE(Exchange(Block(TByteString(payload.begin() + std::ptrdiff_t(at), end))).empty());
    }
    ExpectNoReply(Block(Payload(9)));                   // past the capacity of 48 bytes
    EXPECT_TRUE(sim_->InstalledFirmware().empty());

    Exchange(RestartRequest());
    WaitBoot();
    const TDeviceInfo info = Info();
    EXPECT_TRUE(info.ApplicationRuns());
    EXPECT_FALSE(info.IsCorrupt());
    EXPECT_EQ(sim_->InstalledFirmware(), payload);
    std::ifstream dump(o.DumpFirmwarePath, std::ios::binary);
    EXPECT_EQ(TByteString(std::istreambuf_iterator<char>(dump), {}), payload);
}

TEST_F(SimControllerTest, AnUnfinishedTransferIsNeverRunAndTheFirmwareIsReportedCorrupt)
{
    TSimOptions o = Quick();
    o.BlockSize = 16;
    Begin(o);
    const TByteString payload = Payload(40);
    const auto send = [&](std::size_t from, std::size_t to) {
        for (std::size_t at = from; at < to; at += 16) {
            const auto end = payload.begin() + std::ptrdiff_t(std::min(at + 16, to));
            EXPECT_TRUE(Exchange(Block(TByteString(payload.begin() + std::ptrdiff_t(at), end))).empty());
        }
    };
    Exchange(EnterBootloaderRequest());
    WaitBoot();
    EXPECT_FALSE(Info().IsCorrupt());

    // The transfer start erases the application: a configurator that loses the line here
    // finds the device in its bootloader with corrupt firmware.
    Exchange(FirmwareTransferStartRequest());
    EXPECT_TRUE(Info().IsCorrupt());
    EXPECT_TRUE(sim_->FirmwareCorrupt());
    // Aborted after two whole blocks: the restart comes back in the bootloader, nothing runs.
    send(0, 32);
    Exchange(RestartRequest());
    WaitBoot();
    TDeviceInfo info = Info();
    EXPECT_FALSE(info.ApplicationRuns());
    EXPECT_TRUE(info.IsCorrupt());
    EXPECT_TRUE(sim_->InstalledFirmware().empty());
    // So does a transfer started again and stopped again, and enter-bootloader.
    Exchange(FirmwareTransferStartRequest());
    send(0, 16);
    Exchange(EnterBootloaderRequest());
    WaitBoot();
    Exchange(RestartRequest());
    WaitBoot();
    EXPECT_TRUE(Info().IsCorrupt());
    // The whole payload, ending in a short block, is installed by the restart.
    Exchange(FirmwareTransferStartRequest());
    send(0, payload.size());
    Exchange(RestartRequest());
    WaitBoot();
    info = Info();
    EXPECT_TRUE(info.ApplicationRuns());
    EXPECT_FALSE(info.IsCorrupt());
    EXPECT_EQ(sim_->InstalledFirmware(), payload);
}

TEST_F(SimControllerTest, WithAnExpectedFirmwareOnlyThatPayloadIsInstalled)
{
    // Two whole blocks are the expected firmware; the same length with a block stored twice is not.
    TSimOptions o = Quick();
    o.BlockSize = 16;
    o.StartInBootloader = true;
    const TByteString a = Payload(16), b(16, 0xEE);
    o.ExpectedFirmware = a;
    o.ExpectedFirmware.insert(o.ExpectedFirmware.end(), b.begin(), b.end());
    Begin(o);
    Exchange(FirmwareTransferStartRequest());
    Exchange(Block(a));
    Exchange(Block(a));
    Exchange(RestartRequest());
    WaitBoot();
    EXPECT_TRUE(Info().IsCorrupt());
    EXPECT_TRUE(sim_->InBootloader());
    Exchange(FirmwareTransferStartRequest());
    Exchange(Block(a));
    Exchange(Block(b));
    Exchange(RestartRequest());
    WaitBoot();
    EXPECT_TRUE(Info().ApplicationRuns());
    EXPECT_EQ(sim_->InstalledFirmware(), o.ExpectedFirmware);
}

class SimDuplicateTest : public SimControllerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SimDuplicateTest, ResentBlockAfterALostReplyIsDetected)
{
    TSimOptions o = Quick();
    o.StartInBootloader = true;
    o.DropEvery = 3;
    o.Dedupe = GetParam();
    Begin(o);
    const TByteString a = Payload(8), b(8, 0xEE);
    Exchange(FirmwareTransferStartRequest()); // reply 1
    Exchange(Block(b));                       // reply 2
    ExpectNoReply(Block(b));                  // reply 3 is dropped: the block is stored...
    Exchange(Block(b));                       // ...and the configurator sends it again (reply 4)
    Exchange(Block(a));                       // reply 5
    ExpectNoReply(Block(a));                  // the same data again, but not a resend; reply 6 dropped
    Exchange(Block(b));                       // a different block is no resend
    EXPECT_EQ(sim_->DuplicateBlocks(), 1u);
    EXPECT_EQ(sim_->RepliesDropped(), 2u);

    TByteString expected = b;
    expected.insert(expected.end(), b.begin(), b.end());
    if (!GetParam())
        expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), a.begin(), a.end());
    expected.insert(expected.end(), a.begin(), a.end());
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(sim_->ReceivedFirmware(), expected);
}

INSTANTIATE_TEST_SUITE_P(AppendOrDedupe, SimDuplicateTest, ::testing::Bool());

TEST_F(SimControllerTest, GarbageAndPacketsForOtherNodesAreSkipped)
{
    Begin(Quick());
    TByteString bytes = {0x00, 0x55, 0x13, 0xFF, 0x55, 0x05, 0x01, 0x08, 0x0C, 0x00, 0x00, 0x00, 0x01, 0x02};
    const TByteString other = Wire(VentingToggleRequest(3));
    bytes.insert(bytes.end(), other.begin(), other.end());
    bytes.push_back(0x55); // a lone start byte before the real request
    const TByteString request = Wire(StatusRequest());
    bytes.insert(bytes.end(), request.begin(), request.end());
    // Delivered in two pieces, the second starting inside the request.
    const std::size_t cut = bytes.size() - 4;
    Write(TByteString(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Write(TByteString(bytes.begin() + std::ptrdiff_t(cut), bytes.end()));

    auto reply = Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->GetHeader()->GetCode(), dcStatus);
    EXPECT_FALSE(Receive(100));
    EXPECT_FALSE(sim_->Venting());
    EXPECT_EQ(sim_->RepliesSent(), 1u);
}

TEST_F(SimControllerTest, GarbledReplyFailsItsChecksum)
{
    TSimOptions o = Quick();
    o.GarbleEvery = 2;
    Begin(o);
    Exchange(StatusRequest());
    Write(Wire(StatusRequest()));
    EXPECT_FALSE(Receive(200));
    // The whole reply came, but its 8-bit sum is no longer 0.
    ASSERT_EQ(in_.size(), 14u);
    EXPECT_NE(ByteSum8(in_.data(), 14), 0);
}

TEST_F(SimControllerTest, HangsUpAfterTheGivenNumberOfBytes)
{
    TSimOptions o = Quick();
    o.HangupAfter = 15;
    Begin(o);
    Exchange(StatusRequest()); // 10 bytes
    Write(TByteString(5, 0));  // 15: the line goes
    pollfd p{line_.Get(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, ReplyWaitMs), 1);
    EXPECT_TRUE(p.revents & (POLLHUP | POLLERR));
    u8 byte;
    errno = 0;
    const ssize_t n = ::read(line_.Get(), &byte, 1);
    EXPECT_TRUE(n == 0 || (n < 0 && errno == EIO)) << n << " " << errno; // end of file or EIO
    pollfd ended{sim_->EndedFd(), POLLIN, 0};
    EXPECT_EQ(poll(&ended, 1, ReplyWaitMs), 1);
    EXPECT_TRUE(sim_->HungUp());
}

TEST_F(SimControllerTest, PacedRepliesTakeAtLeastTheLineTime)
{
    TSimOptions o = Quick();
    o.Baud = 9600;
    o.ReplyDelayMs = 10;
    Begin(o);
    const auto start = Clock::now();
    const TByteString info = Exchange(DeviceInfoRequest());
    const auto elapsed = Clock::now() - start;
    ASSERT_EQ(info.size(), 55u);
    // Request 10 bytes and reply 65 bytes at 11 bits each, plus the reply delay.
    const auto lineTime = std::chrono::microseconds((10 + 65) * 11 * 1'000'000LL / 9600 + 10'000);
    EXPECT_GE(elapsed, lineTime);
}

} // namespace
} // namespace fk
