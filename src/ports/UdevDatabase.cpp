#include "ports/UdevDatabase.h"

#include "platform/LastError.h"

#include <libudev.h>
#include <unistd.h>

#include <cerrno>

namespace fk {

namespace {

struct EnumerateDeleter {
    void operator()(udev_enumerate* e) const noexcept { udev_enumerate_unref(e); }
};
struct DeviceDeleter {
    void operator()(udev_device* d) const noexcept { udev_device_unref(d); }
};
using TEnumerate = std::unique_ptr<udev_enumerate, EnumerateDeleter>;
using TDevice = std::unique_ptr<udev_device, DeviceDeleter>;

} // namespace

void TUdevDatabase::Deleter::operator()(struct udev* u) const noexcept
{
    udev_unref(u);
}

TUdevDatabase::TUdevDatabase()
    : udev_(udev_new())
{
}

TUdevDatabase::~TUdevDatabase() = default;

bool TUdevDatabase::DaemonRunning() noexcept
{
    return ::access("/run/udev/control", F_OK) == 0;
}

bool TUdevDatabase::ListDevices(const char* subsystem, std::vector<String>& names) const
{
    names.clear();
    if (!udev_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    TEnumerate e(udev_enumerate_new(udev_.get()));
    if (!e || udev_enumerate_add_match_subsystem(e.get(), subsystem) < 0 || udev_enumerate_scan_devices(e.get()) < 0) {
        SetLastError(ERROR_GEN_FAILURE);
        return false;
    }
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e.get()))
    {
        const char* path = udev_list_entry_get_name(entry);
        if (!path)
            continue;
        const String p(path);
        const auto slash = p.rfind('/');
        if (slash != String::npos && slash + 1 < p.size())
            names.push_back(p.substr(slash + 1));
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TUdevDatabase::GetProperties(const String& sysPath, TDeviceProperties& properties) const
{
    properties.clear();
    if (!udev_)
        return false;
    TDevice d(udev_device_new_from_syspath(udev_.get(), sysPath.c_str()));
    if (!d)
        return false;
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(d.get()))
    {
        const char* name = udev_list_entry_get_name(entry);
        const char* value = udev_list_entry_get_value(entry);
        if (name)
            properties[name] = value ? value : "";
    }
    return true;
}

} // namespace fk
