#pragma once
// The udev device database through libudev. When udevd runs, the properties hold its
// ID_* strings (USB vendor and model, hardware database names); without udevd they hold
// only what the kernel reports and discovery reads sysfs for the rest.
#include "ports/DevicePropertySource.h"

#include <memory>

struct udev;

namespace fk {

class TUdevDatabase : public TDevicePropertySource {
public:
    TUdevDatabase();
    ~TUdevDatabase() override;
    TUdevDatabase(const TUdevDatabase&) = delete;
    TUdevDatabase& operator=(const TUdevDatabase&) = delete;

    // False when libudev could not be set up (every query then fails).
    bool Valid() const noexcept { return udev_ != nullptr; }

    bool ListDevices(const char* subsystem, std::vector<String>& names) const override;
    bool GetProperties(const String& sysPath, TDeviceProperties& properties) const override;

    // True when the udev daemon runs (it leaves its control socket in /run/udev).
    static bool DaemonRunning() noexcept;

private:
    struct Deleter {
        void operator()(struct udev* u) const noexcept;
    };
    std::unique_ptr<struct udev, Deleter> udev_;
};

} // namespace fk
