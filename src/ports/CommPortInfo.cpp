#include "ports/CommPortInfo.h"

#include "support/MyString.h"

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

} // namespace fk::TCommEnumerator
