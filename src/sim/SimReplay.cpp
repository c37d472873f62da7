#include "sim/SimReplay.h"

#include "protocol/DeviceMessages.h"
#include "protocol/KestPacketHeader2.h"
#include "support/TraceFileReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace fk {

namespace {

// One packet of the trace, its data unscrambled.
struct TTracedPacket {
    int Line = 0;
    double Time = 0;
    bool Sent = false;
    u8 Code = 0;
    u8 Source = 0;
    u8 Destination = 0;
    std::string Port;
    TByteString Data;
};

std::optional<TTracedPacket> ReadPacket(const TTraceFileReader::TLine& line)
{
    TByteString bytes;
    if (!TTraceFileReader::HexBytes(line.Fields, bytes) || bytes.size() < KestPacketHeader2_t_::DataOffset)
        return std::nullopt;
    auto* h = reinterpret_cast<KestPacketHeader2_t_*>(bytes.data());
    if (!h->IsValid() || h->GetPacketLength() != bytes.size())
        return std::nullopt;
    h->Decode();
    TTracedPacket p;
    p.Line = line.Number;
    p.Time = line.Time;
    p.Sent = line.Event == "tx";
    p.Code = h->GetCode();
    p.Source = h->GetSource();
    p.Destination = h->GetDestination();
    p.Data.assign(bytes.begin() + KestPacketHeader2_t_::DataOffset, bytes.end());
    return p;
}

// A request of the trace and what became of it.
struct TRequest {
    int Line = 0;
    double Time = 0;
    u8 Code = 0;
    TByteString Data;
    bool Answered = false;
    unsigned LatencyMs = 0;
};

// An 8-bit text field as it reads: up to its first zero byte, control characters escaped.
std::string Shown(const std::string& field)
{
    std::string out;
    for (const char c : field) {
        if (c == '\0')
            break;
        if (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Raw32(const u8* p) { return std::string(reinterpret_cast<const char*>(p), 32); }

} // namespace

bool TSimReplay::Load(const std::string& path)
{
    TTraceFileReader trace;
    if (!trace.Read(path)) {
        error_ = trace.Error();
        return false;
    }
    return Take(trace);
}

bool TSimReplay::Take(const TTraceFileReader& trace)
{
    told_ = TSimOptions{};
    deviceInfo_ = firmwareInfo_ = parameters_ = false;
    error_.clear();
    notes_.clear();

    // The packets of one port: the first that carried a controller's reply (a window's trace
    // may hold several connections).
    std::vector<TTracedPacket> packets;
    std::string port, otherPorts;
    for (const TTraceFileReader::TLine& line : trace.Lines()) {
        if (line.Event != "tx" && line.Event != "rx")
            continue;
        std::optional<TTracedPacket> p = ReadPacket(line);
        if (!p) {
            error_ = "line " + std::to_string(line.Number) + ": the packet in \"hex\" is damaged";
            return false;
        }
        if (p->Sent ? p->Destination != dtController : p->Source != dtController)
            continue;
        p->Port = line.Fields.value(QStringLiteral("port")).toString().toStdString();
        if (port.empty() && !p->Sent)
            port = p->Port;
        packets.push_back(std::move(*p));
    }
    if (packets.empty()) {
        error_ = "the trace holds no packet sent to or received from a controller";
        return false;
    }
    if (!port.empty()) {
        std::vector<TTracedPacket> kept;
        for (TTracedPacket& p : packets) {
            if (p.Port == port)
                kept.push_back(std::move(p));
            else if (otherPorts.find(p.Port) == std::string::npos)
                otherPorts += (otherPorts.empty() ? "" : ", ") + p.Port;
        }
        packets = std::move(kept);
    }

    std::vector<TRequest> requests;
    TDeviceParameters block;
    block.SetOpenTime(told_.OpenTime);
    block.SetBreakTime(told_.BreakTime);
    int blockLine = 0;
    std::string confirmed;
    for (const TTracedPacket& p : packets) {
        if (p.Sent) {
            requests.push_back({p.Line, p.Time, p.Code, p.Data, false, 0});
            continue;
        }
        TRequest* answered = nullptr;
        for (TRequest& r : requests)
            if (!r.Answered && r.Code == p.Code) {
                answered = &r;
                break;
            }
        if (answered) {
            answered->Answered = true;
            answered->LatencyMs = static_cast<unsigned>(std::lround(std::max(0.0, p.Time - answered->Time) * 1000.0));
        }
        const unsigned n = static_cast<unsigned>(p.Data.size());
        if (p.Code == dcDeviceInfo && !deviceInfo_ && n >= TDeviceInfo::Size) {
            TDeviceInfo d;
            d.Load(p.Data.data(), n);
            deviceInfo_ = true;
            told_.DeviceInfoBytes.assign(d.Bytes, d.Bytes + TDeviceInfo::Size);
            told_.Identifier = d.Identifier();
            told_.Support = d.Support();
            told_.SerialNumber = Raw32(d.Bytes + 11);
            told_.BlockSize = d.BlockSize();
            told_.BlockCount = d.BlockCount();
            told_.StartInBootloader = !d.ApplicationRuns();
            told_.FirmwareCorrupt = d.IsCorrupt();
            notes_.push_back("device information (line " + std::to_string(p.Line) + "): identifier "
                             + IdentifierText(d.Identifier()) + ", serial number \"" + Shown(told_.SerialNumber) + "\", "
                             + (d.ApplicationRuns() ? "application" : "bootloader")
                             + (d.IsCorrupt() ? ", firmware corrupted" : "") + ", "
                             + std::to_string(d.BlockCount()) + " x " + std::to_string(d.BlockSize())
                             + " byte blocks, support byte " + std::to_string(d.Support()));
        } else if (p.Code == dcFirmwareInfo && !firmwareInfo_ && n >= TFirmwareInfo::Size) {
            TFirmwareInfo f;
            f.Load(p.Data.data(), n);
            firmwareInfo_ = true;
            told_.FirmwareInfoBytes.assign(f.Bytes, f.Bytes + TFirmwareInfo::Size);
            told_.Version[0] = f.Version1();
            told_.Version[1] = f.Version2();
            told_.Version[2] = f.Version3();
            told_.BuildYear = f.BuildYear();
            told_.BuildMonth = f.BuildMonth();
            told_.BuildDay = f.BuildDay();
            told_.InfoText = Raw32(f.Bytes + 11);
            notes_.push_back("firmware description (line " + std::to_string(p.Line) + "): identifier "
                             + IdentifierText(f.Identifier()) + ", version " + f.VersionText() + ", build date "
                             + f.BuildDateText() + ", information \"" + Shown(told_.InfoText) + "\"");
        } else if (p.Code == dcParameters && n >= 2) {
            block.Load(p.Data.data(), n);
            parameters_ = true;
            blockLine = p.Line;
            confirmed.clear();
        } else if (p.Code == dcParameters && n == 0 && answered && answered->Data.size() >= 3) {
            // A write acknowledged: the device holds the bytes written.
            const unsigned offset = answered->Data[0] | unsigned(answered->Data[1]) << 8;
            for (std::size_t i = 2; i < answered->Data.size() && offset + i - 2 < TDeviceParameters::Size; ++i)
                block.Bytes[offset + i - 2] = answered->Data[i];
            parameters_ = true;
            confirmed += (confirmed.empty() ? "" : ", ") + std::string("line ") + std::to_string(p.Line);
        }
    }
    if (parameters_) {
        told_.ParameterBytes.assign(block.Bytes, block.Bytes + TDeviceParameters::Size);
        told_.OpenTime = block.OpenTime();
        told_.BreakTime = block.BreakTime();
        notes_.push_back("parameters: open time " + std::to_string(block.OpenTime()) + ", break time "
                         + std::to_string(block.BreakTime())
                         + (blockLine ? " (reported on line " + std::to_string(blockLine) + ")" : std::string())
                         + (confirmed.empty() ? std::string() : ", with the writes confirmed on " + confirmed));
    }

    // Silent for good: every request from some point to the end went unanswered.
    std::size_t firstSilent = requests.size();
    while (firstSilent > 0 && !requests[firstSilent - 1].Answered)
        --firstSilent;
    if (firstSilent < requests.size()) {
        const double end = trace.Lines().back().Time;
        const TRequest& r = requests[firstSilent];
        if (requests.size() - firstSilent >= 2 || end - r.Time >= SilenceSeconds) {
            told_.SilentFrom = static_cast<unsigned>(firstSilent + 1);
            notes_.push_back("silent from request #" + std::to_string(told_.SilentFrom) + " on (line "
                             + std::to_string(r.Line) + ", " + DeviceCodeName(r.Code) + ")");
        }
    }
    // Late for good: every answered request from some point on took LateThresholdMs or more.
    std::size_t firstLate = firstSilent;
    unsigned lateMs = 0;
    for (std::size_t i = firstSilent; i > 0; --i) {
        const TRequest& r = requests[i - 1];
        if (!r.Answered)
            continue;
        if (r.LatencyMs < LateThresholdMs)
            break;
        firstLate = i - 1;
        lateMs = lateMs == 0 ? r.LatencyMs : std::min(lateMs, r.LatencyMs);
    }
    if (lateMs > 0) {
        told_.LateFrom = static_cast<unsigned>(firstLate + 1);
        told_.LateMs = lateMs;
        notes_.push_back("replies " + std::to_string(lateMs) + " ms late from request #"
                         + std::to_string(told_.LateFrom) + " on (line " + std::to_string(requests[firstLate].Line)
                         + ")");
    }
    std::string missing;
    for (const auto& [told, what] : {std::pair{deviceInfo_, "device information"},
                                     std::pair{firmwareInfo_, "firmware description"},
                                     std::pair{parameters_, "parameters"}})
        if (!told)
            missing += (missing.empty() ? "" : ", ") + std::string(what);
    if (!missing.empty())
        notes_.push_back("not in the trace, the simulator's own: " + missing);
    if (!otherPorts.empty())
        notes_.push_back("replaying the controller on " + port + "; the trace also holds packets of " + otherPorts
                         + ", which are left out");
    return true;
}

void TSimReplay::Apply(TSimOptions& o) const
{
    if (deviceInfo_) {
        o.DeviceInfoBytes = told_.DeviceInfoBytes;
        o.Identifier = told_.Identifier;
        o.Support = told_.Support;
        o.SerialNumber = told_.SerialNumber;
        o.BlockSize = told_.BlockSize;
        o.BlockCount = told_.BlockCount;
        o.StartInBootloader = told_.StartInBootloader;
        o.FirmwareCorrupt = told_.FirmwareCorrupt;
    }
    if (firmwareInfo_) {
        o.FirmwareInfoBytes = told_.FirmwareInfoBytes;
        std::copy(told_.Version, told_.Version + 3, o.Version);
        o.BuildYear = told_.BuildYear;
        o.BuildMonth = told_.BuildMonth;
        o.BuildDay = told_.BuildDay;
        o.InfoText = told_.InfoText;
    }
    if (parameters_) {
        o.ParameterBytes = told_.ParameterBytes;
        o.OpenTime = told_.OpenTime;
        o.BreakTime = told_.BreakTime;
    }
    o.SilentFrom = told_.SilentFrom;
    o.LateFrom = told_.LateFrom;
    o.LateMs = told_.LateMs;
}

} // namespace fk
