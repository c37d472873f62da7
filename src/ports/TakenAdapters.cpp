#include "ports/TakenAdapters.h"

#include "ports/FileHolders.h"
#include "ports/Sysfs.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace fk {

namespace {

bool ReadHex16(const String& dir, const char* name, u16& value)
{
    String text;
    if (!TSysfs::ReadAttribute(dir, name, text) || text.empty() || text.size() > 4)
        return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 16);
    if (*end)
        return false;
    value = u16(v);
    return true;
}

} // namespace

String TTakenAdapters::BridgeChip(u16 vendorId, u16 productId) noexcept
{
    struct TBridge {
        u16 vendor, product;
        const char* chip;
    };
    static constexpr TBridge bridges[] = {
        {0x1a86, 0x7523, "CH340"},  {0x1a86, 0x5523, "CH341"},  {0x1a86, 0x7522, "CH340"},
        {0x10c4, 0xea60, "CP210x"}, {0x10c4, 0xea70, "CP2105"}, {0x10c4, 0xea71, "CP2108"},
        {0x0403, 0x6001, "FT232R"}, {0x0403, 0x6015, "FT231X"},
    };
    for (const TBridge& b : bridges)
        if (b.vendor == vendorId && b.product == productId)
            return b.chip;
    return {};
}

std::vector<TTakenAdapter> TTakenAdapters::Find(const TCommEnumerator::TDiscoveryPaths& paths, const String& procRoot)
{
    std::vector<TTakenAdapter> taken;
    if (TFileHolders(procRoot).FindProcess("brltty").Pid == 0)
        return taken;
    namespace fs = std::filesystem;
    const TSysfs sysfs(paths.SysRoot, paths.DevRoot);
    // Where the serial ports of the tree are.
    std::vector<String> ttys, ttyPaths;
    sysfs.ListClass("tty", ttys);
    for (const String& name : ttys)
        if (String p = sysfs.ClassDevicePath("tty", name); !p.empty())
            ttyPaths.push_back(p);
    std::error_code ec;
    for (fs::directory_iterator it(paths.SysRoot + "/bus/usb/devices", ec), end; !ec && it != end; it.increment(ec)) {
        const String name = it->path().filename().string();
        if (name.find(':') != String::npos)
            continue; // an interface, not a device
        std::error_code ec2;
        const String dir = fs::canonical(it->path(), ec2).string();
        TTakenAdapter a;
        if (ec2 || !ReadHex16(dir, "idVendor", a.VendorId) || !ReadHex16(dir, "idProduct", a.ProductId))
            continue;
        const String chip = BridgeChip(a.VendorId, a.ProductId);
        if (chip.empty())
            continue;
        const bool hasPort = std::any_of(ttyPaths.begin(), ttyPaths.end(),
                                         [&](const String& p) { return p.rfind(dir + "/", 0) == 0; });
        if (hasPort)
            continue;
        a.UsbPath = name;
        if (!TSysfs::ReadAttribute(dir, "product", a.Product) || a.Product.empty())
            a.Product = chip;
        taken.push_back(a);
    }
    return taken;
}

} // namespace fk
