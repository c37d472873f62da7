#pragma once
// Finds the real serial ports among the kernel's tty devices and describes each one the way
// a user recognises it: USB adapters (ttyUSB, ttyACM, ...), built-in UARTs that have
// hardware behind them, platform UARTs (ttyAMA, ...) and Bluetooth RFCOMM ports.
// Virtual consoles, pseudo-terminals and the phantom ttyS ports that many machines
// register without a UART are left out.
#include "ports/CommPortInfo.h"
#include "ports/DevicePropertySource.h"
#include "ports/Sysfs.h"

#include <vector>

namespace fk {

class TSerialPortScanner {
public:
    // properties may be null: everything then comes from sysfs.
    TSerialPortScanner(const TSysfs& sysfs, const TDevicePropertySource* properties);

    // The names of the tty devices: from the property source when it can list them, else
    // from the kernel's class folder. False (with the last error) when neither works.
    bool ListTtys(std::vector<String>& names) const;

    // Describes the tty device `name`; false when it is not a real serial port (or its
    // sysfs entry is unreadable or odd).
    bool Describe(const String& name, TCommEnumerator::TCommPortInfo& info) const;

    // Asks the serial driver of a device node for its UART type (TIOCGSERIAL); false when
    // the node cannot be opened or is no serial-core port. 0 means "no UART found".
    static bool ProbeUartType(const String& node, int& type);

    // A readable UART name for a serial-core type number ("16550A"); empty when unknown.
    static String UartTypeName(int type);

    // Undoes udev's \xHH escapes of the *_ENC properties.
    static String DecodeUdevString(const String& s);

private:
    struct TParents;
    bool FindParents(const String& device, TParents& parents) const;
    bool DescribeRfcomm(const String& name, const String& path, TCommEnumerator::TCommPortInfo& info) const;
    void DescribeUsb(const TParents& parents, const TDeviceProperties& props, TCommEnumerator::TCommPortInfo& info) const;

    const TSysfs& sysfs_;
    const TDevicePropertySource* properties_;
};

} // namespace fk
