#pragma once
// A small copy of the kernel's device tree in a temporary folder, laid out as sysfs lays
// it out: devices under sys/devices with relative "subsystem" and "driver" links, class
// entries under sys/class/tty linking to them, and stand-in nodes under dev.
#include <map>
#include <string>

namespace fk::test {

class FakeDeviceTree {
public:
    FakeDeviceTree();
    ~FakeDeviceTree();
    FakeDeviceTree(const FakeDeviceTree&) = delete;
    FakeDeviceTree& operator=(const FakeDeviceTree&) = delete;

    std::string Root() const { return root_; }
    std::string Sys() const { return root_ + "/sys"; }
    std::string Dev() const { return root_ + "/dev"; }
    std::string Bluetooth() const { return root_ + "/bluetooth"; }

    using Attributes = std::map<std::string, std::string>;

    // A device folder below sys/devices (path relative to it), with its bus and driver.
    void Device(const std::string& path, const std::string& subsystem, const std::string& driver = "",
                const Attributes& attrs = {});
    // A tty below the device at `parent` (relative to sys/devices), or a virtual one when
    // parent is empty; with the class link and a node under dev (unless node is false).
    void Tty(const std::string& parent, const std::string& name, const Attributes& attrs = {}, bool node = true);

    void File(const std::string& relPath, const std::string& contents);
    void Link(const std::string& relPath, const std::string& target); // target as given

    // The standard machine of the tests: see FakeDeviceTree.cpp.
    void BuildStandardMachine();
    // An FTDI adapter with two ports (FT2232: one serial number, interfaces 0 and 1) in a USB
    // socket ("1-7"), its ports tty0 and tty1 with their /dev/serial/by-path links.
    void DualAdapter(const std::string& socket, const std::string& serial, const std::string& tty0,
                     const std::string& tty1);

private:
    std::string root_;
};

} // namespace fk::test
