#include "protocol/DeviceMessages.h"

#include "platform/LastError.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace fk {

template <unsigned N>
std::string TDeviceRecord<N>::Text(unsigned at) const
{
    const char* p = reinterpret_cast<const char*>(Bytes + at);
    return std::string(p, strnlen(p, 32));
}

template struct TDeviceRecord<55>;
template struct TDeviceRecord<43>;
template struct TDeviceRecord<32>;

bool TDeviceInfo::Load(const void* data, unsigned size) noexcept
{
    if (!data || size < Size)
        return false;
    std::memcpy(Bytes, data, Size);
    return true;
}

std::string IdentifierText(u32 identifier)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(identifier));
    return text;
}

std::string TFirmwareInfo::VersionText() const
{
    return std::to_string(Version1()) + "." + std::to_string(Version2()) + "." + std::to_string(Version3());
}

std::string TFirmwareInfo::BuildDateText() const
{
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", BuildYear() % 10000u, unsigned(BuildMonth()),
                  unsigned(BuildDay()));
    return text;
}

bool TFirmwareInfo::Load(const void* data, unsigned size) noexcept
{
    if (!data || size < Size)
        return false;
    std::memcpy(Bytes, data, Size);
    return true;
}

bool TDeviceParameters::Load(const void* data, unsigned size) noexcept
{
    if (!data || size < 2)
        return false;
    std::memcpy(Bytes, data, std::min(size, Size));
    return true;
}

namespace {

KestPacketHeader2_t_ RequestHeader(TDevContext2 code, TDevType2 destination) noexcept
{
    KestPacketHeader2_t_ h;
    h.Initialize(dtConfigurator, destination, code, KestPacketHeader2_t_::DataOffset);
    return h;
}

TKestPacket2 Request(TDevContext2 code, TDevType2 destination) noexcept
{
    return TKestPacket2(RequestHeader(code, destination));
}

} // namespace

bool BuildDeviceRequest(TKestPacket2& out, TDevContext2 code, const void* data, unsigned length,
                        TDevType2 destination) noexcept
{
    if ((length > 0 && !data) || length > KestPacketHeader2_t_::DataLength_MAX) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    TKestPacket2 packet(RequestHeader(code, destination), data, length);
    if (packet.GetPacketBuffer().size() != KestPacketHeader2_t_::DataOffset + std::size_t(length)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    out = std::move(packet);
    SetLastError(ERROR_SUCCESS);
    return true;
}

TKestPacket2 RestartRequest(TDevType2 destination) noexcept { return Request(dcRestart, destination); }
TKestPacket2 EnterBootloaderRequest(TDevType2 destination) noexcept
{
    return Request(dcEnterBootloader, destination);
}
TKestPacket2 FirmwareTransferStartRequest(TDevType2 destination) noexcept
{
    return Request(dcFirmwareBlock, destination);
}
TKestPacket2 DeviceInfoRequest(TDevType2 destination) noexcept { return Request(dcDeviceInfo, destination); }
TKestPacket2 FirmwareInfoRequest(TDevType2 destination) noexcept
{
    return Request(dcFirmwareInfo, destination);
}
TKestPacket2 StatusRequest(TDevType2 destination) noexcept { return Request(dcStatus, destination); }
TKestPacket2 ParametersReadRequest(TDevType2 destination) noexcept
{
    return Request(dcParameters, destination);
}
TKestPacket2 VentingToggleRequest(TDevType2 destination) noexcept
{
    return Request(dcVentingToggle, destination);
}

bool BuildFirmwareBlockRequest(TKestPacket2& out, const void* block, unsigned length,
                               TDevType2 destination) noexcept
{
    return BuildDeviceRequest(out, dcFirmwareBlock, block, length, destination);
}

bool BuildParametersWriteRequest(TKestPacket2& out, u16 offset, const void* bytes, unsigned length,
                                 TDevType2 destination) noexcept
{
    if (length == 0 || !bytes || length > KestPacketHeader2_t_::DataLength_MAX - 2u) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    try {
        std::vector<u8> data(2 + std::size_t(length));
        data[0] = static_cast<u8>(offset & 0xFF);
        data[1] = static_cast<u8>(offset >> 8);
        std::memcpy(data.data() + 2, bytes, length);
        return BuildDeviceRequest(out, dcParameters, data.data(), static_cast<unsigned>(data.size()),
                                  destination);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}

const char* DeviceCodeName(TDevContext2 code) noexcept
{
    switch (code) {
    case dcRestart: return "dcRestart";
    case dcEnterBootloader: return "dcEnterBootloader";
    case dcFirmwareBlock: return "dcFirmwareBlock";
    case dcDeviceInfo: return "dcDeviceInfo";
    case dcFirmwareInfo: return "dcFirmwareInfo";
    case dcStatus: return "dcStatus";
    case dcParameters: return "dcParameters";
    case dcVentingToggle: return "dcVentingToggle";
    default: return "";
    }
}

} // namespace fk
