#pragma once
// Where discovery gets the device manager's view of a device: the device list of a
// subsystem and the properties of one device (ID_MODEL, ID_VENDOR_FROM_DATABASE, ...).
// On a real system that is udev (TUdevDatabase); tests give a table of their own.
#include "platform/Types.h"

#include <map>
#include <vector>

namespace fk {

using TDeviceProperties = std::map<String, String>;

class TDevicePropertySource {
public:
    virtual ~TDevicePropertySource() = default;

    // The device names (sysname, e.g. ttyUSB0) of a subsystem. False when this source
    // cannot list them; the caller then reads the kernel's class folder itself.
    virtual bool ListDevices(const char* subsystem, std::vector<String>& names) const = 0;

    // The properties of the device whose sysfs folder is sysPath. False when none are known.
    virtual bool GetProperties(const String& sysPath, TDeviceProperties& properties) const = 0;
};

} // namespace fk
