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
    String identity;
    if (!SerialNumber.empty())
        identity = "usb:" + String(ids) + ":" + SerialNumber;
    else if (!UsbPath.empty())
        identity = "usb:" + String(ids) + "@" + UsbPath;
    if (!identity.empty() && SharedUsbDevice && !UsbInterface.empty())
        identity += ":if" + UsbInterface;
    return identity;
}

bool TCommPortInfo::MatchesIdentity(const String& identity) const
{
    const String own = Identity();
    if (own.empty() || identity.empty())
        return false;
    if (own == identity)
        return true;
    // Without an interface the text names the adapter: any of its ports.
    const String suffix = ":if" + UsbInterface;
    return SharedUsbDevice && !UsbInterface.empty() && own.size() == identity.size() + suffix.size()
        && own.compare(0, identity.size(), identity) == 0;
}

std::vector<std::size_t> IdentityMatches(const std::vector<TCommPortInfo>& list, const String& identity)
{
    std::vector<std::size_t> matches;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].MatchesIdentity(identity))
            matches.push_back(i);
    return matches;
}

bool TCommPortInfo::IsIdentity(const String& text) noexcept
{
    return text.size() > 14 && text.rfind("usb:", 0) == 0 && text[8] == ':' && (text[13] == ':' || text[13] == '@');
}

} // namespace fk::TCommEnumerator
