#include "ports/CommEnumerator.h"

#include "platform/LastError.h"
#include "ports/BluezStore.h"
#include "ports/PortImageList.h"
#include "ports/SerialPortScanner.h"
#include "ports/Sysfs.h"
#include "ports/UdevDatabase.h"
#include "ports/UniqueFd.h"
#include "support/MyString.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <memory>
#include <new>
#include <strings.h>

namespace fk::TCommEnumerator {

namespace {

// The registry-style "cannot open the key" error of a failed device-map read.
constexpr DWORD ERROR_CANTOPEN = 1011;

// The udev database when the real device tree is read and nothing else was handed in.
std::unique_ptr<TUdevDatabase> DefaultDatabase(const TDiscoveryPaths& paths, const TDevicePropertySource* given)
{
    if (!given && paths.SysRoot == "/sys")
        return std::make_unique<TUdevDatabase>();
    return nullptr;
}

const TDevicePropertySource* Source(const std::unique_ptr<TUdevDatabase>& db, const TDevicePropertySource* given)
{
    if (given)
        return given;
    return db && db->Valid() ? db.get() : nullptr;
}

// Describes every real serial port; false when the tty devices cannot be listed.
bool Discover(const TDiscoveryPaths& paths, const TDevicePropertySource* properties, std::vector<TCommPortInfo>& ports)
{
    ports.clear();
    const TSysfs sysfs(paths.SysRoot, paths.DevRoot);
    const TSerialPortScanner scanner(sysfs, properties);
    std::vector<String> names;
    if (!scanner.ListTtys(names))
        return false;
    std::vector<TCommPortInfo> modems;
    for (const String& name : names) {
        TCommPortInfo info;
        if (!scanner.Describe(name, info) || info.Service.empty())
            continue;
        (info.DeviceClass == "Modem" ? modems : ports).push_back(std::move(info));
    }
    ports.insert(ports.end(), std::make_move_iterator(modems.begin()), std::make_move_iterator(modems.end()));
    // The ports of one USB device (the two of an FT2232) are told apart by their interface.
    for (TCommPortInfo& p : ports)
        p.SharedUsbDevice = !p.UsbPath.empty() && std::count_if(ports.begin(), ports.end(), [&](const TCommPortInfo& q) {
            return q.UsbPath == p.UsbPath && q.UsbVendorId == p.UsbVendorId;
        }) > 1;
    return true;
}

// The trailing decimal digits of a port name; false when there are none or too many.
bool TrailingNumber(const String& name, unsigned long& n)
{
    std::size_t i = name.size();
    while (i > 0 && name[i - 1] >= '0' && name[i - 1] <= '9')
        --i;
    if (i == name.size() || name.size() - i > 9)
        return false;
    // At most nine digits: no overflow, and from_chars throws nothing.
    return std::from_chars(name.data() + i, name.data() + name.size(), n).ec == std::errc();
}

// Device node names that serial drivers use.
bool LooksLikeSerialNode(const String& name)
{
    static const char* const kPrefixes[] = { "ttyS", "ttyUSB", "ttyACM", "ttyAMA", "ttyO", "ttySAC", "ttymxc", "ttyHS", "ttyMSM", "ttyTHS", "ttyXRUSB", "ttyMFD", "ttySC", "ttyLP", "ttyPS", "ttyUL", "ttyGS", "rfcomm" };
    for (const char* p : kPrefixes) {
        const std::size_t len = std::strlen(p);
        if (name.size() > len && name.compare(0, len, p) == 0
            && std::all_of(name.begin() + static_cast<long>(len), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return true;
    }
    return false;
}

// The field `index` (0-based) of a line split at separator; empty when it has none.
String Field(const String& line, char separator, int index)
{
    int pos = 0;
    String field;
    for (int i = 0; i <= index; ++i)
        if (!MyString::StringToken0(line, field, pos, separator))
            return {};
    return field;
}

} // namespace

TPortKind PortKindOf(const TCommPortInfo& info) noexcept
{
    if (info.Service == "rfcomm" || info.ParentClassGuid == GUID_DEVCLASS_BLUETOOTH)
        return pkBluetooth;
    if (info.Service == "ftdi_sio")
        return pkFtdi;
    if (info.ParentClassGuid == GUID_DEVCLASS_USB)
        return pkVirtual;
    if (info.SystemPort)
        return pkStandard;
    return pkOther;
}

u32 PortNameTag(const String& portName, TPortKind kind) noexcept
{
    unsigned long n = 0;
    if (!TrailingNumber(portName, n) || n >= 256)
        return 0;
    return MakePortTag(static_cast<unsigned>(n), kind);
}

bool GetPortList(TCommPortList_& list, bool skipParallel)
{
    return GetPortList(list, skipParallel, TDiscoveryPaths(), nullptr);
}

bool GetPortList(TCommPortList_& list, bool skipParallel, const TDiscoveryPaths& paths,
                 const TDevicePropertySource* properties)
{
    try {
        list.clear();
        if (list.Images)
            list.Images->LoadClassImages();

        const auto db = DefaultDatabase(paths, properties);
        std::vector<TCommPortInfo> ports;
        if (!Discover(paths, Source(db, properties), ports))
            return false;

        std::vector<std::size_t> pending; // entries that wait for a Bluetooth name
        for (TCommPortInfo& info : ports) {
            if (skipParallel && ::strcasecmp(info.Service.c_str(), "parport") == 0)
                continue;
            if (list.Images)
                info.ImageIndex = list.Images->ClassImageIndex(info.GetDeviceGuid());
            list.push_back(std::move(info));
            if (list.back().BluetoothAddress != 0)
                pending.push_back(list.size() - 1);
        }

        // Each known device names the first port bound to it that is still waiting.
        if (!pending.empty()) {
            for (const auto& [address, name] : TBluezStore(paths.BluetoothRoot).Devices()) {
                if (pending.empty())
                    break;
                const auto it = std::find_if(pending.begin(), pending.end(),
                                             [&, a = address](std::size_t i) { return list[i].BluetoothAddress == a; });
                if (it != pending.end()) {
                    list[*it].BluetoothName = name;
                    pending.erase(it);
                }
            }
        }
        SetLastError(ERROR_SUCCESS);
        return true;
    } catch (const std::bad_alloc&) {
        list.clear();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}

bool GetPortListImages(TCommPortList_& list)
{
    if (!list.Images) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!list.Images->LoadClassImages())
        return false;
    for (TCommPortInfo& info : list)
        info.ImageIndex = list.Images->ClassImageIndex(info.GetDeviceGuid());
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool SerialPortsByDeviceMap(TPortLines* lines, char separator, const TDiscoveryPaths& paths)
{
    if (!lines) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    try {
        std::vector<TCommPortInfo> ports;
        if (!Discover(paths, nullptr, ports)) {
            SetLastError(ERROR_CANTOPEN);
            return false;
        }
        for (const TCommPortInfo& info : ports)
            lines->push_back({ info.PortName + separator + info.Service, PortNameTag(info.PortName, PortKindOf(info)) });
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool SerialPortsByHandle(TPortLines* lines, const TDiscoveryPaths& paths)
{
    if (!lines) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    try {
        std::vector<String> names;
        std::error_code ec;
        std::filesystem::directory_iterator it(paths.DevRoot, ec);
        for (const std::filesystem::directory_iterator end; !ec && it != end; it.increment(ec)) {
            String name = it->path().filename().string();
            if (LooksLikeSerialNode(name))
                names.push_back(std::move(name));
        }
        std::sort(names.begin(), names.end(),
                  [](const String& a, const String& b) { return MyString::StringCompare(a, b, 8) == 1; });

        for (const String& name : names) {
            const String node = paths.DevRoot + "/" + name;
            struct stat st {};
            if (::stat(node.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
                continue;
            unsigned kind = pkOther;
            TUniqueFd fd(::open(node.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
            if (fd.Valid()) {
                if (!::isatty(fd.Get()))
                    continue;
                // A serial-core port without a UART (type 0) is a phantom.
                serial_struct ss {};
                if (::ioctl(fd.Get(), TIOCGSERIAL, &ss) == 0 && ss.type == 0)
                    continue;
            } else {
                switch (errno) {
                case ENOENT:
                case ENODEV:
                case ENXIO:
                case EIO: // a phantom UART
                    continue;
                case ETIMEDOUT:
                case EHOSTDOWN:
                case EHOSTUNREACH:
                case ECONNREFUSED: // an RFCOMM port whose remote device does not answer
                    kind = pkBluetooth;
                    break;
                default: // in use, or not allowed: the port exists
                    break;
                }
            }
            unsigned long n = 0;
            const unsigned number = TrailingNumber(name, n) && n <= 0xFFFF ? static_cast<unsigned>(n) : 0;
            lines->push_back({ name, MakePortTag(number, kind) });
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool SerialPortsByDeviceDesc(TPortLines* lines, char separator, const TDiscoveryPaths& paths,
                             const TDevicePropertySource* properties)
{
    if (!lines) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    try {
        const auto db = DefaultDatabase(paths, properties);
        std::vector<TCommPortInfo> ports;
        if (!Discover(paths, Source(db, properties), ports))
            return false;
        for (const TCommPortInfo& info : ports)
            lines->push_back({ info.PortName + separator + info.Service + separator + info.GetDeviceDescription(),
                               PortNameTag(info.PortName, PortKindOf(info)) });
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool GetPortNames(TPortLines* lines, bool probe, bool withDescriptions, char separator,
                  const TDiscoveryPaths& paths, const TDevicePropertySource* properties)
{
    if (!lines) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    lines->clear();
    bool ok = SerialPortsByDeviceMap(lines, separator, paths);
    if (!ok && probe)
        ok = SerialPortsByHandle(lines, paths);
    if (!withDescriptions || !ok)
        return ok;
    try {
        TPortLines descriptions;
        ok = SerialPortsByDeviceDesc(&descriptions, separator, paths, properties);
        if (!ok)
            return false;
        for (TPortLine& line : *lines) {
            const auto sep = line.Text.find(separator);
            const String name = line.Text.substr(0, sep);
            String second = sep == String::npos ? String() : Field(line.Text, separator, 1);
            String third;
            // Matched by name: port numbers repeat across kinds (ttyS0, ttyUSB0).
            const auto it = std::find_if(descriptions.begin(), descriptions.end(),
                                         [&](const TPortLine& d) { return Field(d.Text, separator, 0) == name; });
            if (it != descriptions.end()) {
                second = Field(it->Text, separator, 1);
                third = Field(it->Text, separator, 2);
                descriptions.erase(it);
            }
            line.Text = name + separator + second + separator + third;
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

String CommPortName(unsigned number, bool com)
{
    return (com ? "COM" : "LPT") + std::to_string(number);
}

String CommPortName(const String& path)
{
    const auto slash = path.rfind('/');
    return slash == String::npos ? path : path.substr(slash + 1);
}

String CommFileName(const String& name)
{
    if (name.empty())
        return {};
    if (name.find('/') == String::npos)
        return "/dev/" + name;
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path p(name);
    if (p.is_relative()) {
        const fs::path cwd = fs::current_path(ec);
        if (ec)
            return name;
        p = cwd / p;
    }
    return p.lexically_normal().string();
}

String CommFileName(unsigned number, bool com)
{
    return CommFileName(CommPortName(number, com));
}

unsigned CommPortId(const String& name, bool com)
{
    const auto at = name.find(com ? "COM" : "LPT");
    if (at == String::npos)
        return 0;
    const String rest = name.substr(at + 3);
    if (rest.empty() || rest.size() > 10 || !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    const unsigned long long v = std::stoull(rest);
    return v > 0xFFFFFFFFull ? 0 : static_cast<unsigned>(v);
}

bool CommPortId(const String& name, unsigned& id, bool com)
{
    id = CommPortId(name, com);
    return id != 0;
}

} // namespace fk::TCommEnumerator
