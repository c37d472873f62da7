#include "FakeDeviceTree.h"

#include "platform/LastError.h"
#include "ports/CommEnumerator.h"
#include "ports/PortImageList.h"
#include "ports/SerialPortScanner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fk {
namespace {

using namespace TCommEnumerator;

// udev's view of the fake machine, keyed by the end of the device's sysfs path.
class FakeUdev : public TDevicePropertySource {
public:
    std::map<std::string, TDeviceProperties> byName;
    std::vector<String> listed;
    bool canList = false;

    bool ListDevices(const char*, std::vector<String>& names) const override
    {
        names = listed;
        return canList;
    }
    bool GetProperties(const String& sysPath, TDeviceProperties& props) const override
    {
        const auto it = byName.find(sysPath.substr(sysPath.rfind('/') + 1));
        if (it == byName.end())
            return false;
        props = it->second;
        return true;
    }
};

class CommEnumeratorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.BuildStandardMachine();
        paths = { tree.Sys(), tree.Dev(), tree.Bluetooth() };
    }

    const TCommPortInfo* Find(const TCommPortList_& list, const String& name)
    {
        for (const auto& p : list)
            if (p.PortName == name)
                return &p;
        return nullptr;
    }

    test::FakeDeviceTree tree;
    TDiscoveryPaths paths;
};

TEST_F(CommEnumeratorTest, ListsRealSerialPortsOnlyWithModemsLast)
{
    TCommPortList_ list;
    SetLastError(ERROR_GEN_FAILURE);
    ASSERT_TRUE(GetPortList(list, true, paths, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    std::vector<String> names;
    for (const auto& p : list)
        names.push_back(p.PortName);
    // Phantom ttyS1, unreadable ttyS4, node-less ttyS5 and the virtual ttys are left out;
    // the modem port comes after every "Ports" entry.
    const std::vector<String> expected { "rfcomm0", "rfcomm1", "rfcomm2", "ttyACM0", "ttyAMA0", "ttyS0", "ttyS10", "ttyS2", "ttyUSB0", "ttyUSB2" };
    std::vector<String> sortedNames = names;
    std::sort(sortedNames.begin(), sortedNames.end());
    EXPECT_EQ(sortedNames, expected);
    EXPECT_EQ(names.back(), "ttyUSB2");
    EXPECT_EQ(list.back().DeviceClass, "Modem");
    EXPECT_EQ(list.back().ClassPath, "USB\\Modem");
    EXPECT_EQ(list.back().ClassGuid, GUID_DEVCLASS_MODEM);
    for (const auto& p : list) {
        EXPECT_EQ(p.PortType, 0);
        EXPECT_EQ(p.ImageIndex, -1) << "no image list was given";
    }
}

TEST_F(CommEnumeratorTest, UsbAdapterFromSysfsStrings)
{
    TCommPortList_ list;
    ASSERT_TRUE(GetPortList(list, true, paths, nullptr));
    const TCommPortInfo* ftdi = Find(list, "ttyUSB0");
    ASSERT_NE(ftdi, nullptr);
    EXPECT_FALSE(ftdi->SystemPort);
    EXPECT_EQ(ftdi->Service, "ftdi_sio");
    EXPECT_EQ(ftdi->DeviceClass, "Ports");
    EXPECT_EQ(ftdi->ClassPath, "USB\\Ports");
    EXPECT_EQ(ftdi->ClassGuid, GUID_DEVCLASS_PORTS);
    EXPECT_EQ(ftdi->GetDeviceGuid(), GUID_DEVCLASS_USB);
    EXPECT_EQ(ftdi->BusDescription, "FT232R USB UART");
    EXPECT_EQ(ftdi->GetDeviceDescription(), "FT232R USB UART");
    EXPECT_EQ(ftdi->Manufacturer, "FTDI");
    EXPECT_EQ(ftdi->SerialNumber, "A50285BI");
    EXPECT_EQ(ftdi->UsbVendorId, 0x0403);
    EXPECT_EQ(ftdi->UsbProductId, 0x6001);
    EXPECT_EQ(ftdi->StablePath, tree.Dev() + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

    const TCommPortInfo* acm = Find(list, "ttyACM0");
    ASSERT_NE(acm, nullptr);
    EXPECT_EQ(acm->Service, "cdc_acm");
    EXPECT_FALSE(acm->SystemPort);
    EXPECT_EQ(acm->GetDeviceDescription(), "Uno R3");
    EXPECT_EQ(acm->Manufacturer, "Arduino");
    EXPECT_EQ(acm->SerialNumber, "");
    EXPECT_EQ(acm->StablePath, "");
}

TEST_F(CommEnumeratorTest, UdevStringsWinOverSysfs)
{
    FakeUdev udev;
    udev.byName["ttyUSB0"] = { { "ID_MODEL_ENC", "FT232R\\x20USB\\x20UART\\x2d2" }, { "ID_MODEL", "FT232R_USB_UART" },
                               { "ID_MODEL_FROM_DATABASE", "FT232 Serial (UART) IC" },
                               { "ID_VENDOR_FROM_DATABASE", "Future Technology Devices International, Ltd" },
                               { "ID_SERIAL_SHORT", "XYZ" } };
    udev.byName["ttyACM0"] = { { "ID_MODEL", "Uno_R3_udev" } };
    TCommPortList_ list;
    ASSERT_TRUE(GetPortList(list, true, paths, &udev));
    const TCommPortInfo* ftdi = Find(list, "ttyUSB0");
    ASSERT_NE(ftdi, nullptr);
    EXPECT_EQ(ftdi->Description, "FT232 Serial (UART) IC");
    EXPECT_EQ(ftdi->BusDescription, "FT232R USB UART-2") << "the escaped string is decoded";
    EXPECT_EQ(ftdi->Manufacturer, "Future Technology Devices International, Ltd");
    EXPECT_EQ(ftdi->SerialNumber, "XYZ");
    EXPECT_EQ(Find(list, "ttyACM0")->BusDescription, "Uno_R3_udev");

    // A source that can list devices decides which ttys are looked at.
    udev.canList = true;
    udev.listed = { "ttyS0", "tty1", "ttyS1" };
    ASSERT_TRUE(GetPortList(list, true, paths, &udev));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].PortName, "ttyS0");
}

TEST_F(CommEnumeratorTest, BuiltInUartsInBothLayouts)
{
    TCommPortList_ list;
    ASSERT_TRUE(GetPortList(list, true, paths, nullptr));
    const TCommPortInfo* s0 = Find(list, "ttyS0"); // serial-base layout below a pnp device
    ASSERT_NE(s0, nullptr);
    EXPECT_TRUE(s0->SystemPort);
    EXPECT_EQ(s0->Service, "serial");
    EXPECT_EQ(s0->ClassPath, "System\\Ports");
    EXPECT_EQ(s0->GetDeviceGuid(), GUID_DEVCLASS_PORTS);
    EXPECT_EQ(s0->BusDescription, "16550A UART");
    EXPECT_EQ(s0->GetDeviceDescription(), "Serial port");
    EXPECT_EQ(s0->FriendlyName, "Serial port (ttyS0)");

    const TCommPortInfo* s2 = Find(list, "ttyS2"); // old layout
    ASSERT_NE(s2, nullptr);
    EXPECT_TRUE(s2->SystemPort);
    EXPECT_EQ(s2->Service, "serial8250");

    const TCommPortInfo* ama = Find(list, "ttyAMA0");
    ASSERT_NE(ama, nullptr);
    EXPECT_TRUE(ama->SystemPort);
    EXPECT_EQ(ama->Service, "uart-pl011");
    EXPECT_EQ(ama->BusDescription, "");
}

TEST_F(CommEnumeratorTest, BluetoothNamesGoToTheFirstPortOfADevice)
{
    TCommPortList_ list;
    ASSERT_TRUE(GetPortList(list, true, paths, nullptr));
    const TCommPortInfo* r0 = Find(list, "rfcomm0");
    const TCommPortInfo* r1 = Find(list, "rfcomm1");
    const TCommPortInfo* r2 = Find(list, "rfcomm2");
    ASSERT_TRUE(r0 && r1 && r2);
    EXPECT_EQ(r0->BluetoothAddress, 0x001A7DDA7113u);
    EXPECT_EQ(r1->BluetoothAddress, 0x001A7DDA7113u);
    EXPECT_EQ(r0->BluetoothName, "Service Phone");
    EXPECT_EQ(r0->GetDeviceDescription(), "Service Phone");
    EXPECT_EQ(r1->BluetoothName, "");
    EXPECT_EQ(r1->GetDeviceDescription(), "RFCOMM channel 3");
    EXPECT_EQ(r2->BluetoothName, "");
    EXPECT_FALSE(r0->SystemPort);
    EXPECT_EQ(r0->ClassPath, "Bluetooth\\Ports");
    EXPECT_EQ(r0->Service, "rfcomm");
    EXPECT_EQ(r0->GetDeviceGuid(), GUID_DEVCLASS_BLUETOOTH);

    // Without BlueZ's store the names are simply absent.
    paths.BluetoothRoot = tree.Root() + "/nowhere";
    ASSERT_TRUE(GetPortList(list, true, paths, nullptr));
    EXPECT_EQ(Find(list, "rfcomm0")->BluetoothName, "");
}

TEST_F(CommEnumeratorTest, BadAddressAndEmptyOrMissingTree)
{
    // An odd address attribute leaves the port without an address, nothing else.
    tree.Tty("", "rfcomm7", { { "address", "00:1A:7D:DA:71" } });
    TCommPortList_ list;
    ASSERT_TRUE(GetPortList(list, true, paths, nullptr));
    ASSERT_NE(Find(list, "rfcomm7"), nullptr);
    EXPECT_EQ(Find(list, "rfcomm7")->BluetoothAddress, 0u);

    test::FakeDeviceTree empty;
    ASSERT_TRUE(GetPortList(list, true, { empty.Sys(), empty.Dev(), empty.Bluetooth() }, nullptr));
    EXPECT_TRUE(list.empty());

    list.push_back(TCommPortInfo("stale"));
    EXPECT_FALSE(GetPortList(list, true, { empty.Root() + "/none", empty.Dev(), empty.Bluetooth() }, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(list.empty());
}

TEST_F(CommEnumeratorTest, ImagesByKind)
{
    TPortImageList images;
    TCommPortList_ list;
    list.Images = &images;
    ASSERT_TRUE(GetPortList(list, true, paths, nullptr));
    ASSERT_EQ(images.Count(), 5);
    for (int i = 0; i < images.Count(); ++i) {
        EXPECT_EQ(images.Image(i).size(), QSize(16, 16));
        EXPECT_EQ(images.Image(i, true).size(), QSize(32, 32));
    }
    EXPECT_FALSE(images.OverlayImage(TPortImageList::ovProblem).isNull());
    EXPECT_FALSE(images.OverlayImage(TPortImageList::ovWaiting).isNull());
    EXPECT_TRUE(images.OverlayImage(TPortImageList::ovNone).isNull());
    EXPECT_TRUE(images.Image(5).isNull());
    EXPECT_EQ(images.ClassImageIndex(GUID_DEVCLASS_NET), TPortImageList::iiNetwork); // wireless modules

    EXPECT_EQ(Find(list, "ttyUSB0")->ImageIndex, TPortImageList::iiUsbAdapter);
    EXPECT_EQ(Find(list, "ttyS0")->ImageIndex, TPortImageList::iiBuiltInPort);
    EXPECT_EQ(Find(list, "rfcomm0")->ImageIndex, TPortImageList::iiBluetooth);
    EXPECT_EQ(Find(list, "ttyUSB2")->ImageIndex, TPortImageList::iiUsbAdapter) << "a USB modem gets its parent's icon";

    // A modem on a built-in port shows the modem icon; an entry the application made
    // itself without a class has none.
    TCommPortInfo modem("ttyS3");
    modem.ClassGuid = GUID_DEVCLASS_MODEM;
    list.push_back(modem);
    TCommPortInfo module("KC-1");
    module.PortType = 3;
    list.push_back(module);
    ASSERT_TRUE(GetPortListImages(list));
    EXPECT_EQ(list[list.size() - 2].ImageIndex, TPortImageList::iiModem);
    EXPECT_EQ(list.back().ImageIndex, -1);

    list.Images = nullptr;
    EXPECT_FALSE(GetPortListImages(list));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CommPortInfoTest, DescriptionGuidAndNaturalOrder)
{
    TCommPortInfo p("ttyS3");
    p.BusDescription = "bus";
    EXPECT_EQ(p.GetDeviceDescription(), "bus");
    p.Description = "desc";
    EXPECT_EQ(p.GetDeviceDescription(), "desc");
    p.SystemPort = false;
    EXPECT_EQ(p.GetDeviceDescription(), "bus");
    p.BusDescription.clear();
    EXPECT_EQ(p.GetDeviceDescription(), "desc");
    p.BluetoothName = "phone";
    EXPECT_EQ(p.GetDeviceDescription(), "phone");

    p.ClassGuid = GUID_DEVCLASS_PORTS;
    p.ParentClassGuid = GUID_DEVCLASS_USB;
    EXPECT_EQ(p.GetDeviceGuid(), GUID_DEVCLASS_USB);
    p.SystemPort = true;
    EXPECT_EQ(p.GetDeviceGuid(), GUID_DEVCLASS_PORTS);

    std::vector<TCommPortInfo> v { TCommPortInfo("ttyUSB1"), TCommPortInfo("ttyS10"), TCommPortInfo("ttyUSB0"),
                                   TCommPortInfo("ttyS2"), TCommPortInfo("ttyACM0") };
    std::sort(v.begin(), v.end());
    std::vector<String> names;
    for (const auto& i : v)
        names.push_back(i.PortName);
    EXPECT_EQ(names, (std::vector<String> { "ttyACM0", "ttyS2", "ttyS10", "ttyUSB0", "ttyUSB1" }));
    EXPECT_FALSE(TCommPortInfo("ttyS2") < TCommPortInfo("ttyS2"));
}

TEST_F(CommEnumeratorTest, PortNameLinesAndTags)
{
    TPortLines lines;
    ASSERT_TRUE(SerialPortsByDeviceMap(&lines, ';', paths));
    const auto line = [&](const String& name) -> const TPortLine* {
        for (const auto& l : lines)
            if (l.Text.rfind(name + ";", 0) == 0)
                return &l;
        return nullptr;
    };
    ASSERT_NE(line("ttyUSB0"), nullptr);
    EXPECT_EQ(line("ttyUSB0")->Text, "ttyUSB0;ftdi_sio");
    EXPECT_EQ(line("ttyUSB0")->Tag, MakePortTag(0, pkFtdi));
    EXPECT_EQ(line("ttyS10")->Tag, MakePortTag(10, pkStandard));
    EXPECT_EQ(line("ttyACM0")->Tag, MakePortTag(0, pkVirtual));
    EXPECT_EQ(line("rfcomm2")->Tag, MakePortTag(2, pkBluetooth));
    EXPECT_EQ(PortNameTag("ttyUSB300", pkVirtual), 0u);
    EXPECT_EQ(PortNameTag("ttyUSB255", pkVirtual), MakePortTag(255, pkVirtual));
    EXPECT_EQ(PortNameTag("ttyUSB", pkVirtual), 0u);

    // With descriptions: ttyS0 and ttyUSB0 share the number 0 and keep their own texts.
    FakeUdev udev;
    udev.byName["ttyUSB0"] = { { "ID_MODEL_ENC", "FT232R\\x20USB\\x20UART" } };
    ASSERT_TRUE(GetPortNames(&lines, false, true, ';', paths, &udev));
    EXPECT_EQ(line("ttyUSB0")->Text, "ttyUSB0;ftdi_sio;FT232R USB UART");
    EXPECT_EQ(line("ttyS0")->Text, "ttyS0;serial;Serial port");
    EXPECT_EQ(line("ttyS0")->Tag, MakePortTag(0, pkStandard));

    ASSERT_TRUE(GetPortNames(&lines, false, false, '\t', paths));
    EXPECT_EQ(lines.size(), 10u);

    SetLastError(0);
    EXPECT_FALSE(GetPortNames(nullptr, true, true, ';', paths));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(SerialPortsByHandle(nullptr, paths));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    TDiscoveryPaths missing = paths;
    missing.SysRoot = tree.Root() + "/none";
    EXPECT_FALSE(GetPortNames(&lines, false, false, ';', missing));
    EXPECT_EQ(GetLastError(), 1011u);
    EXPECT_TRUE(lines.empty());
}

TEST(SerialPortsByHandleTest, ProbesCharacterDevicesThatAreTerminals)
{
    // ttyUSB7 is a real terminal (a pseudo-terminal), ttyS3 a character device that is no
    // terminal, ttyACM1 a plain file, tty5 not a serial port name.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    test::FakeDeviceTree tree;
    tree.Link("dev/ttyUSB7", ::ptsname(master));
    tree.Link("dev/ttyS3", "/dev/null");
    tree.File("dev/ttyACM1", "");
    tree.Link("dev/tty5", ::ptsname(master));

    TPortLines lines;
    ASSERT_TRUE(SerialPortsByHandle(&lines, { tree.Sys(), tree.Dev(), tree.Bluetooth() }));
    ::close(master);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Text, "ttyUSB7");
    EXPECT_EQ(lines[0].Tag, MakePortTag(7, pkOther));

    // Without a device map the probe is the fallback.
    ASSERT_TRUE(GetPortNames(&lines, true, false, ';', { tree.Root() + "/none", tree.Dev(), tree.Bluetooth() }));
    EXPECT_EQ(lines.size(), 0u) << "the pseudo-terminal is closed now";
}

TEST(CommNamingTest, NamesPathsAndNumbers)
{
    EXPECT_EQ(CommPortName(7, true), "COM7");
    EXPECT_EQ(CommPortName(2, false), "LPT2");
    EXPECT_EQ(CommPortName("/dev/serial/by-id/usb-FTDI-if00-port0"), "usb-FTDI-if00-port0");
    EXPECT_EQ(CommPortName("ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(CommFileName("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(CommFileName(3, true), "/dev/COM3");
    EXPECT_EQ(CommFileName("/dev/../dev/./ttyS0"), "/dev/ttyS0");
    EXPECT_EQ(CommFileName("sub/ttyX"), (std::filesystem::current_path() / "sub/ttyX").string());
    EXPECT_EQ(CommFileName(""), "");

    EXPECT_EQ(CommPortId("\\\\.\\COM12"), 12u);
    EXPECT_EQ(CommPortId("COMX"), 0u);
    EXPECT_EQ(CommPortId("COM"), 0u);
    EXPECT_EQ(CommPortId("LPT1", true), 0u);
    EXPECT_EQ(CommPortId("LPT1", false), 1u);
    EXPECT_EQ(CommPortId("com5"), 0u) << "the prefix is case-sensitive";
    EXPECT_EQ(CommPortId("COM4294967296"), 0u) << "too large for the id";
    EXPECT_EQ(CommPortId("COM4294967295"), 4294967295u);
    unsigned id = 99;
    EXPECT_FALSE(CommPortId("COM0", id));
    EXPECT_EQ(id, 0u);
    EXPECT_TRUE(CommPortId("/dev/COM3", id));
    EXPECT_EQ(id, 3u);
}

// The machine's own ports: whatever exists must be a real serial port with a driver and
// a node, and the built-in UARTs must follow the kernel's "type".
TEST(RealMachineTest, ListsOnlyRealPorts)
{
    TCommPortList_ list;
    ASSERT_TRUE(GetPortList(list, true));
    for (const auto& p : list) {
        EXPECT_FALSE(p.Service.empty()) << p.PortName;
        EXPECT_TRUE(std::filesystem::exists("/dev/" + p.PortName)) << p.PortName;
        EXPECT_FALSE(p.PortName == "console" || p.PortName == "ptmx" || p.PortName == "tty"
                     || (p.PortName.rfind("tty", 0) == 0 && p.PortName.size() > 3 && std::isdigit(static_cast<unsigned char>(p.PortName[3]))))
            << p.PortName;
    }
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/sys/class/tty", ec)) {
        std::ifstream typeFile(e.path() / "type");
        int type = -1;
        if (!(typeFile >> type) || !std::filesystem::exists("/dev/" + e.path().filename().string()))
            continue;
        const String name = e.path().filename().string();
        const bool listed = std::any_of(list.begin(), list.end(), [&](const TCommPortInfo& p) { return p.PortName == name; });
        EXPECT_EQ(listed, type != 0) << name << " type " << type;
        if (type != 0) {
            int probed = -1;
            if (TSerialPortScanner::ProbeUartType("/dev/" + name, probed)) {
                EXPECT_EQ(probed, type) << name;
            }
        }
    }
}

} // namespace
} // namespace fk

namespace fk {
namespace {

using namespace TCommEnumerator;

// Two CH340 adapters without serial numbers, one in each socket, and one brltty took (no tty).
void AddCh340Adapters(test::FakeDeviceTree& tree)
{
    const std::string hc = "pci0000:00/0000:00:14.0/usb1";
    for (const char* socket : {"1-4", "1-5", "1-6"}) {
        const std::string dev = hc + "/" + socket;
        tree.Device(dev, "usb", "usb", { { "idVendor", "1a86" }, { "idProduct", "7523" }, { "product", "USB Serial" } });
        tree.Device(dev + "/" + socket + ":1.0", "usb", "ch341");
    }
    tree.Device(hc + "/1-4/1-4:1.0/ttyUSB3", "usb-serial", "ch341");
    tree.Tty(hc + "/1-4/1-4:1.0/ttyUSB3", "ttyUSB3");
    tree.Link("dev/serial/by-path/pci-0000:00:14.0-usb-0:4:1.0-port0", "../../ttyUSB3");
    tree.Device(hc + "/1-5/1-5:1.0/ttyUSB4", "usb-serial", "ch341");
    tree.Tty(hc + "/1-5/1-5:1.0/ttyUSB4", "ttyUSB4");
}

TEST(PortIdentityTest, AdaptersAreKnownBySerialNumberElseBySocket)
{
    test::FakeDeviceTree tree;
    tree.BuildStandardMachine();
    AddCh340Adapters(tree);
    TCommPortList_ list;
    ASSERT_TRUE(GetPortList(list, true, { tree.Sys(), tree.Dev(), tree.Bluetooth() }, nullptr));
    const auto find = [&](const char* name) {
        const auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.PortName == name; });
        return it == list.end() ? TCommPortInfo() : *it;
    };
    EXPECT_EQ(find("ttyUSB0").Identity(), "usb:0403:6001:A50285BI");
    EXPECT_EQ(find("ttyUSB0").UsbPath, "1-1");
    const TCommPortInfo a = find("ttyUSB3"), b = find("ttyUSB4");
    EXPECT_EQ(a.Identity(), "usb:1a86:7523@1-4");
    EXPECT_EQ(b.Identity(), "usb:1a86:7523@1-5"); // the same adapter model, told apart by socket
    EXPECT_EQ(a.StableLocation, tree.Dev() + "/serial/by-path/pci-0000:00:14.0-usb-0:4:1.0-port0");
    EXPECT_EQ(b.StableLocation, "");
    EXPECT_EQ(find("ttyS0").Identity(), ""); // a built-in port is known by name only
    EXPECT_TRUE(TCommPortInfo::IsIdentity(a.Identity()));
    EXPECT_TRUE(TCommPortInfo::IsIdentity("usb:0403:6001:A50285BI"));
    EXPECT_FALSE(TCommPortInfo::IsIdentity("ttyUSB0"));
    EXPECT_FALSE(TCommPortInfo::IsIdentity("usb:0403"));
}

// The two ports of a dual adapter are told apart by their interface; two clones sharing a
// serial number stay alike, and their identity fits both.
TEST(PortIdentityTest, TheInterfaceTellsTheHalvesOfADualAdapterApart)
{
    test::FakeDeviceTree tree;
    tree.BuildStandardMachine();
    tree.DualAdapter("1-7", "FT2X", "ttyUSB5", "ttyUSB6");
    for (const char* socket : {"1-8", "1-9"}) {
        const std::string dev = std::string("pci0000:00/0000:00:14.0/usb1/") + socket;
        tree.Device(dev, "usb", "usb", {{"idVendor", "1a86"}, {"idProduct", "7523"}, {"serial", "0001"}});
        tree.Device(dev + "/" + socket + ":1.0", "usb", "ch341");
        tree.Device(dev + "/" + socket + ":1.0/ttyUSB" + socket[2], "usb-serial", "ch341");
        tree.Tty(dev + "/" + socket + ":1.0/ttyUSB" + socket[2], std::string("ttyUSB") + socket[2]);
    }
    TCommPortList_ list;
    ASSERT_TRUE(GetPortList(list, true, {tree.Sys(), tree.Dev(), tree.Bluetooth()}, nullptr));
    const auto name = [&](std::size_t i) { return list[i].PortName; };
    const auto one = IdentityMatches(list, "usb:0403:6010:FT2X:if01");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(name(one[0]), "ttyUSB6");
    EXPECT_EQ(list[one[0]].Identity(), "usb:0403:6010:FT2X:if01");
    EXPECT_EQ(IdentityMatches(list, "usb:0403:6010:FT2X").size(), 2u); // the adapter: both halves
    EXPECT_EQ(IdentityMatches(list, "usb:1a86:7523:0001").size(), 2u);  // clones
    const auto single = IdentityMatches(list, "usb:0403:6001:A50285BI");
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(list[single[0]].Identity(), "usb:0403:6001:A50285BI"); // one port: no interface
    EXPECT_TRUE(IdentityMatches(list, "usb:0403:6001:A50285BI:if01").empty());
}

} // namespace
} // namespace fk

#include "ports/TakenAdapters.h"

namespace fk {
namespace {

TEST(TakenAdaptersTest, ABridgeWithoutPortIsReportedOnlyWhileBrlttyRuns)
{
    test::FakeDeviceTree tree;
    tree.BuildStandardMachine();
    AddCh340Adapters(tree);
    const TDiscoveryPaths paths { tree.Sys(), tree.Dev(), tree.Bluetooth() };
    const std::string proc = tree.Root() + "/proc";
    std::filesystem::create_directories(proc + "/812");
    std::ofstream(proc + "/812/comm") << "bash\n";
    EXPECT_TRUE(TTakenAdapters::Find(paths, proc).empty());
    std::filesystem::create_directories(proc + "/813");
    std::ofstream(proc + "/813/comm") << "brltty\n";
    const auto taken = TTakenAdapters::Find(paths, proc);
    ASSERT_EQ(taken.size(), 1u); // the FTDI adapter and the two CH340 with ports are not
    EXPECT_EQ(taken[0].UsbPath, "1-6");
    EXPECT_EQ(taken[0].VendorId, 0x1a86);
    EXPECT_EQ(taken[0].Product, "USB Serial");
}

} // namespace
} // namespace fk
