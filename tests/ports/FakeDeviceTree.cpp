#include "FakeDeviceTree.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace fk::test {

namespace fs = std::filesystem;

FakeDeviceTree::FakeDeviceTree()
{
    std::string tmpl = (fs::temp_directory_path() / "fk-devtree-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    root_ = fs::canonical(tmpl).string();
    fs::create_directories(Sys() + "/class/tty");
    fs::create_directories(Sys() + "/devices");
    fs::create_directories(Dev());
}

FakeDeviceTree::~FakeDeviceTree()
{
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void FakeDeviceTree::File(const std::string& relPath, const std::string& contents)
{
    const fs::path p = fs::path(root_) / relPath;
    fs::create_directories(p.parent_path());
    std::ofstream(p) << contents;
}

void FakeDeviceTree::Link(const std::string& relPath, const std::string& target)
{
    const fs::path p = fs::path(root_) / relPath;
    fs::create_directories(p.parent_path());
    fs::create_symlink(target, p);
}

namespace {

void RelativeLink(const fs::path& link, const fs::path& target)
{
    fs::create_directories(target);
    fs::create_symlink(fs::relative(target, link.parent_path()), link);
}

} // namespace

void FakeDeviceTree::Device(const std::string& path, const std::string& subsystem, const std::string& driver,
                            const Attributes& attrs)
{
    const fs::path dir = fs::path(Sys()) / "devices" / path;
    fs::create_directories(dir);
    const fs::path bus = fs::path(Sys()) / "bus" / subsystem;
    RelativeLink(dir / "subsystem", bus);
    if (!driver.empty())
        RelativeLink(dir / "driver", bus / "drivers" / driver);
    for (const auto& [name, value] : attrs)
        std::ofstream(dir / name) << value << '\n';
    // The bus lists its devices, as sysfs does.
    const fs::path listed = bus / "devices" / dir.filename();
    fs::create_directories(listed.parent_path());
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(listed)))
        fs::create_symlink(fs::relative(dir, listed.parent_path()), listed, ec);
}

void FakeDeviceTree::Tty(const std::string& parent, const std::string& name, const Attributes& attrs, bool node)
{
    const fs::path devices = fs::path(Sys()) / "devices";
    const fs::path dir = parent.empty() ? devices / "virtual/tty" / name : devices / parent / "tty" / name;
    fs::create_directories(dir);
    RelativeLink(dir / "subsystem", fs::path(Sys()) / "class/tty");
    if (!parent.empty())
        fs::create_symlink(fs::relative(devices / parent, dir), dir / "device");
    for (const auto& [attr, value] : attrs)
        std::ofstream(dir / attr) << value << '\n';
    fs::create_symlink(fs::relative(dir, fs::path(Sys()) / "class/tty"), fs::path(Sys()) / "class/tty" / name);
    if (node)
        std::ofstream(fs::path(Dev()) / name) << "";
}

// The machine every discovery test starts from:
//  ttyUSB0  FTDI adapter on USB (with /dev/serial/by-id link)
//  ttyACM0  CDC-ACM device on USB
//  ttyUSB2  port of a mobile-broadband modem (driver option)
//  ttyS0    built-in UART, serial-base layout, 16550A
//  ttyS1    phantom UART (type 0), old layout
//  ttyS2, ttyS10  built-in UARTs, old layout, under the serial8250 platform device
//  ttyS4    UART with an unreadable type ("garbage")
//  ttyS5    built-in UART without a node under /dev
//  ttyS6    built-in port without a "type" attribute whose node is no UART
//  ttyAMA0  platform UART (pl011), serial-base layout
//  rfcomm0, rfcomm1  RFCOMM ports bound to the same phone; rfcomm2 bound to a device
//           BlueZ does not know
//  tty1, console, ptmx  virtual devices
void FakeDeviceTree::BuildStandardMachine()
{
    const std::string hc = "pci0000:00/0000:00:14.0/usb1";
    Device("pci0000:00", "pci");
    Device("pci0000:00/0000:00:14.0", "pci", "xhci_hcd");
    Device(hc, "usb", "usb", { { "idVendor", "1d6b" }, { "idProduct", "0002" }, { "product", "xHCI Host Controller" } });

    Device(hc + "/1-1", "usb", "usb",
           { { "idVendor", "0403" }, { "idProduct", "6001" }, { "product", "FT232R USB UART" },
             { "manufacturer", "FTDI" }, { "serial", "A50285BI" } });
    Device(hc + "/1-1/1-1:1.0", "usb", "ftdi_sio", { { "bInterfaceNumber", "00" } });
    Device(hc + "/1-1/1-1:1.0/ttyUSB0", "usb-serial", "ftdi_sio", { { "port_number", "0" } });
    Tty(hc + "/1-1/1-1:1.0/ttyUSB0", "ttyUSB0");
    Link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");

    Device(hc + "/1-2", "usb", "usb",
           { { "idVendor", "2341" }, { "idProduct", "0043" }, { "product", "Uno R3" }, { "manufacturer", "Arduino" } });
    Device(hc + "/1-2/1-2:1.0", "usb", "cdc_acm");
    Tty(hc + "/1-2/1-2:1.0", "ttyACM0");

    Device(hc + "/1-3", "usb", "usb", { { "idVendor", "1199" }, { "idProduct", "68c0" }, { "product", "MC7304" } });
    Device(hc + "/1-3/1-3:1.3", "usb", "option");
    Device(hc + "/1-3/1-3:1.3/ttyUSB2", "usb-serial", "option");
    Tty(hc + "/1-3/1-3:1.3/ttyUSB2", "ttyUSB2");

    // Newer kernels: pnp device -> serial-base controller -> serial-base port -> tty.
    Device("pnp0", "pnp");
    Device("pnp0/00:01", "pnp", "serial", { { "id", "PNP0501" } });
    Device("pnp0/00:01/00:01:0", "serial-base", "ctrl");
    Device("pnp0/00:01/00:01:0/00:01:0.0", "serial-base", "port");
    Tty("pnp0/00:01/00:01:0/00:01:0.0", "ttyS0", { { "type", "4" } });

    // Older kernels: the tty hangs straight off the serial8250 platform device.
    Device("platform/serial8250", "platform", "serial8250");
    Tty("platform/serial8250", "ttyS1", { { "type", "0" } });
    Tty("platform/serial8250", "ttyS2", { { "type", "4" } });
    Tty("platform/serial8250", "ttyS10", { { "type", "4" } });
    Tty("platform/serial8250", "ttyS4", { { "type", "garbage" } });
    Tty("platform/serial8250", "ttyS5", { { "type", "4" } }, false);
    Tty("platform/serial8250", "ttyS6"); // no "type": the node is asked, and it is no UART

    Device("platform/soc/fe201000.serial", "amba", "uart-pl011");
    Device("platform/soc/fe201000.serial/fe201000.serial:0", "serial-base", "ctrl");
    Device("platform/soc/fe201000.serial/fe201000.serial:0/fe201000.serial:0.0", "serial-base", "port");
    Tty("platform/soc/fe201000.serial/fe201000.serial:0/fe201000.serial:0.0", "ttyAMA0", { { "type", "32" } });

    Tty("", "rfcomm0", { { "address", "00:1a:7d:da:71:13" }, { "channel", "1" } });
    Tty("", "rfcomm1", { { "address", "00:1A:7D:DA:71:13" }, { "channel", "3" } });
    Tty("", "rfcomm2", { { "address", "11:22:33:44:55:66" }, { "channel", "1" } });
    File("bluetooth/AA:BB:CC:DD:EE:FF/00:1A:7D:DA:71:13/info", "[General]\nName=Service\\sPhone\nClass=0x5a020c\n");
    File("bluetooth/AA:BB:CC:DD:EE:FF/settings", "[General]\nDiscoverable=false\n");

    Tty("", "tty1");
    Tty("", "console");
    Tty("", "ptmx");
}

void FakeDeviceTree::DualAdapter(const std::string& socket, const std::string& serial, const std::string& tty0,
                                 const std::string& tty1)
{
    const std::string dev = "pci0000:00/0000:00:14.0/usb1/" + socket;
    Device(dev, "usb", "usb",
           {{"idVendor", "0403"}, {"idProduct", "6010"}, {"serial", serial}, {"product", "Dual RS232-HS"}});
    int interface = 0;
    for (const std::string& tty : {tty0, tty1}) {
        const std::string iface = dev + "/" + socket + ":1." + std::to_string(interface);
        Device(iface, "usb", "ftdi_sio", {{"bInterfaceNumber", "0" + std::to_string(interface)}});
        Device(iface + "/" + tty, "usb-serial", "ftdi_sio", {{"port_number", "0"}});
        Tty(iface + "/" + tty, tty);
        Link("dev/serial/by-path/pci-0000:00:14.0-usb-0:" + socket.substr(2) + ":1." + std::to_string(interface) + "-port0",
             "../../" + tty);
        ++interface;
    }
}

} // namespace fk::test
