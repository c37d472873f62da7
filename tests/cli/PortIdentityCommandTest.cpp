// `ferrovan ports` shows who each adapter is and which adapters brltty took; a device command
// finds an adapter by its identity whatever its name is now.
#include "FakeDeviceTree.h"
#include "cli/DeviceCommand.h"
#include "cli/Tool.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fk {
namespace {

class PortIdentityCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree_.BuildStandardMachine();
        const std::string hc = "pci0000:00/0000:00:14.0/usb1";
        tree_.Device(hc + "/1-6", "usb", "usb", { { "idVendor", "1a86" }, { "idProduct", "7523" }, { "product", "USB Serial" } });
        tree_.Device(hc + "/1-6/1-6:1.0", "usb", "ch341");
        std::filesystem::create_directories(Proc() + "/813");
        std::ofstream(Proc() + "/813/comm") << "brltty\n";
        paths_ = { tree_.Sys(), tree_.Dev(), tree_.Bluetooth() };
    }
    std::string Proc() const { return tree_.Root() + "/proc"; }

    test::FakeDeviceTree tree_;
    TCommEnumerator::TDiscoveryPaths paths_;
};

TEST_F(PortIdentityCommandTest, PortsShowIdentityStableNamesAndAdaptersBrlttyTook)
{
    std::ostringstream out, err;
    TTool tool(out, err);
    tool.SetDiscoveryPaths(paths_, Proc());
    ASSERT_EQ(tool.Run({"ports", "--json"}), exitOk) << err.str();
    const QJsonArray ports = QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).array();
    QJsonObject ftdi, taken;
    for (const auto& v : ports) {
        if (v[QStringLiteral("port")].toString() == QStringLiteral("ttyUSB0"))
            ftdi = v.toObject();
        if (v[QStringLiteral("taken_by")].toString() == QStringLiteral("brltty"))
            taken = v.toObject();
    }
    EXPECT_EQ(ftdi[QStringLiteral("identity")].toString(), QStringLiteral("usb:0403:6001:A50285BI")) << out.str();
    EXPECT_EQ(ftdi[QStringLiteral("vendor_id")].toString(), QStringLiteral("0403"));
    EXPECT_EQ(ftdi[QStringLiteral("product_id")].toString(), QStringLiteral("6001"));
    EXPECT_EQ(ftdi[QStringLiteral("usb_path")].toString(), QStringLiteral("1-1"));
    EXPECT_TRUE(ftdi[QStringLiteral("stable_path")].toString().endsWith(QStringLiteral("/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0")));
    EXPECT_EQ(taken[QStringLiteral("usb_path")].toString(), QStringLiteral("1-6")) << out.str();
    EXPECT_TRUE(taken[QStringLiteral("hint")].toString().contains(QStringLiteral("Remove the brltty package")));

    std::ostringstream text;
    TTool plain(text, err);
    plain.SetDiscoveryPaths(paths_, Proc());
    ASSERT_EQ(plain.Run({"ports"}), exitOk);
    EXPECT_NE(text.str().find("1-6\tbrltty, the braille display service, has taken this USB serial adapter (USB Serial)"),
              std::string::npos)
        << text.str();
}

TEST_F(PortIdentityCommandTest, APortIsFoundByItsIdentityOrItsStableName)
{
    TCommEnumerator::TCommPortList_ list;
    int index = -1;
    ASSERT_TRUE(TDeviceCommand::ResolvePort("usb:0403:6001:A50285BI", list, index, paths_));
    ASSERT_GE(index, 0);
    EXPECT_EQ(list[std::size_t(index)].PortName, "ttyUSB0");
    list.clear();
    const std::string byId = tree_.Dev() + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    ASSERT_TRUE(TDeviceCommand::ResolvePort(byId, list, index, paths_));
    EXPECT_EQ(list[std::size_t(index)].PortName, byId); // opened through the link as it is
}

// An identity that fits both halves of a dual adapter is refused with the candidates and their
// by-path names; one that fits nothing says so; the interface picks one half.
TEST_F(PortIdentityCommandTest, AnAmbiguousIdentityIsRefusedAndAMissingOneIsNamed)
{
    tree_.DualAdapter("1-7", "FT2X", "ttyUSB5", "ttyUSB6");
    TCommEnumerator::TCommPortList_ list;
    int index = -1;
    TPortProblem problem;
    EXPECT_FALSE(TDeviceCommand::ResolvePort("usb:0403:6010:FT2X", list, index, paths_, &problem));
    EXPECT_EQ(problem.Status, exitUsage);
    EXPECT_NE(problem.Text.find("fits 2 ports"), std::string::npos) << problem.Text;
    EXPECT_NE(problem.Text.find(tree_.Dev() + "/ttyUSB6  " + tree_.Dev() + "/serial/by-path/pci-0000:00:14.0-usb-0:7:1.1-port0  usb:0403:6010:FT2X:if01"),
              std::string::npos)
        << problem.Text;
    list.clear();
    ASSERT_TRUE(TDeviceCommand::ResolvePort("usb:0403:6010:FT2X:if01", list, index, paths_, &problem));
    EXPECT_EQ(list[std::size_t(index)].PortName, "ttyUSB6");
    list.clear();
    EXPECT_FALSE(TDeviceCommand::ResolvePort("usb:0403:6010:GONE", list, index, paths_, &problem));
    EXPECT_EQ(problem.Status, exitFailed);
    EXPECT_EQ(problem.Text, "no adapter with this identity is plugged in");
}

} // namespace
} // namespace fk
