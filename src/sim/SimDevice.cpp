#include "sim/SimDevice.h"
#include "support/BitOrder.h"

#include <algorithm>
#include <cstring>

namespace fk {

namespace {

// 8-bit text, zero-padded to 32 bytes (longer text is cut).
void PutText(u8* p, const std::string& text) noexcept
{
    std::memset(p, 0, 32);
    std::memcpy(p, text.data(), std::min<std::size_t>(text.size(), 32));
}

template <class R>
TByteString Bytes(const R& record)
{
    return TByteString(record.Bytes, record.Bytes + R::Size);
}

std::string Count(unsigned n, const char* what) { return std::to_string(n) + " " + what; }

} // namespace

TSimDevice::TSimDevice(const TSimOptions& options)
    : options_(options), bootloader_(options.StartInBootloader), corrupt_(options.FirmwareCorrupt)
{
    parameters_.SetOpenTime(options.OpenTime);
    parameters_.SetBreakTime(options.BreakTime);
    if (options.ParameterBytes.size() >= 2)
        parameters_.Load(options.ParameterBytes.data(), static_cast<unsigned>(options.ParameterBytes.size()));
}

const char* TSimDevice::CodeName(TDevContext2 code) noexcept
{
    const char* name = DeviceCodeName(code);
    return *name != '\0' ? name : "unknown code";
}

TDeviceInfo TSimDevice::DeviceInfo() const noexcept
{
    TDeviceInfo r;
    if (r.Load(options_.DeviceInfoBytes.data(), static_cast<unsigned>(options_.DeviceInfoBytes.size()))) {
        r.Bytes[53] = bootloader_ ? 0 : 1;
        r.Bytes[54] = corrupt_ ? 1 : 0;
        return r;
    }
    BitOrder::PutLE32(r.Bytes, options_.Identifier);
    r.Bytes[7] = options_.Support;
    PutText(r.Bytes + 11, options_.SerialNumber);
    BitOrder::PutLE16(r.Bytes + 49, options_.BlockSize);
    BitOrder::PutLE16(r.Bytes + 51, options_.BlockCount);
    r.Bytes[53] = bootloader_ ? 0 : 1;
    r.Bytes[54] = corrupt_ ? 1 : 0;
    return r;
}

TFirmwareInfo TSimDevice::FirmwareInfo() const noexcept
{
    TFirmwareInfo r;
    if (r.Load(options_.FirmwareInfoBytes.data(), static_cast<unsigned>(options_.FirmwareInfoBytes.size())))
        return r;
    BitOrder::PutLE32(r.Bytes, options_.Identifier);
    r.Bytes[5] = static_cast<u8>(options_.BuildYear - 2000);
    r.Bytes[6] = options_.BuildMonth;
    r.Bytes[7] = options_.BuildDay;
    std::copy(options_.Version, options_.Version + 3, r.Bytes + 8);
    PutText(r.Bytes + 11, options_.InfoText);
    return r;
}

TSimDevice::TOutcome TSimDevice::Handle(const KestPacketHeader2_t_& request, const u8* data,
                                        unsigned size)
{
    // A request that repeats the previous one after its reply was lost is a resend.
    const bool resend = replyLost_ && request.GetCode() == lastCode_;
    replyLost_ = false;
    lastCode_ = request.GetCode();

    TOutcome out;
    const TDevContext2 code = request.GetCode();
    const bool anyMode = code == dcDeviceInfo || code == dcStatus || code == dcRestart
        || code == dcEnterBootloader;
    if (bootloader_ && !anyMode && code != dcFirmwareBlock) {
        out.Note = "not answered in the bootloader";
        return out;
    }
    switch (code) {
    case dcDeviceInfo:
        out.Reply = true;
        out.ReplyData = Bytes(DeviceInfo());
        out.Note = bootloader_ ? "device information (bootloader)" : "device information (application)";
        return out;
    case dcFirmwareInfo:
        out.Reply = true;
        out.ReplyData = Bytes(FirmwareInfo());
        out.Note = "firmware information";
        return out;
    case dcStatus:
        out.Reply = true;
        out.ReplyData = {static_cast<u8>(bootloader_ ? 0 : 1), static_cast<u8>(venting_ ? 1 : 0),
                         parameters_.OpenTime(), parameters_.BreakTime()};
        out.Note = "status";
        return out;
    case dcParameters:
        return Parameters(data, size);
    case dcVentingToggle:
        venting_ = !venting_;
        out.Reply = true;
        out.Note = venting_ ? "venting on" : "venting off";
        return out;
    case dcRestart:
        return RestartInto(options_.StayInBootloader || (corrupt_ && !HasNewFirmware()), "restart");
    case dcEnterBootloader:
        return RestartInto(!options_.RefuseBootloader || bootloader_, "enter bootloader");
    case dcFirmwareBlock:
        if (!bootloader_) {
            out.Note = "firmware block ignored: the application runs";
            return out;
        }
        return FirmwareBlock(data, size, resend);
    default:
        out.Note = "not answered: unknown code";
        return out;
    }
}

TSimDevice::TOutcome TSimDevice::Parameters(const u8* data, unsigned size)
{
    TOutcome out;
    out.Reply = true;
    if (size == 0) {
        out.ReplyData = Bytes(parameters_);
        out.Note = "parameters read";
        return out;
    }
    const unsigned offset = size >= 2 ? (data[0] | data[1] << 8) : 0;
    const unsigned n = size >= 2 ? size - 2 : 0;
    if (n == 0 || offset + n > TDeviceParameters::Size) {
        out.ReplyData = Bytes(parameters_);
        out.Note = "parameter write refused (offset " + std::to_string(offset) + ", "
            + Count(n, "bytes") + "): answered with the parameters held";
        return out;
    }
    std::memcpy(parameters_.Bytes + offset, data + 2, n);
    out.Note = "parameters written: " + Count(n, "bytes") + " at offset " + std::to_string(offset);
    return out;
}

bool TSimDevice::HasNewFirmware() const noexcept
{
    if (!bootloader_ || !transfer_ || received_.empty())
        return false;
    if (!options_.ExpectedFirmware.empty())
        return received_ == options_.ExpectedFirmware;
    return lastBlock_.size() < options_.BlockSize || received_.size() >= options_.Capacity();
}

TSimDevice::TOutcome TSimDevice::FirmwareBlock(const u8* data, unsigned size, bool resend)
{
    TOutcome out;
    if (size == 0) {
        const bool again = transfer_;
        transfer_ = true;
        corrupt_ = true; // the application is erased for the new one
        received_.clear();
        lastBlock_.clear();
        out.Reply = true;
        out.Note = again ? "firmware transfer started again: what was received is dropped"
                         : "firmware transfer started: the application is erased";
        return out;
    }
    if (!transfer_) {
        out.Note = "firmware block refused: no transfer started";
        return out;
    }
    if (size > options_.BlockSize) {
        out.Note = "firmware block refused: " + Count(size, "bytes") + ", block size "
            + std::to_string(options_.BlockSize);
        return out;
    }
    const bool duplicate = resend && lastBlock_.size() == size
        && std::equal(lastBlock_.begin(), lastBlock_.end(), data);
    out.Reply = true;
    if (duplicate) {
        ++duplicates_;
        if (options_.Dedupe) {
            out.Note = "firmware block of " + Count(size, "bytes")
                + " is a resend of the last one (its reply was lost): dropped";
            return out;
        }
    }
    if (received_.size() + size > options_.Capacity()) {
        out.Reply = false;
        out.Note = "firmware block refused: past the capacity of "
            + std::to_string(options_.Capacity()) + " bytes";
        return out;
    }
    received_.insert(received_.end(), data, data + size);
    lastBlock_.assign(data, data + size);
    out.Note = "firmware block of " + Count(size, "bytes") + ", " + std::to_string(received_.size())
        + " received";
    if (duplicate)
        out.Note += " (DUPLICATE: a resend of the last block, whose reply was lost; appended again)";
    return out;
}

TSimDevice::TOutcome TSimDevice::RestartInto(bool bootloader, const char* what)
{
    TOutcome out;
    out.Reply = true;
    out.Restart = true;
    nextBootloader_ = bootloader;
    out.Note = std::string(what) + ": restarting into the " + (bootloader ? "bootloader" : "application");
    return out;
}

bool TSimDevice::FinishRestart()
{
    const bool install = !nextBootloader_ && HasNewFirmware();
    restartNote_.clear();
    if (bootloader_ && transfer_ && !HasNewFirmware()) {
        restartNote_ = "the transfer was not complete (" + std::to_string(received_.size())
            + " bytes received): the partial firmware is not run, it stays corrupt";
        if (options_.ExpectedFirmware.empty() && !received_.empty())
            restartNote_ += " (it ended on a whole block; a payload of whole blocks is taken as complete "
                            "only when it is the expected image's, --expect-image)";
    }
    bootloader_ = nextBootloader_;
    if (install) {
        installed_ = received_;
        corrupt_ = false;
    }
    // A restart ends any transfer; what was received and not installed is lost.
    transfer_ = false;
    received_.clear();
    lastBlock_.clear();
    return install;
}

} // namespace fk
