#pragma once
// Port discovery: the machine's serial ports, described for a user who has to pick one,
// and the naming operations between port numbers, port names and device paths.
//
// Every operation runs synchronously on the calling thread and only reads the kernel's
// device tree (sysfs), the udev database and BlueZ's device store; only
// SerialPortsByHandle opens device nodes. Operations return bool and leave the error
// number as the last error; nothing throws.
//
// The roots of the trees read can be moved (TDiscoveryPaths), so that a test can hand in
// a tree of its own. The property source gives the udev strings: when none is given and
// the sysfs root is the real /sys, udev is asked; otherwise sysfs alone is read.
#include "ports/CommPortInfo.h"
#include "ports/DevicePropertySource.h"

namespace fk::TCommEnumerator {

struct TDiscoveryPaths {
    String SysRoot = "/sys";
    String DevRoot = "/dev";
    String BluetoothRoot = "/var/lib/bluetooth";
};

// One text line of the GetPortNames family with its tag word: bits 0-15 the port number
// (the number at the end of the port name), bits 16-23 the port kind.
struct TPortLine {
    String Text;
    u32 Tag = 0;
};
using TPortLines = std::vector<TPortLine>;

enum TPortKind : unsigned {
    pkOther = 0,
    pkStandard = 1,  // a built-in UART with the standard serial driver
    pkVirtual = 2,   // a USB serial driver (virtual COM port)
    pkFtdi = 3,      // the FTDI driver
    pkBluetooth = 4, // an RFCOMM port
};

inline u32 MakePortTag(unsigned number, unsigned kind) noexcept { return (number & 0xFFFFu) | ((kind & 0xFFu) << 16); }
inline unsigned TagPortNumber(u32 tag) noexcept { return tag & 0xFFFFu; }
inline unsigned TagPortKind(u32 tag) noexcept { return (tag >> 16) & 0xFFu; }

// The port kind of a discovered port.
TPortKind PortKindOf(const TCommPortInfo& info) noexcept;
// The tag of a port name: the number at its end when 0 <= n < 256 with the kind; 0 else.
u32 PortNameTag(const String& portName, TPortKind kind) noexcept;

// Fills list with the real serial ports (built-in, USB, Bluetooth; then modems). The
// list is not sorted. With list.Images set, the class images are loaded into it and each
// entry gets its ImageIndex. skipParallel leaves out parallel ports (the tty class has
// none). True when the tty devices could be listed, also when there are no ports.
bool GetPortList(TCommPortList_& list, bool skipParallel);
bool GetPortList(TCommPortList_& list, bool skipParallel, const TDiscoveryPaths& paths,
                 const TDevicePropertySource* properties);

// Loads the class images into list.Images and sets every entry's ImageIndex from its
// GetDeviceGuid(). False without an image list or when the images cannot be loaded.
bool GetPortListImages(TCommPortList_& list);

// The port names as lines "name<sep>driver" (from the tty class), with probe falling back
// to probing device nodes; withDescriptions makes every line "name<sep>driver<sep>description".
bool GetPortNames(TPortLines* lines, bool probe, bool withDescriptions, char separator,
                  const TDiscoveryPaths& paths = TDiscoveryPaths(), const TDevicePropertySource* properties = nullptr);

// The kernel's tty class: "ttyUSB0<sep>ftdi_sio" per real serial port. Lines are appended.
bool SerialPortsByDeviceMap(TPortLines* lines, char separator, const TDiscoveryPaths& paths = TDiscoveryPaths());
// Device nodes under the device root that open as serial ports (or exist but are busy or
// forbidden): "ttyS0". Lines are appended, in natural name order.
bool SerialPortsByHandle(TPortLines* lines, const TDiscoveryPaths& paths = TDiscoveryPaths());
// The device database: "ttyUSB0<sep>ftdi_sio<sep>FT232R USB UART". Lines are appended.
bool SerialPortsByDeviceDesc(TPortLines* lines, char separator, const TDiscoveryPaths& paths = TDiscoveryPaths(),
                             const TDevicePropertySource* properties = nullptr);

// "COM" (or "LPT" when com is false) followed by the number.
String CommPortName(unsigned number, bool com = true);
// The last component of a path.
String CommPortName(const String& path);
// The device path of a port name: a bare name is a node under /dev; a path is made
// absolute (relative to the working folder) and normalised. Empty for an empty name.
String CommFileName(const String& name);
String CommFileName(unsigned number, bool com = true);
// The decimal number after the first "COM" (or "LPT") in name; 0 when there is none or
// the rest is not a number.
unsigned CommPortId(const String& name, bool com = true);
bool CommPortId(const String& name, unsigned& id, bool com = true);

} // namespace fk::TCommEnumerator
