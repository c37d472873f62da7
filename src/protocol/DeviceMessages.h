#pragma once
// What travels between the configurator and the lubricator controller inside protocol-2
// packets: the two nodes, the message codes, the three records the controller returns, and
// builders for every request.
//
// Requests go from dtConfigurator to the controller with reply-match byte 0. The builders
// give the plain packet; PrepareSend makes its wire image (new key, scrambled data, checksum),
// and a reply matches the plain request through IsReplyValid.
#include "platform/Types.h"
#include "protocol/KestPacket2.h"

#include <string>
#include <type_traits>

namespace fk {

// Node codes (header bytes 2 and 3).
enum TDeviceNode : TDevType2 {
    dtConfigurator = 1, // source of every request
    dtController = 8,   // destination of every request, source of every reply
};

// Message codes (header byte 1). Codes not listed are not used by the configurator.
enum TDeviceCode : TDevContext2 {
    dcRestart = 0x00,         // restart into the application; reply without data
    dcEnterBootloader = 0x01, // restart into the bootloader; reply without data
    dcFirmwareBlock = 0x02,   // start of a transfer (no data) or one block; reply: ready for the next
    dcDeviceInfo = 0x05,      // reply: TDeviceInfo
    dcFirmwareInfo = 0x06,    // reply: TFirmwareInfo
    dcStatus = 0x07,          // keep-alive; reply data not interpreted
    dcParameters = 0x08,      // read (no data) or write (u16 offset + bytes); reply: block or ack
    dcVentingToggle = 0x7F,   // the controller toggles venting; reply without data
};

// A fixed-size record over the data of a reply; multi-byte fields are little-endian.
template <unsigned N>
struct TDeviceRecord {
    static constexpr unsigned Size = N;
    u8 Bytes[N] = {};

protected:
    u16 U16(unsigned at) const noexcept { return static_cast<u16>(Bytes[at] | Bytes[at + 1] << 8); }
    u32 U32(unsigned at) const noexcept { return u32(U16(at)) | u32(U16(at + 2)) << 16; }
    // 8-bit text that ends at the first zero byte or after 32 bytes.
    std::string Text(unsigned at) const;
};

// The data of a dcDeviceInfo reply (55 bytes).
struct TDeviceInfo : TDeviceRecord<55> {
    u32 Identifier() const noexcept { return U32(0); }
    u8 Model() const noexcept { return Bytes[2]; }
    u8 Support() const noexcept { return Bytes[7]; }
    bool IsSupported() const noexcept { return Bytes[7] <= 1; }
    std::string SerialNumber() const { return Text(11); }
    u16 BlockSize() const noexcept { return U16(49); }
    u16 BlockCount() const noexcept { return U16(51); }
    u32 Capacity() const noexcept { return u32(BlockSize()) * BlockCount(); }
    // 0: the bootloader runs, 1: the application runs (any other value counts as 1).
    u8 RunMode() const noexcept { return Bytes[53] == 0 ? 0 : 1; }
    bool ApplicationRuns() const noexcept { return RunMode() == 1; }
    bool IsCorrupt() const noexcept { return Bytes[54] != 0; }

    // Takes the first 55 bytes of a reply's data; false (and unchanged) when there are fewer.
    bool Load(const void* data, unsigned size) noexcept;
};

// The data of a dcFirmwareInfo reply (43 bytes).
// A device or image identifier as every program shows and stores it: "0x00060001".
std::string IdentifierText(u32 identifier);

struct TFirmwareInfo : TDeviceRecord<43> {
    u32 Identifier() const noexcept { return U32(0); }
    unsigned BuildYear() const noexcept { return 2000u + Bytes[5]; }
    u8 BuildMonth() const noexcept { return Bytes[6]; }
    u8 BuildDay() const noexcept { return Bytes[7]; }
    u8 Version1() const noexcept { return Bytes[8]; }
    u8 Version2() const noexcept { return Bytes[9]; }
    u8 Version3() const noexcept { return Bytes[10]; }
    std::string InfoText() const { return Text(11); }
    // "a.b.c" and "YYYY-MM-DD", as every program shows and stores them.
    std::string VersionText() const;
    std::string BuildDateText() const;

    // Takes the first 43 bytes of a reply's data; false (and unchanged) when there are fewer.
    bool Load(const void* data, unsigned size) noexcept;
};

// The parameter block of a dcParameters reply (up to 32 bytes).
struct TDeviceParameters : TDeviceRecord<32> {
    u8 OpenTime() const noexcept { return Bytes[0]; }
    u8 BreakTime() const noexcept { return Bytes[1]; }
    void SetOpenTime(u8 v) noexcept { Bytes[0] = v; }
    void SetBreakTime(u8 v) noexcept { Bytes[1] = v; }

    // A reply with 2 or more bytes is a parameter block: its first min(size, 32) bytes are
    // taken. With 0 bytes (a write acknowledged) or 1 byte it is not, and nothing changes.
    bool Load(const void* data, unsigned size) noexcept;
};

static_assert(sizeof(TDeviceInfo) == 55 && std::is_standard_layout_v<TDeviceInfo>);
static_assert(sizeof(TFirmwareInfo) == 43 && std::is_standard_layout_v<TFirmwareInfo>);
static_assert(sizeof(TDeviceParameters) == 32 && std::is_standard_layout_v<TDeviceParameters>);

// Request builders. Each gives a plain protocol-2 packet from dtConfigurator to destination.
// The ones that take data return false with ERROR_INVALID_PARAMETER, and leave out alone,
// when the data are missing or do not fit a packet.
bool BuildDeviceRequest(TKestPacket2& out, TDevContext2 code, const void* data, unsigned length,
                        TDevType2 destination = dtController) noexcept;
TKestPacket2 RestartRequest(TDevType2 destination = dtController) noexcept;
TKestPacket2 EnterBootloaderRequest(TDevType2 destination = dtController) noexcept;
TKestPacket2 FirmwareTransferStartRequest(TDevType2 destination = dtController) noexcept;
bool BuildFirmwareBlockRequest(TKestPacket2& out, const void* block, unsigned length,
                               TDevType2 destination = dtController) noexcept;
TKestPacket2 DeviceInfoRequest(TDevType2 destination = dtController) noexcept;
TKestPacket2 FirmwareInfoRequest(TDevType2 destination = dtController) noexcept;
TKestPacket2 StatusRequest(TDevType2 destination = dtController) noexcept;
TKestPacket2 ParametersReadRequest(TDevType2 destination = dtController) noexcept;
// Data: offset (u16, little-endian), then the length bytes to store from there. A write of
// 0 bytes is refused.
bool BuildParametersWriteRequest(TKestPacket2& out, u16 offset, const void* bytes, unsigned length,
                                 TDevType2 destination = dtController) noexcept;
TKestPacket2 VentingToggleRequest(TDevType2 destination = dtController) noexcept;

// The name of a message code as the code spells it ("dcStatus"); empty for codes the
// configurator does not use.
const char* DeviceCodeName(TDevContext2 code) noexcept;

} // namespace fk
