#pragma once
// TKestReceiver: the receive side of the packet connection. It collects received bytes, cuts
// whole packets of both protocols out of them, and reports bytes that belong to no packet as
// lost (unrecognised, corrupted by the overflow rule, or timed out).
//
// Every append runs scan passes from the front of the unconsumed bytes. At each pass the first
// good packet of any enabled protocol is taken (at equal positions the preferred protocol wins);
// the bytes in front of it are reported as unrecognised, the packet is delivered and consumed,
// and the next pass starts behind it. When no packet is found, the last incomplete candidate of
// each protocol becomes the pending packet, which has a time-out of twice its line time plus
// MinPacketTime. After the passes come the time-out, the overflow halving and the compaction.
//
// Two scan modes give the same results:
//  - smFull asks the protocol scanners afresh at every pass, from the front of the buffer;
//  - smIncremental (the default) remembers, per protocol, how far the buffer has been
//    examined, which candidates still wait for bytes (ordered by where they will be complete)
//    and which complete ones carry a good checksum, so each byte is examined once per
//    protocol and each candidate summed once, whatever the size of the read events.
// The rules that decide which bytes are delivered or reported are shared; only the question
// "where is the first good packet from here, or else the last candidate and is it incomplete"
// is answered in two ways.
//
// Events go to a sink. A sink handler may call back into the receiver: bytes received during a
// handler are queued and scanned once the current scan is done, a flush during a handler
// reports what is not yet consumed and ends the current scan, and setting changes take effect
// at the next scanner question.
#include "connection/KestConnectionTypes.h"
#include "platform/SystemClock.h"

#include <functional>
#include <queue>
#include <vector>

namespace fk {

class TKestReceiver {
public:
    static constexpr u32 InitPacketPos = 0xFFFFFFFFu; // no pending packet
    static constexpr u32 MinPacketTime = 200;          // ms added to every packet wait
    static constexpr u32 MaxPacketWait = 120000;       // ms, the longest packet wait
    static constexpr u32 InitialCapacity = 522;        // bytes reserved for the receive buffer
    static constexpr u32 DefaultMaxLength = 65535;

    enum TScanMode : u8 { smIncremental, smFull };

    // Where delivered packets and lost bytes go. Buffer points into the receive buffer.
    class TSink {
    public:
        virtual void ReceiverPacket(const u8* buffer, u32 length, TKestPacketType type) = 0;
        virtual void ReceiverLoss(const u8* buffer, u32 length, TPacketLossReason reason,
                                  TCommErrorFlags errors) = 0;

    protected:
        ~TSink() = default;
    };

    explicit TKestReceiver(TSink& sink, TScanMode mode = smIncremental);

    TKestReceiver(const TKestReceiver&) = delete;
    TKestReceiver& operator=(const TKestReceiver&) = delete;

    // --- settings
    TKestPacketType PacketType() const noexcept { return packetType_; }
    void SetPacketType(TKestPacketType value) noexcept;
    TKestPacketTypes PacketTypes() const noexcept { return packetTypes_; }
    void SetPacketTypes(TKestPacketTypes value) noexcept;
    u32 MaxPacketLength() const noexcept { return maxPacketLength_; }
    void SetMaxPacketLength(u32 value) noexcept { maxPacketLength_ = value; }
    u32 MaxDataLength() const noexcept { return maxDataLength_; }
    void SetMaxDataLength(u32 value) noexcept;
    TScanMode ScanMode() const noexcept { return mode_; }
    void SetScanMode(TScanMode value) noexcept;

    // --- input
    // Line errors of a read event; they travel with the next loss report.
    void AddErrors(TCommErrorFlags errors) noexcept { errors_ |= errors; }
    // Appends count bytes and scans. now is the millisecond tick of the read event; line is
    // the line state that turns byte counts into line times.
    void Receive(const void* data, u32 count, u32 now, const TCommState& line) noexcept
    {
        // The most common read event of a slow line, a byte that changes nothing, is taken here.
        if (quiet_ && !quietRefresh_ && count == 1 && data && !busy_) {
            const u8 byte = *static_cast<const u8*>(data);
            const std::size_t n = buffer_.size();
            if (byte != StartByte && n < buffer_.capacity() && StaysQuiet(n + 1, now)) {
                buffer_.push_back(byte);
                return;
            }
        }
        ReceiveBytes(data, count, now, line);
    }
    // Reception has stopped: whatever is not consumed is reported as timed out, and the
    // buffer is emptied.
    void Flush() noexcept;
    // The port was opened again: no pending packet, no line errors.
    void ResetPending() noexcept;

    // --- state
    bool Empty() const noexcept { return buffer_.empty(); }
    const TByteString& Buffer() const noexcept { return buffer_; }
    u32 PendingPos() const noexcept { return pending_; }
    u32 PendingSince() const noexcept { return pendingSince_; }
    u32 PendingTimeout() const noexcept { return pendingTimeout_; }
    TCommErrorFlags Errors() const noexcept { return errors_; }

private:
    static constexpr u64 NoCandidate = ~u64(0);
    static constexpr u8 StartByte = 0x55; // the first byte of a header in both protocols
    static constexpr u32 QuietReadSize = 32; // larger read events do not prepare the quiet way

    // The answer to one scanner question for one protocol, from head_ on.
    struct TFind {
        bool found = false;      // a good packet at pos, length bytes long
        bool incomplete = false; // else: the last candidate, at pos, still lacks bytes
        u32 pos = 0;
        u32 length = 0;
    };

    // What the incremental scan knows of one protocol; positions count from the start of
    // the stream (base_ is the stream position of buffer_[0]).
    struct TWaiting {
        u64 end; // where the candidate will be complete
        u64 pos;
        friend bool operator>(const TWaiting& a, const TWaiting& b) noexcept { return a.end > b.end; }
    };
    struct TGood {
        u64 pos;
        u32 length;
    };
    struct TTrack {
        u64 scanned = 0; // first position not yet examined as a header start
        u64 last = NoCandidate;
        u32 lastLength = 0;
        u32 lastDataLength = 0;
        std::priority_queue<TWaiting, std::vector<TWaiting>, std::greater<TWaiting>> waiting;
        std::vector<TGood> good; // complete with a good sum, ordered by position
    };

    // The answers are written to r (returning the small record made the compiler store it
    // byte-wise and load it whole, a stall on every read event).
    void Find(TKestPacketType type, TFind& r) noexcept;
    template <class Packet> void FindFull(TFind& r) const noexcept;
    template <class Packet> void FindIncremental(TTrack& track, TFind& r);
    // The answer when no good packet is known: the last candidate from the head on, if any.
    void LastCandidate(const TTrack& track, TFind& r) const noexcept
    {
        if (track.last != NoCandidate && track.last >= base_ + head_) {
            r.pos = u32(track.last - base_);
            r.length = track.lastLength;
            r.incomplete = track.last + track.lastLength > base_ + buffer_.size()
                || track.lastDataLength > maxDataLength_;
        }
    }
    void ResetTracks() noexcept;

    bool Append(const u8* data, u32 count) noexcept;
    // Whether the appended bytes leave every scanner answer as it was (see Settle), and the
    // read event then changes at most the pending packet's time: true when it was handled so.
    bool ReceiveQuiet(const u8* data, u32 count, u32 now, const TCommState& line) noexcept;
    // With the answers Settle found: whether a buffer grown to n bytes by bytes without a start
    // byte leaves the read event nothing to do but the pending rule (no time-out, no overflow).
    bool StaysQuiet(std::size_t n, u32 now) const noexcept
    {
        return base_ + n < quietEnd_ && n - head_ <= maxPacketLength_
            && (quietRefresh_ || pending_ == InitPacketPos || TickDiff(now, pendingSince_) <= pendingTimeout_);
    }
    void ReceiveBytes(const void* data, u32 count, u32 now, const TCommState& line) noexcept;
    void ReceiveAndScan(const u8* data, u32 count, u32 now, const TCommState& line) noexcept;
    void Settle() noexcept;
    void Process(u32 now, const TCommState& line) noexcept;
    void UpdatePending(const TFind (&result)[2], u32 now, const TCommState& line) noexcept;
    // Reports [from, from + count) as lost and consumed; false when a handler flushed the
    // buffer meanwhile.
    bool Report(u32 from, u32 count, TPacketLossReason reason, u64 generation) noexcept;
    void Consume(u32 count) noexcept;

    TSink& sink_;
    TScanMode mode_;
    TKestPacketType packetType_ = ptKestPacket1;
    TKestPacketTypes packetTypes_ = AllPacketTypes;
    u32 maxPacketLength_ = DefaultMaxLength;
    u32 maxDataLength_ = DefaultMaxLength;

    TByteString buffer_;
    u32 head_ = 0; // bytes at the front already consumed by the scan in progress
    u32 pending_ = InitPacketPos;
    u32 pendingSince_ = 0;
    u32 pendingTimeout_ = 0;
    TCommErrorFlags errors_ = 0;

    bool busy_ = false;    // a scan or a report is in progress
    u64 generation_ = 0;   // counts flushes, so a scan notices one made by a handler
    TByteString deferred_; // bytes received while busy
    u32 deferredNow_ = 0;

    u64 base_ = 0;
    bool tracksDirty_ = false;
    TTrack tracks_[2];

    // Set by Settle when the scanner answers for the buffer are known to stay the same while
    // appended bytes hold no start byte and the stream stays short of quietEnd_. Anything
    // else that changes the answers or the pending packet clears it.
    bool quiet_ = false;
    bool quietRefresh_ = false; // two incomplete candidates take turns as the pending packet
    u64 quietEnd_ = 0;
    u32 quietPos_ = 0;    // with quietRefresh_: the candidate that ends up pending
    u32 quietLength_ = 0;
};

} // namespace fk
