// The tool's image commands and `ferrovan flash`, in-process against the simulated controller,
// and Ctrl-C through the real program.
#include "cli/Tool.h"
#include "session/FirmwareImage.h"
#include "sim/SimController.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace fk {
namespace {

class FlashTest : public ::testing::Test {
protected:
    void StartSim(TSimOptions options = {}, unsigned bootTimeMs = 20)
    {
        options.BlockSize = 16;
        options.BlockCount = 64;
        options.BootTimeMs = bootTimeMs;
        sim_ = std::make_unique<TSimController>(options, log_);
        ASSERT_TRUE(sim_->OpenPseudoTerminal());
        ASSERT_TRUE(sim_->Start());
    }

    int Run(std::vector<std::string> args)
    {
        out_.str({});
        err_.str({});
        TTool tool(out_, err_);
        return tool.Run(args);
    }

    std::string Path(const char* name) const { return dir_.filePath(name).toStdString(); }

    std::string WritePayload(const TByteString& bytes)
    {
        std::ofstream(Path("payload.bin"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return Path("payload.bin");
    }

    // make-image through the tool.
    std::string MakeImage(const TByteString& payload, const char* id = "0x00060001")
    {
        EXPECT_EQ(Run({"make-image", "--id", id, "--payload", WritePayload(payload), "--out", Path("fw.img")}), exitOk)
            << err_.str();
        return Path("fw.img");
    }

    static TByteString Payload(std::size_t n)
    {
        TByteString p(n);
        for (std::size_t i = 0; i < n; ++i)
            p[i] = static_cast<u8>(i * 13 + 5);
        return p;
    }

    void ExpectSignalAbortsAndRestarts(int sig);

    QTemporaryDir dir_;
    TSimLog log_;
    std::unique_ptr<TSimController> sim_;
    std::ostringstream out_, err_;
};

TEST_F(FlashTest, MakeImageAndImageInfoRoundTrip)
{
    const std::string image = MakeImage(Payload(100), "393217");
    ASSERT_EQ(Run({"image-info", image, "--json"}), exitOk) << err_.str();
    EXPECT_EQ(out_.str(), "{\"size\":175,\"identifier\":393217,\"model\":6,\"payload_bytes\":100,\"digest_ok\":true}\n");
    ASSERT_EQ(Run({"image-info", image}), exitOk);
    EXPECT_NE(out_.str().find("Identifier:   0x00060001"), std::string::npos) << out_.str();
    TByteString loaded;
    ASSERT_TRUE(TFirmwareImage::Load(image, loaded, nullptr));
    EXPECT_EQ(TByteString(loaded.begin() + 59, loaded.end() - 16), Payload(100));

    // One changed payload byte: described, but the digest is wrong and the exit status 1.
    {
        std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(70);
        f.put('\x7F');
    }
    EXPECT_EQ(Run({"image-info", image, "--json"}), exitFailed);
    EXPECT_NE(out_.str().find("\"digest_ok\":false"), std::string::npos) << out_.str();
    EXPECT_NE(err_.str().find("Invalid firmware file."), std::string::npos);
    // Too short to be an image, or missing.
    std::ofstream(Path("short.img")) << "not an image";
    EXPECT_EQ(Run({"image-info", Path("short.img")}), exitFailed);
    EXPECT_NE(err_.str().find("Invalid firmware file."), std::string::npos);
    EXPECT_TRUE(out_.str().empty());
    EXPECT_EQ(Run({"image-info", Path("none.img")}), exitFailed);
}

TEST_F(FlashTest, UsageErrors)
{
    const std::string payload = WritePayload(Payload(4));
    EXPECT_EQ(Run({"image-info"}), exitUsage);
    EXPECT_EQ(Run({"image-info", "a", "b"}), exitUsage);
    EXPECT_EQ(Run({"make-image", "--payload", payload, "--out", Path("x.img")}), exitUsage);
    EXPECT_EQ(Run({"make-image", "--id", "0x1FFFFFFFF", "--payload", payload, "--out", Path("x.img")}), exitUsage);
    EXPECT_EQ(Run({"make-image", "--id", "-1", "--payload", payload, "--out", Path("x.img")}), exitUsage);
    EXPECT_EQ(Run({"make-image", "--id", "12", "--payload", WritePayload({}), "--out", Path("x.img")}), exitFailed);
    EXPECT_NE(err_.str().find("empty"), std::string::npos);
    EXPECT_EQ(Run({"flash", "/dev/null"}), exitUsage);
    EXPECT_EQ(Run({"flash", "/dev/null", "a.img", "b"}), exitUsage);
    EXPECT_EQ(Run({"flash", "/dev/null", "a.img", "--timeout", "0"}), exitUsage);
}

TEST_F(FlashTest, FlashInstallsThePayloadAndReportsTransferRestarts)
{
    StartSim();
    const TByteString payload = Payload(200);
    const std::string image = MakeImage(payload);
    ASSERT_EQ(Run({"flash", sim_->PortPath(), image}), exitOk) << err_.str();
    EXPECT_EQ(sim_->InstalledFirmware(), payload);
    EXPECT_NE(out_.str().find("Uploading: 100% (200 of 200 bytes)\nFirmware uploaded: 200 bytes in 13 blocks"),
              std::string::npos)
        << out_.str();
    EXPECT_EQ(out_.str().find("started over"), std::string::npos);

    // Lost block replies: the transfer starts over each time, the firmware is installed whole,
    // and the result says how many restarts it took.
    TSimOptions lossy;
    lossy.DropBlockReply = 3;
    StartSim(lossy);
    ASSERT_EQ(Run({"flash", sim_->PortPath(), image, "--json"}), exitOk) << err_.str();
    EXPECT_EQ(out_.str().rfind("{\"result\":\"ok\",\"payload_bytes\":200,\"blocks\":13,\"seconds\":", 0), 0u)
        << out_.str();
    EXPECT_NE(out_.str().find("\"transfer_restarts\":1}"), std::string::npos) << out_.str();
    EXPECT_EQ(sim_->InstalledFirmware(), payload);
    EXPECT_EQ(sim_->DuplicateBlocks(), 0u);
    lossy.DropBlockReply = 13;
    lossy.DropBlockReplies = 2;
    StartSim(lossy);
    ASSERT_EQ(Run({"flash", sim_->PortPath(), image}), exitOk) << err_.str();
    EXPECT_NE(out_.str().find("The transfer was started over 2 times after a lost reply."), std::string::npos)
        << out_.str();
    EXPECT_EQ(sim_->InstalledFirmware(), payload);
}

TEST_F(FlashTest, FailuresPrintTheMessageAndExitWithOne)
{
    const std::string image = MakeImage(Payload(64));
    StartSim();
    // A bad file never reaches the port.
    std::ofstream(Path("bad.img")) << "short";
    EXPECT_EQ(Run({"flash", sim_->PortPath(), Path("bad.img"), "--json"}), exitFailed);
    EXPECT_EQ(out_.str().rfind("{\"result\":\"error\",\"message\":\"" + Path("bad.img") + ": Invalid firmware file. (", 0),
              0u)
        << out_.str();
    EXPECT_EQ(sim_->RepliesSent(), 0u);
    // A missing file is named with the reason, as image-info names it; the port is not blamed.
    EXPECT_EQ(Run({"flash", sim_->PortPath(), Path("none.img")}), exitFailed);
    EXPECT_EQ(err_.str(),
              "ferrovan flash: " + Path("none.img") + ": Invalid firmware file. (The device or file was not found.)\n");
    Run({"image-info", Path("none.img")});
    EXPECT_EQ(err_.str(),
              "ferrovan image-info: " + Path("none.img") + ": Invalid firmware file. (The device or file was not found.)\n");
    EXPECT_EQ(sim_->RepliesSent(), 0u);
    // A missing port gives the message info gives.
    EXPECT_EQ(Run({"flash", "/dev/ttyFERROVAN-none", image}), exitFailed);
    EXPECT_EQ(err_.str(), "ferrovan flash: /dev/ttyFERROVAN-none: Port inactive (The device or file was not found.)\n");
    // An image for another device is dropped at the bootloader; the device is restarted.
    const std::string other = MakeImage(Payload(64), "0x00070001");
    EXPECT_EQ(Run({"flash", sim_->PortPath(), other}), exitFailed);
    EXPECT_NE(err_.str().find("The firmware does not match connected device."), std::string::npos) << err_.str();
    EXPECT_TRUE(sim_->InstalledFirmware().empty());

    TSimOptions refuse;
    refuse.RefuseBootloader = true;
    StartSim(refuse);
    EXPECT_EQ(Run({"flash", sim_->PortPath(), image}), exitFailed);
    EXPECT_NE(err_.str().find("Can't return to bootloader"), std::string::npos) << err_.str();

    // The whole image went over, but the new firmware does not start: told as a failed upload
    // with what to do, not as a corrupted device.
    TSimOptions stay;
    stay.StayInBootloader = true;
    StartSim(stay);
    EXPECT_EQ(Run({"flash", sim_->PortPath(), MakeImage(Payload(64))}), exitFailed);
    EXPECT_EQ(err_.str(), "ferrovan flash: " + sim_->PortPath()
                              + ": The new firmware did not start. The device stays in its bootloader. Upload the "
                                "firmware again, or choose another image.\n");
    EXPECT_TRUE(sim_->InBootloader());

    // A fourth lost block reply: the transfer is not started over again, and the device is
    // left in its bootloader without an application.
    TSimOptions lossy;
    lossy.DropBlockReply = 2;
    lossy.DropBlockReplies = 4;
    StartSim(lossy);
    EXPECT_EQ(Run({"flash", sim_->PortPath(), MakeImage(Payload(64)), "--json"}), exitFailed);
    EXPECT_EQ(out_.str(), "{\"result\":\"error\",\"message\":\"Connection lost after the transfer was started over 3 "
                          "times. The device is left in its bootloader without an application: flash the firmware "
                          "again.\"}\n");
    EXPECT_TRUE(sim_->InstalledFirmware().empty());

    // A device that answers, but not as a controller this program supports, is named as such.
    TSimOptions unsupported;
    unsupported.Support = 2;
    StartSim(unsupported);
    EXPECT_EQ(Run({"flash", sim_->PortPath(), image, "--timeout", "60"}), exitFailed);
    EXPECT_EQ(err_.str(), "ferrovan flash: " + sim_->PortPath()
                              + ": Device not connected. The device answered, but not as a device this program "
                                "supports.\n");
}

TEST_F(FlashTest, ADeviceSlowToEnterItsBootloaderIsFlashedWithinTheTimeOut)
{
    StartSim({}, 400);
    ASSERT_EQ(Run({"flash", sim_->PortPath(), MakeImage(Payload(40)), "--timeout", "5"}), exitOk) << err_.str();
    EXPECT_EQ(sim_->InstalledFirmware(), Payload(40));
}

TEST_F(FlashTest, AHangUpDuringTheTransferSaysThePortWasLost)
{
    TSimOptions o;
    o.HangupAfter = 200; // a few blocks into the transfer
    StartSim(o);
    EXPECT_EQ(Run({"flash", sim_->PortPath(), MakeImage(Payload(400))}), exitFailed);
    EXPECT_NE(err_.str().find(": Connection lost: the port was lost"), std::string::npos) << err_.str();
    EXPECT_EQ(err_.str().find("restarted"), std::string::npos) << err_.str();
    EXPECT_TRUE(sim_->HungUp());
}

TEST_F(FlashTest, TheNewApplicationEndsTheCommandWhateverItsVersion)
{
    // Firmware whose second version number is 0 is never connected by the session, and its
    // keep-alive replies must not hold the command open: answering in its application with the
    // image's identifier is success. Run as a program so that a command that never ends fails.
    TSimOptions o;
    o.Version[1] = 0;
    StartSim(o);
    QProcess p;
    p.start(FK_FERROVAN_PATH,
            {"flash", QString::fromStdString(sim_->PortPath()), QString::fromStdString(MakeImage(Payload(40))), "--json",
             "--timeout", "3"});
    const bool ended = p.waitForFinished(15000);
    if (!ended) {
        p.kill();
        p.waitForFinished();
    }
    ASSERT_TRUE(ended) << "flash did not end";
    EXPECT_EQ(p.exitCode(), exitOk) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(p.readAllStandardOutput().startsWith("{\"result\":\"ok\""));
    EXPECT_EQ(sim_->InstalledFirmware(), Payload(40));
}

TEST_F(FlashTest, ANewApplicationThatStartsSlowlyIsWaitedFor)
{
    // The device is silent for a second after each restart: the session gives it up once
    // ("Connection lost") while the new application starts, and finds it again.
    TSimOptions o;
    o.StartInBootloader = true;
    StartSim(o, 1000);
    ASSERT_EQ(Run({"flash", sim_->PortPath(), MakeImage(Payload(40))}), exitOk) << err_.str();
    EXPECT_EQ(sim_->InstalledFirmware(), Payload(40));
    EXPECT_FALSE(sim_->InBootloader());
}

// Sends sig to `ferrovan flash` in the middle of a slow transfer: the upload is aborted and the
// device restarted.
void FlashTest::ExpectSignalAbortsAndRestarts(int sig)
{
    TSimOptions slow;
    slow.Baud = 9600; // about 50 ms a block: the upload takes seconds
    StartSim(slow);
    const std::string image = MakeImage(Payload(1000));
    QProcess p;
    p.start(FK_FERROVAN_PATH, {"flash", QString::fromStdString(sim_->PortPath()), QString::fromStdString(image)});
    ASSERT_TRUE(p.waitForStarted());
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains("Uploading: 1") && t.elapsed() < 20000 && p.state() == QProcess::Running) {
        p.waitForReadyRead(100);
        out += p.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains("Uploading: 1")) << out.toStdString();
    ::kill(static_cast<pid_t>(p.processId()), sig);
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), exitFailed);
    EXPECT_NE(p.readAllStandardError().toStdString().find("Upload aborted; the device was restarted."),
              std::string::npos);
    // The restart comes back in the bootloader: the partial firmware is never run.
    t.restart();
    while (t.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(sim_->InBootloader());
    EXPECT_TRUE(sim_->FirmwareCorrupt());
    EXPECT_TRUE(sim_->InstalledFirmware().empty());
}

TEST_F(FlashTest, CtrlCAbortsAndRestartsTheDevice) { ExpectSignalAbortsAndRestarts(SIGINT); }

TEST_F(FlashTest, AHangUpAbortsAndRestartsTheDeviceAsCtrlCDoes) { ExpectSignalAbortsAndRestarts(SIGHUP); }

TEST_F(FlashTest, AClosedOutputNeitherStopsTheUploadNorPassesForSuccess)
{
    TSimOptions slow;
    slow.Baud = 9600;
    StartSim(slow);
    const TByteString payload = Payload(410); // ends on a part block: taken as complete
    const std::string image = MakeImage(payload);
    // The reader is gone before the first line is written (as `| head -1` is after its line);
    // the tool's own status is reported apart.
    QProcess p;
    p.start("bash", {"-c", "\"$0\" flash \"$1\" \"$2\" | true; echo \"status=${PIPESTATUS[0]}\" >&2",
                     FK_FERROVAN_PATH, QString::fromStdString(sim_->PortPath()), QString::fromStdString(image)});
    ASSERT_TRUE(p.waitForFinished(30000));
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_NE(err.find("status=1\n"), std::string::npos) << err;
    EXPECT_NE(err.find("the output could not be written"), std::string::npos) << err;
    // The device installs and starts the image after its last reply: wait for that, a loaded
    // machine may take a while.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000 && (sim_->InstalledFirmware() != payload || sim_->InBootloader()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(sim_->InstalledFirmware(), payload);
    EXPECT_FALSE(sim_->InBootloader());
}

TEST_F(FlashTest, ResultsThatCannotBeWrittenFailTheCommand)
{
    // A full device of our own (the machine may lack /dev/full).
    const std::string full = Path("full");
    if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "cannot make a device node here (" << std::strerror(errno) << ")";
    const std::string image = MakeImage(Payload(10));
    QProcess info;
    info.setStandardOutputFile(QString::fromStdString(full));
    info.start(FK_FERROVAN_PATH, {"image-info", QString::fromStdString(image)});
    ASSERT_TRUE(info.waitForFinished(20000));
    EXPECT_EQ(info.exitCode(), exitFailed);
    EXPECT_NE(info.readAllStandardError().toStdString().find("the output could not be written (No space left"),
              std::string::npos);
    EXPECT_EQ(Run({"make-image", "--id", "1", "--payload", WritePayload(Payload(10)), "--out", full}), exitFailed);
    EXPECT_NE(err_.str().find("cannot be written"), std::string::npos) << err_.str();
    struct stat st {};
    EXPECT_EQ(::stat(full.c_str(), &st), 0); // a device node is never removed
}

TEST_F(FlashTest, FoldersAndRegularFilesAreNamedForWhatTheyAre)
{
    const std::string image = MakeImage(Payload(10));
    EXPECT_EQ(Run({"info", dir_.path().toStdString()}), exitFailed);
    EXPECT_NE(err_.str().find("not a serial device (it is a folder)"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"flash", image, image}), exitFailed);
    EXPECT_NE(err_.str().find("not a serial device (it is a regular file)"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"make-image", "--id", "1", "--payload", dir_.path().toStdString(), "--out", Path("x.img")}),
              exitFailed);
    EXPECT_NE(err_.str().find("is a folder"), std::string::npos) << err_.str();
}

TEST_F(FlashTest, ImageInfoReadsAnyImageInBoundedMemory)
{
    const std::string big = Path("big.img");
    const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(64) << 20), 0); // 64 MiB, nothing written
    ::close(fd);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execl(FK_FERROVAN_PATH, FK_FERROVAN_PATH, "image-info", big.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), exitFailed); // described, but its digest is wrong
    // The program alone takes about 48 MiB here; holding the file would add its 64 MiB.
    EXPECT_LT(usage.ru_maxrss, 96 * 1024) << "KiB";
}

} // namespace
} // namespace fk
