// The tool's device commands run in-process against the simulated controller, and once
// through the real `ferrovan` program.
#include "PortHoldingProcess.h"
#include "cli/DeviceCommand.h"
#include "cli/Tool.h"
#include "ports/SerialPort.h"
#include "ports/PortLock.h"
#include "sim/SimController.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QProcess>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fk {
namespace {

class DeviceCommandTest : public ::testing::Test {
protected:
    void StartSim(const TSimOptions& options = {})
    {
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

    std::string Port() const { return sim_->PortPath(); }

    TSimLog log_;
    std::unique_ptr<TSimController> sim_;
    std::ostringstream out_, err_;
};

TEST_F(DeviceCommandTest, InfoDescribesTheDevice)
{
    StartSim();
    ASSERT_EQ(Run({"info", Port()}), exitOk) << err_.str();
    EXPECT_NE(out_.str().find("Serial number:      FK-SIM-0001"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("Firmware version:   1.2.0"), std::string::npos);
    // The device keeps the break time in tens of seconds.
    EXPECT_NE(out_.str().find("Break time:         50 s (5 x 10 s), range 10..300 s\n"), std::string::npos)
        << out_.str();

    ASSERT_EQ(Run({"info", Port(), "--json"}), exitOk) << err_.str();
    EXPECT_EQ(out_.str(), "{\"port\":\"" + Port()
                  + "\",\"state\":\"connected\",\"identifier\":393217,\"model\":6,\"serial_number\":\"FK-SIM-0001\","
                    "\"firmware_version\":\"1.2.0\",\"build_date\":\"2024-05-17\",\"info\":\"Ferrovan-Kest simulator\","
                    "\"run_mode\":\"application\",\"firmware_corrupted\":false,\"block_size\":256,\"block_count\":256,"
                    "\"open_time\":20,\"break_time\":5,\"break_time_seconds\":50,\"break_time_range\":[1,30],"
                    "\"break_time_range_seconds\":[10,300]}\n");
}

TEST_F(DeviceCommandTest, SetWritesReadsBackAndRefusesOutOfRangeValues)
{
    TSimOptions o;
    o.Version[1] = 1; // break time 30..90
    o.BreakTime = 45;
    StartSim(o);
    ASSERT_EQ(Run({"set", Port(), "--open-time", "25", "--break-time", "60", "--json"}), exitOk) << err_.str();
    EXPECT_NE(out_.str().find("\"open_time\":25,\"break_time\":60,\"break_time_seconds\":600,"
                              "\"break_time_range\":[30,90],\"break_time_range_seconds\":[300,900]}"),
              std::string::npos)
        << out_.str();
    EXPECT_EQ(sim_->Parameters().OpenTime(), 25);
    EXPECT_EQ(sim_->Parameters().BreakTime(), 60);

    // Refused before anything is written: outside 10..50, and outside this device's range.
    const unsigned replies = sim_->RepliesSent();
    EXPECT_EQ(Run({"set", Port(), "--open-time", "51"}), exitUsage);
    EXPECT_EQ(sim_->RepliesSent(), replies);
    EXPECT_EQ(Run({"set", Port(), "--open-time", "30", "--break-time", "20"}), exitUsage);
    EXPECT_NE(err_.str().find("30..90 (300..900 s)"), std::string::npos) << err_.str();
    EXPECT_EQ(sim_->Parameters().OpenTime(), 25);
    EXPECT_EQ(sim_->Parameters().BreakTime(), 60);
}

TEST_F(DeviceCommandTest, VentAndReboot)
{
    StartSim();
    ASSERT_EQ(Run({"vent", Port()}), exitOk) << err_.str();
    EXPECT_TRUE(sim_->Venting());
    ASSERT_EQ(Run({"reboot", Port()}), exitOk) << err_.str();
    EXPECT_EQ(out_.str(), "Device restarting.\n");
}

TEST_F(DeviceCommandTest, DeviceFailuresExitWithOne)
{
    EXPECT_EQ(Run({"info", "/dev/ttyFERROVAN-none", "--timeout", "30"}), exitFailed);
    EXPECT_EQ(err_.str(), "ferrovan info: /dev/ttyFERROVAN-none: Port inactive (The device or file was not found.)\n");
    EXPECT_NE(err_.str().find("Port inactive"), std::string::npos) << err_.str();

    TSimOptions other;
    other.Identifier = 0x00070001;
    StartSim(other);
    EXPECT_EQ(Run({"info", Port(), "--json"}), exitFailed);
    EXPECT_NE(err_.str().find(": Device not supported"), std::string::npos) << err_.str();
    EXPECT_NE(out_.str().find("\"state\":\"identifying\""), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("\"open_time\":null"), std::string::npos);
    EXPECT_EQ(Run({"vent", Port()}), exitFailed);
    EXPECT_FALSE(sim_->Venting());

    TSimOptions silent;
    silent.Support = 2;
    StartSim(silent);
    EXPECT_EQ(Run({"info", Port(), "--timeout", "0.5"}), exitFailed);
    EXPECT_NE(err_.str().find("Device not connected. The device answered, but not as a device this program supports."),
              std::string::npos)
        << err_.str();
}

TEST_F(DeviceCommandTest, FirmwareWithoutParametersEndsAtOnceAndSaysWhatIsMissing)
{
    // Second version number 0: the session takes no parameters and never connects the device.
    // Without an end of its own, info would wait out the whole time-out.
    TSimOptions o;
    o.Version[1] = 0;
    StartSim(o);
    ASSERT_EQ(Run({"info", Port(), "--timeout", "5", "--json"}), exitFailed);
    EXPECT_NE(out_.str().find("\"state\":\"identifying\""), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("\"serial_number\":\"FK-SIM-0001\",\"firmware_version\":\"1.0.0\""), std::string::npos);
    EXPECT_NE(out_.str().find("\"open_time\":null,\"break_time\":null,\"break_time_seconds\":null"), std::string::npos);
    EXPECT_NE(err_.str().find("Firmware 1.0.0 gives no parameters"), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("the open and break times were not read"), std::string::npos);

    EXPECT_EQ(Run({"set", Port(), "--open-time", "30", "--timeout", "5"}), exitFailed);
    EXPECT_NE(err_.str().find("cannot be set"), std::string::npos) << err_.str();
    EXPECT_EQ(sim_->Parameters().OpenTime(), 20);
    EXPECT_EQ(Run({"vent", Port(), "--timeout", "5"}), exitFailed);
    EXPECT_FALSE(sim_->Venting());
    // Reboot is offered for an identified device.
    EXPECT_EQ(Run({"reboot", Port(), "--timeout", "5"}), exitOk) << err_.str();
}

TEST_F(DeviceCommandTest, ADeviceThatBootsSlowlyIsWaitedFor)
{
    // Found in its bootloader, restarted, and silent for a second: longer than the session's
    // resend and give-up, so it shows "Connection lost" once and then identifies the device.
    TSimOptions o;
    o.StartInBootloader = true;
    o.BootTimeMs = 1000;
    StartSim(o);
    ASSERT_EQ(Run({"info", Port(), "--json"}), exitOk) << err_.str();
    EXPECT_NE(out_.str().find("\"state\":\"connected\""), std::string::npos) << out_.str();
    EXPECT_FALSE(sim_->InBootloader());
}

TEST_F(DeviceCommandTest, DeviceTextsAreDecodedAndNeverReachTheTerminalRaw)
{
    TSimOptions o;
    o.SerialNumber = "\x1B[2J\x1B]0;pwned\x07SN";
    o.InfoText = "\xB3\xF3" "d\x9F \\ \x81";
    StartSim(o);
    out_.str({});
    err_.str({});
    TTool tool(out_, err_);
    tool.SetCodePage(1250);
    ASSERT_EQ(tool.Run({"info", Port(), "--json"}), exitOk) << err_.str();
    const std::string json = out_.str();
    EXPECT_NE(json.find("\"serial_number\":\"\\u001b[2J\\u001b]0;pwned\\u0007SN\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"info\":\"łódź \\\\ \\u0081\""), std::string::npos) << json;
    QJsonParseError error{};
    QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;

    out_.str({});
    ASSERT_EQ(tool.Run({"info", Port()}), exitOk) << err_.str();
    const std::string text = out_.str();
    EXPECT_EQ(text.find('\x1B'), std::string::npos) << text;
    EXPECT_EQ(text.find('\x07'), std::string::npos) << text;
    EXPECT_NE(text.find("Serial number:      \\e[2J\\e]0;pwned\\x07SN\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Info:               łódź \\\\ \\u0081\n"), std::string::npos) << text;

    // Another language, another code page: the same bytes in 1252.
    out_.str({});
    tool.SetCodePage(1252);
    ASSERT_EQ(tool.Run({"info", Port(), "--json"}), exitOk) << err_.str();
    EXPECT_NE(out_.str().find("\"info\":\"³ódŸ"), std::string::npos) << out_.str();
}

TEST_F(DeviceCommandTest, AStaleLockFileOfAnotherUserIsNamed)
{
    const String folder = TPortLock::DefaultDirectory();
    if (folder.empty())
        GTEST_SKIP() << "no lock folder on this system";
    StartSim();
    // A lock entry in the shared folder that nobody can remove (a folder), of no running program.
    const String lockFile = TPortLock::LockFilePath(folder, Port());
    ASSERT_EQ(::mkdir(lockFile.c_str(), 0755), 0) << lockFile;
    const int code = Run({"info", Port(), "--timeout", "3"});
    ::rmdir(lockFile.c_str());
    EXPECT_EQ(code, exitFailed);
    EXPECT_NE(err_.str().find("a stale lock file of another user blocks the port: " + lockFile), std::string::npos)
        << err_.str();
    EXPECT_EQ(err_.str().find("in use"), std::string::npos) << err_.str();
}

TEST_F(DeviceCommandTest, APortInUseNamesItsHolderAndWhatToDo)
{
    StartSim();
    {
        test::PortHoldingProcess tool(Port(), "ferrovan");
        ASSERT_TRUE(tool.Held());
        EXPECT_EQ(Run({"info", Port(), "--timeout", "20"}), exitFailed); // after the open's 5 s of retries
        EXPECT_NE(err_.str().find("Port already in use: The port is held by the ferrovan command-line tool (process "
                                  + std::to_string(tool.Pid()) + ")."),
                  std::string::npos)
            << err_.str();
    }
    test::PortHoldingProcess mm(Port(), "ModemManager");
    ASSERT_TRUE(mm.Held());
    EXPECT_EQ(Run({"info", Port(), "--timeout", "20"}), exitFailed);
    EXPECT_NE(err_.str().find("Port already in use: ModemManager (process " + std::to_string(mm.Pid())
                              + ") is probing the port"),
              std::string::npos)
        << err_.str();
    EXPECT_NE(err_.str().find("ID_MM_DEVICE_IGNORE"), std::string::npos) << err_.str();
}

TEST_F(DeviceCommandTest, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(Run({"info"}), exitUsage);
    EXPECT_EQ(Run({"info", "a", "b"}), exitUsage);
    EXPECT_EQ(Run({"info", "/dev/null", "--open-time", "20"}), exitUsage);
    EXPECT_EQ(Run({"set", "/dev/null"}), exitUsage);
    EXPECT_EQ(Run({"set", "/dev/null", "--break-time", "0"}), exitUsage);
    EXPECT_EQ(Run({"vent", "/dev/null", "--timeout", "-1"}), exitUsage);
    EXPECT_EQ(Run({"bogus"}), exitUsage);
}

TEST_F(DeviceCommandTest, RealProgramSetsTheOpenTime)
{
    StartSim();
    QProcess p;
    p.start(FK_FERROVAN_PATH, {"set", QString::fromStdString(Port()), "--open-time", "42"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), exitOk) << p.readAllStandardError().toStdString();
    EXPECT_NE(p.readAllStandardOutput().toStdString().find("Open time:          42 ms"), std::string::npos);
    EXPECT_EQ(sim_->Parameters().OpenTime(), 42);
}

// What is surely no serial line is refused at once with what it is; "module:" without an
// address is wrong usage.
TEST_F(DeviceCommandTest, OddPortsAreRefusedWithWhatTheyAre)
{
    for (const char* node : {"/dev/null", "/dev/zero", "/dev/full"}) {
        EXPECT_EQ(Run({"info", node, "--timeout", "1"}), exitFailed) << node;
        EXPECT_NE(err_.str().find("not a serial device (it is a memory device"), std::string::npos) << err_.str();
    }
    EXPECT_EQ(Run({"info", "/dev/ptmx", "--timeout", "1"}), exitFailed);
    EXPECT_NE(err_.str().find("not a serial device (it is the pseudo-terminal multiplexer"), std::string::npos);
    QTemporaryDir dir;
    const std::string socketPath = dir.filePath(QStringLiteral("s")).toStdString();
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(Run({"vent", socketPath, "--timeout", "5"}), exitFailed);
    EXPECT_EQ(err_.str(), "ferrovan vent: " + socketPath + ": not a serial device (it is a socket)\n");
    ::close(s);
    EXPECT_EQ(Run({"info", "module:"}), exitUsage);
    EXPECT_EQ(err_.str(), "ferrovan info: module:: give the module's address after \"module:\" (module:ADDRESS)\n");
}

// A short time-out still ends with the reason the open failed (here: in use, by whom), not
// with a silent device.
TEST_F(DeviceCommandTest, AShortTimeOutGivesTheRealReasonTheOpenFailed)
{
    StartSim();
    test::PortHoldingProcess holder(Port(), "picocom");
    ASSERT_TRUE(holder.Held());
    EXPECT_EQ(Run({"info", Port(), "--timeout", "2"}), exitFailed);
    EXPECT_NE(err_.str().find("Port already in use: The port is held by picocom (process " + std::to_string(holder.Pid())),
              std::string::npos)
        << err_.str();
    EXPECT_EQ(TDeviceCommand::OpenRetryTime(1), 700u);
    EXPECT_EQ(TDeviceCommand::OpenRetryTime(60), TSerialPort::OpenTimeOut);
}

// A program that opened the port before us without a lock (cat) may take the replies: the
// silent device's message names it.
TEST_F(DeviceCommandTest, AnotherReaderOfThePortIsNamedWhenRepliesGoMissing)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t cat = ::fork();
    if (cat == 0) {
        ::prctl(PR_SET_NAME, "cat");
        const int fd = ::open(slave.c_str(), O_RDONLY | O_NOCTTY);
        (void)!::write(ready[1], fd >= 0 ? "r" : "x", 1);
        for (;;)
            ::pause();
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, 'r');
    EXPECT_EQ(Run({"info", slave, "--timeout", "1"}), exitFailed);
    EXPECT_NE(err_.str().find("The device did not answer. cat (process " + std::to_string(cat)
                              + ") also has this port open and may be taking the replies."),
              std::string::npos)
        << err_.str();
    ::kill(cat, SIGKILL);
    ::waitpid(cat, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ::close(master);
}

} // namespace
} // namespace fk
