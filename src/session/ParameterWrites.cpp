#include "session/ParameterWrites.h"

#include "session/DeviceSession.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace fk {

TParameterWrites::TParameterWrites(TDeviceSession& session)
    : session_(session)
{
    std::memset(parameters_.Bytes, 0xFF, sizeof parameters_.Bytes);
    parameters_.Bytes[0] = OpenTimeMin;
    parameters_.Bytes[1] = BreakTimeMin;
    knobs_[skOpenTime] = {parameters_.Bytes[0], OpenTimeMin, OpenTimeMax};
    knobs_[skBreakTime] = {parameters_.Bytes[1], BreakTimeMin, BreakTimeMax};
}

void TParameterWrites::SetBreakTimeRange(u8 version)
{
    if (version == 1)
        SetKnobRange(skBreakTime, LongBreakTimeMin, LongBreakTimeMax);
    else if (version != 0)
        SetKnobRange(skBreakTime, BreakTimeMin, BreakTimeMax);
}

void TParameterWrites::SetKnobRange(TSessionKnob knob, int min, int max)
{
    // A new range moves the position into it without writing anything: only the user's own
    // moves change the device.
    TKnobState& k = knobs_[knob];
    k.Min = min;
    k.Max = max;
    k.Position = std::clamp(k.Position, min, max);
    if (session_.view_)
        session_.view_->ShowKnob(knob, k.Position, k.Min, k.Max);
}

void TParameterWrites::SetKnob(TSessionKnob knob, int position)
{
    TKnobState& k = knobs_[knob];
    k.Position = std::clamp(position, k.Min, k.Max);
    if (session_.view_)
        session_.view_->ShowKnob(knob, k.Position, k.Min, k.Max);
}

void TParameterWrites::KnobEndMove(TSessionKnob knob)
{
    // Only a connected device takes writes (a move that the lost link ended writes nothing);
    // a write on its way is settled by its acknowledgement.
    if (session_.deviceState_ != dsConnected || WriteQueued(knob))
        return;
    WriteKnobIfChanged(knob);
}

void TParameterWrites::ScrollBarScroll(TSessionKnob knob, bool endScroll, int position)
{
    SetKnob(knob, position);
    if (endScroll)
        KnobEndMove(knob);
}

unsigned TParameterWrites::Write(std::optional<int> openTime, std::optional<int> breakTime)
{
    // Counted by what went into the queue: a value clamped onto what the device holds, or a
    // knob whose write is already on its way, adds no write (and no reply to wait for).
    const unsigned before = writesQueued_;
    const std::pair<TSessionKnob, std::optional<int>> wanted[] = {{skOpenTime, openTime}, {skBreakTime, breakTime}};
    for (const auto& [knob, value] : wanted) {
        if (!value)
            continue;
        KnobChangePosition(knob, *value);
        KnobEndMove(knob);
    }
    session_.QueueRequest(dcParameters, TDeviceParameters::Size, false); // read the block back
    return writesQueued_ - before;
}

void TParameterWrites::WriteKnobIfChanged(TSessionKnob knob)
{
    const u16 offset = Offset(knob);
    const u8 value = static_cast<u8>(knobs_[knob].Position & 0xFF);
    if (value != parameters_.Bytes[offset])
        QueueWrite(offset, &value, 1);
}

bool TParameterWrites::QueueWrite(u16 offset, const void* bytes, unsigned length)
{
    constexpr unsigned MaxDataLength = TDeviceSession::MaxDataLength;
    if (length == 0 || !bytes || length > MaxDataLength - 2)
        return false;
    u8 data[MaxDataLength];
    data[0] = static_cast<u8>(offset & 0xFF);
    data[1] = static_cast<u8>(offset >> 8);
    std::memcpy(data + 2, bytes, length);
    if (!session_.QueueDataRequest(dcParameters, data, length + 2, 0, false))
        return false;
    ++writesQueued_;
    return true;
}

std::optional<TParameterWrites::TWrite> TParameterWrites::WriteOf(const TRequestQueue::TPacketElement& element)
{
    // The queued packet is prepared for the line (data scrambled): read a copy back.
    u8 bytes[KestPacketHeader2_t_::DataOffset + TDeviceSession::MaxDataLength];
    if (element.Packet.size() < KestPacketHeader2_t_::DataOffset || element.Packet.size() > sizeof bytes)
        return std::nullopt;
    std::memcpy(bytes, element.Packet.data(), element.Packet.size());
    auto* header = reinterpret_cast<KestPacketHeader2_t_*>(bytes);
    const unsigned length = header->GetDataLength();
    if (header->GetCode() != dcParameters || length < 3 || KestPacketHeader2_t_::DataOffset + length > element.Packet.size())
        return std::nullopt;
    header->Decode();
    const u8* data = header->Data();
    TWrite write;
    write.Offset = static_cast<u16>(data[0] | data[1] << 8);
    write.Bytes.assign(data + 2, data + length);
    return write;
}

bool TParameterWrites::WriteQueued(TSessionKnob knob) const
{
    const u16 offset = Offset(knob);
    for (const TRequestQueue::TPacketElement& element : session_.queue_->Pending()) {
        const std::optional<TWrite> write = WriteOf(element);
        if (write && write->Offset <= offset && offset < write->Offset + write->Bytes.size())
            return true;
    }
    return false;
}

void TParameterWrites::Reply(const u8* data, unsigned length, const TWrite* answered)
{
    TDeviceSession& s = session_;
    if (length == 0) {
        // A write acknowledged: the device now holds what that write carried. An empty reply
        // to no write of ours (a late one, given up already) tells nothing.
        if (answered)
            Acknowledged(*answered);
        return;
    }
    if (length < 2 || s.firmwareInfo_.Version2() == 0)
        return;
    parameters_.Load(data, length);
    // A knob whose write is still queued keeps the user's value: that write's acknowledgement
    // settles it. Every other knob shows what the device holds (also a refused write's).
    for (const TSessionKnob knob : {skOpenTime, skBreakTime})
        if (!WriteQueued(knob))
            SetKnob(knob, parameters_.Bytes[Offset(knob)]);
    if (s.deviceState_ == dsIdentifying && !s.deviceRefused_)
        s.SetDeviceState(dsConnected);
    if (s.deviceState_ == dsConnected)
        ShowOutOfRange();
}

void TParameterWrites::Acknowledged(const TWrite& write)
{
    TDeviceSession& s = session_;
    for (std::size_t i = 0; i < write.Bytes.size() && write.Offset + i < TDeviceParameters::Size; ++i) {
        u8& held = parameters_.Bytes[write.Offset + i];
        if (held != write.Bytes[i]) {
            TSessionRecord record;
            record.Kind = srParameter;
            record.Offset = static_cast<unsigned>(write.Offset + i);
            record.Old = held;
            record.New = write.Bytes[i];
            held = write.Bytes[i];
            s.Record(record);
        }
    }
    // The knob may have moved again while the write was on its way (up, then back down within
    // one round trip): what the window shows is written until the device holds it.
    for (const TSessionKnob knob : {skOpenTime, skBreakTime}) {
        const u16 offset = Offset(knob);
        if (write.Offset <= offset && offset < write.Offset + write.Bytes.size() && !WriteQueued(knob))
            WriteKnobIfChanged(knob);
    }
    // The user has changed the value that lay outside the range: the warning has done its work.
    const int status = s.status_.Index();
    if ((status == staOpenTimeOutOfRange || status == staBreakTimeOutOfRange) && !ShowOutOfRange())
        s.ShowStatus(staConnected, icInformation);
}

bool TParameterWrites::ShowOutOfRange()
{
    // The knob shows the nearest end of its range; the status says what the device really
    // holds. Nothing is written until the user moves that knob.
    for (const TSessionKnob knob : {skOpenTime, skBreakTime}) {
        const int held = parameters_.Bytes[Offset(knob)];
        const TKnobState& k = knobs_[knob];
        if (held >= k.Min && held <= k.Max)
            continue;
        const int index = knob == skOpenTime ? staOpenTimeOutOfRange : staBreakTimeOutOfRange;
        const String value = knob == skOpenTime ? std::to_string(held) + " ms" : std::to_string(held * BreakTimeSeconds) + " s";
        session_.status_.Shown(index);
        if (session_.view_)
            session_.view_->ShowStatus(index, icWarning, value);
        return true;
    }
    return false;
}

} // namespace fk
