#pragma once
// One connection-port entry and the list of them, as port discovery fills them and the
// port list shows them.
#include "platform/Types.h"

#include <array>
#include <vector>

namespace fk {

class TPortImageList;

// A 16-byte device class identifier. The port kinds keep the class identifiers the
// device manager of the original platform uses, so that "which icon" and "which parent
// decided SystemPort" are answered the same way everywhere.
struct TGuid {
    u32 Data1 = 0;
    u16 Data2 = 0;
    u16 Data3 = 0;
    std::array<u8, 8> Data4 {};

    friend bool operator==(const TGuid&, const TGuid&) = default;
    bool IsNull() const noexcept { return *this == TGuid {}; }
};

namespace TCommEnumerator {

// Device classes: serial ports, modems, and the parents a port can sit behind.
inline constexpr TGuid GUID_DEVCLASS_PORTS { 0x4D36E978, 0xE325, 0x11CE, { 0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18 } };
inline constexpr TGuid GUID_DEVCLASS_MODEM { 0x4D36E96D, 0xE325, 0x11CE, { 0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18 } };
inline constexpr TGuid GUID_DEVCLASS_SYSTEM { 0x4D36E97D, 0xE325, 0x11CE, { 0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18 } };
inline constexpr TGuid GUID_DEVCLASS_USB { 0x36FC9E60, 0xC465, 0x11CF, { 0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00 } };
inline constexpr TGuid GUID_DEVCLASS_BLUETOOTH { 0xE0CBF06C, 0xCD8B, 0x4647, { 0xBB, 0x8A, 0x26, 0x3B, 0x43, 0xF0, 0xF9, 0x74 } };
inline constexpr TGuid GUID_DEVCLASS_NET { 0x4D36E972, 0xE325, 0x11CE, { 0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18 } };

class TCommPortInfo {
public:
    TCommPortInfo() = default;
    explicit TCommPortInfo(const String& portName) : PortName(portName) {}

    int PortType = 0;
    String PortName;          // the device name, e.g. ttyUSB0
    String BluetoothName;     // name of the remote Bluetooth device, when known
    String FriendlyName;
    String Manufacturer;
    String Description;
    String BusDescription;    // what the bus reports (the USB product string)
    String Service;           // the kernel driver: ftdi_sio, cp210x, cdc_acm, serial, rfcomm, ...
    String DeviceClass;       // "Ports" or "Modem"
    String ClassPath;         // e.g. USB\Ports
    u64 BluetoothAddress = 0; // the bound remote address of an RFCOMM port, else 0
    bool SystemPort = true;   // false behind a USB or Bluetooth parent
    TGuid ClassGuid;
    TGuid ParentClassGuid;
    int ImageIndex = -1;

    // Recognising a device that comes back under another name: the USB serial number,
    // the stable link under /dev/serial/by-id (empty when there is none) and the USB ids.
    String SerialNumber;
    String StablePath;
    u16 UsbVendorId = 0;
    u16 UsbProductId = 0;
    String UsbPath;           // the adapter's place on the USB tree (its socket), e.g. 1-1.4
    String StableLocation;    // the link under /dev/serial/by-path, empty when there is none
    String UsbInterface;      // the USB interface the port belongs to, two hex digits ("01")
    bool SharedUsbDevice = false; // another port sits on the same USB device (FT2232, ...)

    // Who the adapter is, whatever name it has now: "usb:0403:6001:A50285BI" (vendor,
    // product, serial number); without a serial number its socket, "usb:1a86:7523@1-1.4";
    // a port of an adapter with several ports adds its interface, "usb:0403:6010:FT2X:if01";
    // empty for a port without USB identity (it is known by name only).
    String Identity() const;
    // True for a text in Identity()'s form.
    static bool IsIdentity(const String& text) noexcept;
    // The identity names this port: the same text, or the same adapter when the text names
    // no interface (so every port of a dual adapter matches its interface-less identity).
    bool MatchesIdentity(const String& identity) const;

    // The Bluetooth name if known; for a built-in port its description (else the bus
    // text); for any other port the bus text (else the description).
    String GetDeviceDescription() const;
    // The class that decides the icon: the port's own class for a built-in port, the
    // parent's class (USB, Bluetooth) otherwise.
    TGuid GetDeviceGuid() const;

    // Port names in natural order: ttyS2 before ttyS10.
    bool operator<(const TCommPortInfo& other) const;
};

// The positions of the entries an identity names (more than one: the identity is ambiguous).
std::vector<std::size_t> IdentityMatches(const std::vector<TCommPortInfo>& list, const String& identity);

// The entries in the order discovery found them (the caller sorts), and the image list
// the icons go into. Images is not owned and may be null.
class TCommPortList_ : public std::vector<TCommPortInfo> {
public:
    TPortImageList* Images = nullptr;
};

} // namespace TCommEnumerator
} // namespace fk
