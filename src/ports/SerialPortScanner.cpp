#include "ports/SerialPortScanner.h"

#include "platform/LastError.h"
#include "ports/BluezStore.h"
#include "ports/UniqueFd.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fk {

using namespace TCommEnumerator;

namespace {

// Drivers of ports that belong to mobile-broadband modems: listed under "Modem".
bool IsModemDriver(const String& driver)
{
    static const char* const kModemDrivers[] = { "option", "qcserial", "qcaux", "sierra", "moto_modem", "zte_ev", "ipw", "nozomi", "hso" };
    for (const char* d : kModemDrivers)
        if (driver == d)
            return true;
    return false;
}

bool ParseInt(const String& text, int& value)
{
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last && first != last;
}

bool ParseHex16(const String& text, u16& value)
{
    unsigned v = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, ec] = std::from_chars(first, last, v, 16);
    if (ec != std::errc() || end != last || first == last || v > 0xFFFF)
        return false;
    value = static_cast<u16>(v);
    return true;
}

String Property(const TDeviceProperties& props, const char* key)
{
    const auto it = props.find(key);
    return it == props.end() ? String() : it->second;
}

String FirstNonEmpty(std::initializer_list<String> values)
{
    for (const String& v : values)
        if (!v.empty())
            return v;
    return {};
}

} // namespace

struct TSerialPortScanner::TParents {
    String driver;     // the first driver above the port (serial-base devices skipped)
    String usbDevice;  // folder of the USB device, when the port sits on USB
    String usbInterface; // the interface number below it, two hex digits
    bool bluetooth = false;
};

TSerialPortScanner::TSerialPortScanner(const TSysfs& sysfs, const TDevicePropertySource* properties)
    : sysfs_(sysfs)
    , properties_(properties)
{
}

bool TSerialPortScanner::ListTtys(std::vector<String>& names) const
{
    if (properties_ && properties_->ListDevices("tty", names))
        return true;
    return sysfs_.ListClass("tty", names);
}

bool TSerialPortScanner::ProbeUartType(const String& node, int& type)
{
    TUniqueFd fd(::open(node.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    serial_struct ss;
    std::memset(&ss, 0, sizeof ss);
    if (::ioctl(fd.Get(), TIOCGSERIAL, &ss) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    type = ss.type;
    SetLastError(ERROR_SUCCESS);
    return true;
}

String TSerialPortScanner::UartTypeName(int type)
{
    static const char* const kNames[] = { "", "8250", "16450", "16550", "16550A", "Cirrus", "16650", "16650V2", "16750", "Startech", "16C950", "16654", "16850", "RSA" };
    if (type > 0 && type < static_cast<int>(std::size(kNames)))
        return kNames[type];
    return {};
}

String TSerialPortScanner::DecodeUdevString(const String& s)
{
    String out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            unsigned v = 0;
            auto [end, ec] = std::from_chars(s.data() + i + 2, s.data() + i + 4, v, 16);
            if (ec == std::errc() && end == s.data() + i + 4) {
                out += static_cast<char>(v);
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

bool TSerialPortScanner::FindParents(const String& device, TParents& parents) const
{
    for (String cur = device; !cur.empty(); cur = sysfs_.Parent(cur)) {
        const String subsystem = TSysfs::LinkName(cur, "subsystem");
        // The serial-base bus (newer kernels) puts a controller and a port device
        // between the tty and the UART's own device; their drivers say nothing.
        if (parents.driver.empty() && subsystem != "serial-base")
            parents.driver = TSysfs::LinkName(cur, "driver");
        if (subsystem == "usb") {
            String id;
            if (TSysfs::ReadAttribute(cur, "idVendor", id)) {
                parents.usbDevice = cur;
                return true;
            }
            // The interface: its number, else the end of its name ("1-1:1.1", config 1, interface 1).
            if (parents.usbInterface.empty() && !TSysfs::ReadAttribute(cur, "bInterfaceNumber", parents.usbInterface)) {
                const auto colon = cur.find_last_of(':');
                const auto dot = cur.find_last_of('.');
                if (colon != String::npos && dot != String::npos && dot > colon && cur.find('/', colon) == String::npos) {
                    char number[8];
                    std::snprintf(number, sizeof number, "%02x", unsigned(std::strtoul(cur.c_str() + dot + 1, nullptr, 16)));
                    parents.usbInterface = number;
                }
            }
        } else if (subsystem == "bluetooth") {
            parents.bluetooth = true;
            return true;
        }
    }
    return true;
}

void TSerialPortScanner::DescribeUsb(const TParents& parents, const TDeviceProperties& props, TCommPortInfo& info) const
{
    const String& usb = parents.usbDevice;
    String product, manufacturer, serial, idVendor, idProduct;
    TSysfs::ReadAttribute(usb, "product", product);
    TSysfs::ReadAttribute(usb, "manufacturer", manufacturer);
    TSysfs::ReadAttribute(usb, "serial", serial);
    TSysfs::ReadAttribute(usb, "idVendor", idVendor);
    TSysfs::ReadAttribute(usb, "idProduct", idProduct);

    // udev's strings first (when udevd filled them in), the device's own strings else.
    const String model = FirstNonEmpty({ DecodeUdevString(Property(props, "ID_MODEL_ENC")), Property(props, "ID_MODEL") });
    const String vendor = FirstNonEmpty({ DecodeUdevString(Property(props, "ID_VENDOR_ENC")), Property(props, "ID_VENDOR") });
    const String modelDb = Property(props, "ID_MODEL_FROM_DATABASE");

    info.Description = FirstNonEmpty({ modelDb, model, product, "USB serial port" });
    info.BusDescription = FirstNonEmpty({ model, product, modelDb });
    info.Manufacturer = FirstNonEmpty({ Property(props, "ID_VENDOR_FROM_DATABASE"), vendor, manufacturer });
    info.SerialNumber = FirstNonEmpty({ Property(props, "ID_SERIAL_SHORT"), serial });
    if (!ParseHex16(Property(props, "ID_VENDOR_ID"), info.UsbVendorId))
        ParseHex16(idVendor, info.UsbVendorId);
    if (!ParseHex16(Property(props, "ID_MODEL_ID"), info.UsbProductId))
        ParseHex16(idProduct, info.UsbProductId);
    info.UsbPath = usb.substr(usb.find_last_of('/') + 1);
    info.UsbInterface = parents.usbInterface;
}

bool TSerialPortScanner::DescribeRfcomm(const String& name, const String& path, TCommPortInfo& info) const
{
    info = TCommPortInfo(name);
    info.Service = "rfcomm";
    info.DeviceClass = "Ports";
    info.ClassPath = "Bluetooth\\Ports";
    info.SystemPort = false;
    info.ClassGuid = GUID_DEVCLASS_PORTS;
    info.ParentClassGuid = GUID_DEVCLASS_BLUETOOTH;
    info.Description = "Bluetooth serial port";
    String text;
    u64 address = 0;
    if (TSysfs::ReadAttribute(path, "address", text) && TBluezStore::ParseAddress(text, address))
        info.BluetoothAddress = address;
    int channel = 0;
    if (TSysfs::ReadAttribute(path, "channel", text) && ParseInt(text, channel) && channel > 0 && channel <= 30)
        info.BusDescription = "RFCOMM channel " + std::to_string(channel);
    info.FriendlyName = info.Description + " (" + name + ")";
    return true;
}

bool TSerialPortScanner::Describe(const String& name, TCommPortInfo& info) const
{
    const String path = sysfs_.ClassDevicePath("tty", name);
    if (path.empty() || !sysfs_.HasDevNode(name))
        return false;
    const String device = sysfs_.ResolveLink(path, "device");
    if (device.empty()) {
        // RFCOMM ports are the one kind of serial port without a device of their own.
        if (name.rfind("rfcomm", 0) == 0 && sysfs_.IsVirtual(path))
            return DescribeRfcomm(name, path, info);
        return false; // consoles, pseudo-terminals, ttyprintk, ...
    }

    // Serial-core ports tell their UART type; 0 is a port registered without hardware.
    int uartType = -1;
    String text;
    if (TSysfs::ReadAttribute(path, "type", text)) {
        if (!ParseInt(text, uartType) || uartType <= 0)
            return false;
    } else if (name.rfind("ttyS", 0) == 0) {
        if (!ProbeUartType(sysfs_.DevNode(name), uartType) || uartType <= 0)
            return false;
    }

    TParents parents;
    FindParents(device, parents);

    TDeviceProperties props;
    if (properties_)
        properties_->GetProperties(path, props);

    info = TCommPortInfo(name);
    info.Service = parents.driver;
    const bool modem = IsModemDriver(parents.driver);
    info.DeviceClass = modem ? "Modem" : "Ports";
    info.ClassGuid = modem ? GUID_DEVCLASS_MODEM : GUID_DEVCLASS_PORTS;
    if (!parents.usbDevice.empty()) {
        info.SystemPort = false;
        info.ClassPath = "USB\\" + info.DeviceClass;
        info.ParentClassGuid = GUID_DEVCLASS_USB;
        DescribeUsb(parents, props, info);
    } else if (parents.bluetooth) {
        info.SystemPort = false;
        info.ClassPath = "Bluetooth\\" + info.DeviceClass;
        info.ParentClassGuid = GUID_DEVCLASS_BLUETOOTH;
        info.Description = FirstNonEmpty({ Property(props, "ID_MODEL_FROM_DATABASE"), "Bluetooth serial port" });
    } else {
        info.SystemPort = true;
        info.ClassPath = "System\\" + info.DeviceClass;
        info.ParentClassGuid = GUID_DEVCLASS_SYSTEM;
        info.Description = FirstNonEmpty({ Property(props, "ID_MODEL_FROM_DATABASE"), "Serial port" });
        info.Manufacturer = Property(props, "ID_VENDOR_FROM_DATABASE");
        const String uart = UartTypeName(uartType);
        info.BusDescription = uart.empty() ? String() : uart + " UART";
    }
    info.FriendlyName = info.Description + " (" + name + ")";
    info.StablePath = sysfs_.FindStableLink(name);
    info.StableLocation = sysfs_.FindStableLink(name, "by-path");
    return true;
}

} // namespace fk
