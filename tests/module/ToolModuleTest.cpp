// The tool's module commands against simulated modules.
#include "ModuleTestUtil.h"
#include "cli/Tool.h"
#include "module/UDPServer.h"
#include "sim/SimModule.h"
#include "sim/SimReplay.h"

#include <QTemporaryDir>

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fk::test {
namespace {

class ToolModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        udpPort_ = FreePort();
        tcpPort_ = FreePort();
        TSimModuleOptions o;
        o.UDPPort = udpPort_;
        o.TCPPort = tcpPort_;
        o.AnnounceIntervalMs = 100;
        o.Name = "Boiler \"B\"";
        o.Networks = {{"Yard", -55}};
        module_ = std::make_unique<TSimModule>(o, log_);
        ASSERT_TRUE(module_->Open());
        ASSERT_TRUE(module_->AddController(TSimOptions{}));
        ASSERT_TRUE(module_->Start());
    }

    int Run(std::vector<std::string> args)
    {
        args.insert(args.end(), {"--udp-port", std::to_string(udpPort_), "--module-tcp-port", std::to_string(tcpPort_)});
        out_.str("");
        err_.str("");
        return TTool(out_, err_).Run(args);
    }

    u16 udpPort_ = 0;
    u16 tcpPort_ = 0;
    TSimLog log_;
    std::unique_ptr<TSimModule> module_;
    std::ostringstream out_, err_;
};

TEST_F(ToolModuleTest, ModulesListsConfigurationAndNetworksAsJson)
{
    ASSERT_EQ(Run({"modules", "--listen", "1", "--json"}), exitOk) << err_.str();
    EXPECT_EQ(out_.str(),
              "[{\"ip\":\"127.0.0.2\",\"name\":\"Boiler \\\"B\\\"\",\"version\":\"1.0.0\","
              "\"access_point\":{\"ssid\":\"Workshop\",\"ip\":\"0.0.0.0\"},\"joined\":false,"
              "\"networks\":[{\"ssid\":\"Yard\",\"signal\":-55}]}]\n");
}

TEST_F(ToolModuleTest, AccessPointIsSetAndDeviceCommandsWorkThroughTheModule)
{
    EXPECT_EQ(Run({"module-ap", "127.0.0.2", "--ssid", "a,b"}), exitUsage);
    EXPECT_TRUE(module_->Commands().empty());
    ASSERT_EQ(Run({"module-ap", "127.0.0.2", "--ssid", "Barn", "--password", "p w"}), exitOk) << err_.str();
    EXPECT_EQ(module_->AccessPointSSID(), "Barn");
    EXPECT_EQ(module_->AccessPointPassword(), "p w");
    EXPECT_EQ(Run({"module-ap", "127.0.0.9", "--ssid", "Barn", "--timeout", "2"}), exitFailed); // nobody there

    ASSERT_EQ(Run({"set", "module:127.0.0.2", "--open-time", "41"}), exitOk) << err_.str();
    EXPECT_EQ(module_->Controller()->Parameters().Bytes[0], 41);
    ASSERT_EQ(Run({"info", "module:127.0.0.2", "--json"}), exitOk) << err_.str();
    EXPECT_NE(out_.str().find("FK-SIM-0001"), std::string::npos);
}

TEST_F(ToolModuleTest, AMutedModuleIsNamedAsTheSilentParty)
{
    module_->SetMute(true);
    EXPECT_EQ(Run({"info", "module:127.0.0.2", "--timeout", "1"}), exitFailed);
    EXPECT_EQ(err_.str(), "ferrovan info: module:127.0.0.2: Device not connected. The module 127.0.0.2 did not answer.\n");
}

// flash reaches a controller behind a module as info does, with the module ports given, and
// installs the whole payload; "module:" without an address is wrong usage.
TEST_F(ToolModuleTest, FlashGoesThroughTheModule)
{
    QTemporaryDir dir;
    TByteString payload(4000);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<u8>(i * 7 + 1);
    const std::string bin = dir.filePath(QStringLiteral("app.bin")).toStdString();
    const std::string image = dir.filePath(QStringLiteral("app.img")).toStdString();
    std::ofstream(bin, std::ios::binary).write(reinterpret_cast<const char*>(payload.data()), std::streamsize(payload.size()));
    ASSERT_EQ(TTool(out_, err_).Run({"make-image", "--id", "0x00060001", "--payload", bin, "--out", image}), exitOk);

    ASSERT_EQ(Run({"flash", "module:127.0.0.2", image, "--timeout", "20"}), exitOk) << err_.str();
    EXPECT_NE(out_.str().find("Firmware uploaded: 4000 bytes in 16 blocks"), std::string::npos) << out_.str();
    EXPECT_EQ(module_->Controller()->InstalledFirmware(), payload);
    EXPECT_EQ(module_->Controller()->DuplicateBlocks(), 0u);

    EXPECT_EQ(Run({"flash", "module:", image}), exitUsage);
    EXPECT_NE(err_.str().find("give the module's address"), std::string::npos) << err_.str();
}

TEST_F(ToolModuleTest, ASecondListenerIsRefusedWhileTheFirstKeepsHearingTheModules)
{
    auto first = Make<TKestConnectComm>();
    first->SetUDPPort(udpPort_);
    first->SetTCPPort(tcpPort_);
    ASSERT_TRUE(first->UDPServer()->Active());
    const std::string holder = "UDP port " + std::to_string(udpPort_) + " is in use by "
        + program_invocation_short_name + " (process " + std::to_string(::getpid()) + ")";

    EXPECT_EQ(Run({"modules", "--listen", "0.2"}), exitFailed);
    EXPECT_EQ(err_.str(), "ferrovan modules: " + holder + "\n");
    EXPECT_EQ(Run({"info", "module:127.0.0.2", "--timeout", "3"}), exitFailed);
    EXPECT_NE(err_.str().find(holder), std::string::npos) << err_.str();

    // The first listener still hears the simulated module on its loopback address.
    EXPECT_TRUE(SpinUntil([&] { return first->DeviceList().size() == 1; }));
    first.reset();
    ASSERT_EQ(Run({"modules", "--listen", "1"}), exitOk) << err_.str();
    EXPECT_NE(out_.str().find("127.0.0.2"), std::string::npos);
}

TEST_F(ToolModuleTest, ATraceThroughTheModuleReplaysTheControllerBehindIt)
{
    const std::string path = ::testing::TempDir() + "module-replay.jsonl";
    ASSERT_EQ(Run({"set", "module:127.0.0.2", "--open-time", "33", "--trace", path}), exitOk) << err_.str();
    TSimReplay replay;
    ASSERT_TRUE(replay.Load(path)) << replay.Error();
    TSimOptions o;
    replay.Apply(o);
    EXPECT_EQ(o.SerialNumber.substr(0, 12), std::string("FK-SIM-0001\0", 12));
    ASSERT_EQ(o.ParameterBytes.size(), 32u);
    EXPECT_EQ(o.ParameterBytes[0], 33); // what the controller confirmed
    EXPECT_EQ(o.FirmwareInfoBytes.size(), 43u);
    EXPECT_EQ(o.SilentFrom, 0u);
}

} // namespace
} // namespace fk::test
