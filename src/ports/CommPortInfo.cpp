#include "ports/CommPortInfo.h"

#include "support/MyString.h"

#include <cstdio>

namespace fk::TCommEnumerator {

String TCommPortInfo::GetDeviceDescription() const
{
    if (!BluetoothName.empty())
        return BluetoothName;
    if (SystemPort)
        return Description.empty() ? BusDescription : Description;
    return BusDescription.empty() ? Description : BusDescription;
}

TGuid TCommPortInfo::GetDeviceGuid() const
{
    return SystemPort ? ClassGuid : ParentClassGuid;
}

bool TCommPortInfo::operator<(const TCommPortInfo& other) const
{
    // 8: embedded numbers compare by value, case matters.
    return MyString::StringCompare(PortName, other.PortName, 8) == 1;
}

String TCommPortInfo::Identity() const
{
    if (UsbVendorId == 0 && UsbProductId == 0)
        return {};
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", UsbVendorId, UsbProductId);
    if (!SerialNumber.empty())
        return "usb:" + String(ids) + ":" + SerialNumber;
    if (!UsbPath.empty())
        return "usb:" + String(ids) + "@" + UsbPath;
    return {};
}

bool TCommPortInfo::IsIdentity(const String& text) noexcept
{
    return text.size() > 14 && text.rfind("usb:", 0) == 0 && text[8] == ':' && (text[13] == ':' || text[13] == '@');
}

} // namespace fk::TCommEnumerator
