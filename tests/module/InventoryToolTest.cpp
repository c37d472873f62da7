// `ferrovan inventory` against simulated modules and a simulated controller on a serial line.
#include "ModuleTestUtil.h"
#include "cli/Tool.h"
#include "sim/SimController.h"
#include "sim/SimModule.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sstream>

namespace fk::test {
namespace {

class InventoryToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        udpPort_ = FreePort();
        tcpPort_ = FreePort();
    }
    // A module at 127.0.0.n whose controller's serial number is PLANT-n; mute: it announces
    // itself and answers nothing.
    void StartModule(int n, bool mute = false)
    {
        TSimModuleOptions o;
        o.Address = "127.0.0." + std::to_string(n);
        o.UDPPort = udpPort_;
        o.TCPPort = tcpPort_;
        o.AnnounceIntervalMs = 100;
        o.Name = "Line " + std::to_string(n);
        o.Mute = mute;
        modules_.push_back(std::make_unique<TSimModule>(o, log_));
        ASSERT_TRUE(modules_.back()->Open());
        TSimOptions c;
        c.SerialNumber = "PLANT-" + std::to_string(n);
        c.OpenTime = static_cast<u8>(10 + n);
        ASSERT_TRUE(modules_.back()->AddController(c));
        ASSERT_TRUE(modules_.back()->Start());
    }
    int Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "inventory");
        args.insert(args.end(), {"--udp-port", std::to_string(udpPort_), "--module-tcp-port", std::to_string(tcpPort_)});
        out_.str("");
        err_.str("");
        return TTool(out_, err_).Run(args);
    }

    u16 udpPort_ = 0;
    u16 tcpPort_ = 0;
    TSimLog log_;
    std::vector<std::unique_ptr<TSimModule>> modules_;
    std::ostringstream out_, err_;
};

TEST_F(InventoryToolTest, EveryControllerHasItsRowAndTheUnreachableOneItsReason)
{
    for (int n = 2; n <= 4; ++n)
        StartModule(n);
    StartModule(5, true);
    TSimOptions bench;
    bench.SerialNumber = "BENCH-1";
    TSimController serial(bench, log_);
    ASSERT_TRUE(serial.OpenPseudoTerminal());
    ASSERT_TRUE(serial.Start());

    ASSERT_EQ(Run({"--listen", "1.5", "--timeout", "3", "--port", serial.PortPath(), "--json"}), exitFailed)
        << err_.str() << out_.str();
    const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(out_.str())).array();
    ASSERT_EQ(rows.size(), 5) << out_.str();
    const QJsonObject first = rows[0].toObject();
    EXPECT_EQ(first["port"].toString().toStdString(), serial.PortPath());
    EXPECT_EQ(first["serial_number"].toString(), "BENCH-1");
    // Each module's row holds its own controller: the datagrams reached the right link.
    for (int n = 2; n <= 4; ++n) {
        const QJsonObject row = rows[n - 1].toObject();
        EXPECT_EQ(row["module"].toString().toStdString(), "127.0.0." + std::to_string(n));
        EXPECT_EQ(row["module_name"].toString().toStdString(), "Line " + std::to_string(n));
        EXPECT_TRUE(row["read"].toBool()) << row["reason"].toString().toStdString();
        EXPECT_EQ(row["serial_number"].toString().toStdString(), "PLANT-" + std::to_string(n));
        EXPECT_EQ(row["open_time"].toInt(), 10 + n);
        EXPECT_EQ(row["firmware_version"].toString(), "1.2.0");
    }
    const QJsonObject mute = rows[4].toObject();
    EXPECT_FALSE(mute["read"].toBool());
    EXPECT_TRUE(mute["serial_number"].isNull());
    EXPECT_EQ(mute["reason"].toString(), "Device not connected. The module 127.0.0.5 did not answer.");
}

TEST_F(InventoryToolTest, AllReadIsSuccessInTextAndCsv)
{
    StartModule(2);
    ASSERT_EQ(Run({"--listen", "1", "--csv"}), exitOk) << err_.str();
    EXPECT_EQ(out_.str(),
              "where,identifier,model,serial_number,firmware_version,build_date,run_mode,open_time_ms,break_time_s,"
              "reason\n"
              "module 127.0.0.2 (Line 2),0x00060001,6,PLANT-2,1.2.0,2024-05-17,application,12,50,\n");
    ASSERT_EQ(Run({"--listen", "1"}), exitOk) << err_.str();
    EXPECT_NE(out_.str().find("module 127.0.0.2 (Line 2)  0x00060001 (model 6)  PLANT-2"), std::string::npos)
        << out_.str();
    EXPECT_EQ(Run({"--json", "--csv"}), exitUsage);
}

} // namespace
} // namespace fk::test
