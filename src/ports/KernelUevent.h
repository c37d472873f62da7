#pragma once
// One message of the kernel's device-event socket (NETLINK_KOBJECT_UEVENT):
// "action@devpath\0ACTION=...\0DEVPATH=...\0SUBSYSTEM=...\0...KEY=VALUE\0".
#include "ports/DevicePropertySource.h"

#include <cstddef>

namespace fk {

struct TKernelUevent {
    String Action;    // add, remove, change, bind, ...
    String DevPath;   // /devices/... relative to the sysfs root
    String Subsystem; // tty, usb, ...
    String DevName;   // the node name below /dev, when the device has one
    u64 SeqNum = 0;
    TDeviceProperties Properties; // every KEY=VALUE of the message

    // Largest message accepted; the kernel's own messages stay far below it.
    static constexpr std::size_t MaxSize = 16384;

    // Parses one message. Anything malformed (no "action@devpath" head, a field without
    // '=' or without its terminating NUL, ACTION or DEVPATH missing or different from the
    // head, no SUBSYSTEM, a SEQNUM that is not a number, udev's own message format) gives
    // false with ERROR_INVALID_PARAMETER and leaves out unchanged.
    static bool Parse(const void* data, std::size_t size, TKernelUevent& out);
};

} // namespace fk
