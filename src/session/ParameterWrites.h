#pragma once
// TParameterWrites: the timing knobs of the device session and the writes that carry them to
// the device, up to the device's confirmation.
//
// The knobs (open time, break time) hold positions within their ranges; the range of the break
// time follows the firmware's version byte. A knob that ends its move writes its value when it
// differs from what the device has acknowledged; while a write of that knob is on its way
// nothing more is queued: its acknowledgement (an empty dcParameters reply) updates what the
// device holds and compares again, and writes what the knob shows by then. A read-back of the
// parameter block moves every knob without a write on its way to what the device holds; a value
// outside the knob's range is told in the status (the knob shows the nearest end) and nothing
// is written until the user moves that knob.
//
// A part of TDeviceSession: its writes go through the session's request queue, on the main
// thread.
#include "platform/Types.h"
#include "protocol/DeviceMessages.h"
#include "session/RequestQueue.h"
#include "session/SessionView.h"

#include <optional>

namespace fk {

class TDeviceSession;

class TParameterWrites {
public:
    static constexpr int OpenTimeMin = 10, OpenTimeMax = 50;
    static constexpr int BreakTimeMin = 1, BreakTimeMax = 30;       // version byte 0 keeps, other values
    static constexpr int LongBreakTimeMin = 30, LongBreakTimeMax = 90; // version byte 1
    static constexpr int BreakTimeSeconds = 10; // seconds per step of the break time

    // A knob: position within its range. The session owns the values; the view shows them.
    struct TKnobState {
        int Position = 0;
        int Min = 0;
        int Max = 100;
    };

    explicit TParameterWrites(TDeviceSession& session);
    TParameterWrites(const TParameterWrites&) = delete;
    TParameterWrites& operator=(const TParameterWrites&) = delete;

    // The parameter block as the device last told it (and as its acknowledgements changed it).
    const TDeviceParameters& Parameters() const noexcept { return parameters_; }
    const TKnobState& Knob(TSessionKnob knob) const noexcept { return knobs_[knob]; }
    // The user (or the knob widget) moved a knob; clamped to its range, nothing is written.
    void KnobChangePosition(TSessionKnob knob, int position) { SetKnob(knob, position); }
    // A knob ended its move: writes its value when it differs from what the device has
    // acknowledged. While a write of that knob is still on its way nothing is queued: its
    // acknowledgement compares again and writes what the knob shows by then.
    void KnobEndMove(TSessionKnob knob);
    // The knob's scroll bar moved: the knob follows; only the end of the scroll writes.
    void ScrollBarScroll(TSessionKnob knob, bool endScroll, int position);

private:
    friend class TDeviceSession;
    friend class TSessionStatus;

    // A parameter write as queued: the offset and the bytes it carries.
    struct TWrite {
        u16 Offset = 0;
        TByteString Bytes;
    };

    // The knobs at their values, then the read-back queued; the number of writes queued.
    unsigned Write(std::optional<int> openTime, std::optional<int> breakTime);
    // The write a queued request carries (none for another request).
    static std::optional<TWrite> WriteOf(const TRequestQueue::TPacketElement& element);
    // A dcParameters reply: an acknowledgement (empty, answering a write) or the block read.
    void Reply(const u8* data, unsigned length, const TWrite* answered);
    // A value the device holds outside its knob's range is told in the status: true when so.
    bool ShowOutOfRange();
    void SetBreakTimeRange(u8 version);

    bool WriteQueued(TSessionKnob knob) const;
    static u16 Offset(TSessionKnob knob) noexcept { return knob == skOpenTime ? 0 : 1; }
    bool QueueWrite(u16 offset, const void* bytes, unsigned length);
    void WriteKnobIfChanged(TSessionKnob knob);
    void Acknowledged(const TWrite& write);
    void SetKnobRange(TSessionKnob knob, int min, int max);
    void SetKnob(TSessionKnob knob, int position);

    TDeviceSession& session_;
    TDeviceParameters parameters_;
    TKnobState knobs_[2];
    unsigned writesQueued_ = 0; // parameter writes ever queued (Write counts its own)
};

} // namespace fk
