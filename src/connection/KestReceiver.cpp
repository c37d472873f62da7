#include "connection/KestReceiver.h"

#include "platform/SystemClock.h"
#include "ports/CommPort.h"
#include "protocol/ByteSum.h"
#include "protocol/KestPacket1.h"
#include "protocol/KestPacket2.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace fk {

namespace {

constexpr TKestPacketType OtherType(TKestPacketType type) noexcept
{
    return type == ptKestPacket1 ? ptKestPacket2 : ptKestPacket1;
}

static_assert(KestPacketHeader1_t_::StartConstant == 0x55 && KestPacketHeader2_t_::StartConstant == 0x55);

// A protocol examines a position as a header start once a whole header fits behind it.
constexpr u32 HeaderSize(TKestPacketType type) noexcept
{
    return type == ptKestPacket1 ? KestPacketHeader1_t_::DataOffset : KestPacketHeader2_t_::DataOffset;
}

// How long a pending packet of the given length may take to complete.
u32 PacketWait(u32 length, const TCommState& line) noexcept
{
    const u64 wait = 2 * u64(TCommPort::CalculateTime(length, line)) + TKestReceiver::MinPacketTime;
    return u32(std::min<u64>(wait, TKestReceiver::MaxPacketWait));
}

} // namespace

TKestReceiver::TKestReceiver(TSink& sink, TScanMode mode)
    : sink_(sink)
    , mode_(mode)
{
    try {
        buffer_.reserve(InitialCapacity);
    } catch (const std::bad_alloc&) {
        // grows on demand instead
    }
}

// ---------------------------------------------------------------- settings

void TKestReceiver::SetPacketType(TKestPacketType value) noexcept
{
    packetType_ = value == ptKestPacket2 ? ptKestPacket2 : ptKestPacket1;
    quiet_ = false;
}

void TKestReceiver::SetPacketTypes(TKestPacketTypes value) noexcept
{
    packetTypes_ = value & AllPacketTypes;
    quiet_ = false;
}

void TKestReceiver::SetMaxDataLength(u32 value) noexcept
{
    if (value == maxDataLength_)
        return;
    maxDataLength_ = value;
    tracksDirty_ = true; // candidates too long before may fit now, and the other way round
    quiet_ = false;
}

void TKestReceiver::SetScanMode(TScanMode value) noexcept
{
    mode_ = value;
    tracksDirty_ = true;
    quiet_ = false;
}

// ---------------------------------------------------------------- input

bool TKestReceiver::Append(const u8* data, u32 count) noexcept
{
    try {
        if (count == 1)
            buffer_.push_back(*data); // byte-wise reads are common on slow lines
        else
            buffer_.insert(buffer_.end(), data, data + count);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Whether the bytes can be taken without the scan passes (see Settle); then they are appended.
bool TKestReceiver::ReceiveQuiet(const u8* data, u32 count, u32 now, const TCommState& line) noexcept
{
    if (!StaysQuiet(buffer_.size() + count, now))
        return false;
    if (count == 1 ? *data == StartByte : std::memchr(data, StartByte, count) != nullptr)
        return false;
    if (!Append(data, count))
        return false;
    if (quietRefresh_) {
        // What the pending rule does with these answers: the second candidate is pending anew.
        pending_ = quietPos_;
        pendingSince_ = now;
        pendingTimeout_ = PacketWait(quietLength_, line);
    }
    return true;
}

void TKestReceiver::ReceiveBytes(const void* data, u32 count, u32 now, const TCommState& line) noexcept
{
    if (!data || count == 0)
        return;
    const u8* bytes = static_cast<const u8*>(data);
    if (quiet_ && !busy_ && ReceiveQuiet(bytes, count, now, line))
        return;
    ReceiveAndScan(bytes, count, now, line);
}

void TKestReceiver::ReceiveAndScan(const u8* bytes, u32 count, u32 now, const TCommState& line) noexcept
{
    if (busy_) {
        // A handler caused this read. The buffer must not move under the handler's feet:
        // the bytes wait until the scan in progress is done.
        try {
            deferred_.insert(deferred_.end(), bytes, bytes + count);
            deferredNow_ = now;
        } catch (const std::bad_alloc&) {
            sink_.ReceiverLoss(bytes, count, plrCorrupted, errors_);
        }
        return;
    }
    busy_ = true;
    quiet_ = false;
    // Bytes queued during an earlier flush come first.
    bool ok = true;
    if (!deferred_.empty()) {
        ok = Append(deferred_.data(), u32(deferred_.size()));
        deferred_.clear();
    }
    if (ok && Append(bytes, count)) {
        Process(now, line);
        while (!deferred_.empty()) {
            TByteString more;
            more.swap(deferred_);
            if (!Append(more.data(), u32(more.size()))) {
                sink_.ReceiverLoss(more.data(), u32(more.size()), plrCorrupted, errors_);
                break;
            }
            Process(deferredNow_, line);
        }
        // Large read events rarely leave the answers alone and share their cost among many
        // bytes anyway; the next small one settles.
        if (count <= QuietReadSize)
            Settle();
    } else {
        // No room for the bytes: they cannot be scanned, so they are lost.
        sink_.ReceiverLoss(bytes, count, plrCorrupted, errors_);
    }
    busy_ = false;
}

// After the scan passes of a read event: can the next read events do without them? Each
// protocol's answer stays the same as long as it knows no good packet, none of its waiting
// candidates is complete, and no new header start is examined. So appended bytes change no
// answer while they hold no start byte and the stream stays short of quietEnd_: where the
// first waiting candidate is complete, or where a header fits behind the first start byte
// not examined yet. With unchanged answers the pending rule either changes nothing (the
// candidate it would pick is pending already), or, when both protocols have incomplete
// candidates at different places, makes the second one pending anew at every read event.
void TKestReceiver::Settle() noexcept
{
    quiet_ = false;
    if (mode_ != smIncremental || tracksDirty_ || head_ != 0 || !deferred_.empty())
        return;
    const u8* b = buffer_.data();
    const u64 endPos = base_ + buffer_.size();
    u64 end = NoCandidate;
    const TKestPacketType order[2] = {packetType_, OtherType(packetType_)};
    TFind result[2];
    for (int k = 0; k < 2; ++k) {
        if (!(packetTypes_ & PacketTypeBit(order[k])))
            continue;
        const TTrack& track = tracks_[order[k]];
        if (!track.good.empty())
            return;
        if (!track.waiting.empty())
            end = std::min(end, track.waiting.top().end);
        const u64 from = std::max(track.scanned, base_);
        if (from < endPos) {
            if (const void* hit = std::memchr(b + (from - base_), StartByte, endPos - from))
                end = std::min(end, base_ + u64(static_cast<const u8*>(hit) - b) + HeaderSize(order[k]));
        }
        LastCandidate(track, result[k]);
    }
    if (end <= endPos)
        return;
    const TFind& first = result[0];
    const TFind& second = result[1];
    quietRefresh_ = first.incomplete && second.incomplete && first.pos != second.pos;
    if (quietRefresh_) {
        quietPos_ = second.pos;
        quietLength_ = second.length;
    } else {
        const TFind& pick = second.incomplete ? second : first;
        if (pick.incomplete && pick.pos != pending_)
            return; // the rule still moves the pending packet
    }
    quietEnd_ = end;
    quiet_ = true;
}

void TKestReceiver::Flush() noexcept
{
    const u32 n = u32(buffer_.size());
    const u32 from = std::min(head_, n);
    ++generation_;
    quiet_ = false;
    head_ = n; // consumed: a nested flush reports nothing twice
    pending_ = InitPacketPos;
    const bool wasBusy = busy_;
    busy_ = true;
    if (n > from)
        sink_.ReceiverLoss(buffer_.data() + from, n - from, plrTimeouted, errors_);
    // clear() keeps the memory, so a handler further up the stack still reads valid bytes.
    base_ += buffer_.size();
    buffer_.clear();
    head_ = 0;
    pending_ = InitPacketPos;
    ResetTracks();
    busy_ = wasBusy;
}

void TKestReceiver::ResetPending() noexcept
{
    quiet_ = false;
    pending_ = InitPacketPos;
    errors_ = 0;
}

// ---------------------------------------------------------------- scan passes

void TKestReceiver::Process(u32 now, const TCommState& line) noexcept
{
    const u64 generation = generation_;
    head_ = 0;
    for (;;) {
        const u32 n = u32(buffer_.size());
        const TKestPacketType order[2] = {packetType_, OtherType(packetType_)};
        TFind result[2];
        int winner = -1;
        for (int k = 0; k < 2; ++k) {
            if (!(packetTypes_ & PacketTypeBit(order[k])))
                continue;
            Find(order[k], result[k]);
            if (result[k].found && (winner < 0 || result[k].pos < result[winner].pos))
                winner = k;
        }
        if (winner < 0) {
            UpdatePending(result, now, line);
            break;
        }
        const TFind r = result[winner];
        pending_ = InitPacketPos;
        if (r.pos > head_ && !Report(head_, r.pos - head_, plrUnrecognized, generation))
            return;
        head_ = r.pos + r.length; // consumed before the handler sees it
        sink_.ReceiverPacket(buffer_.data() + r.pos, r.length, order[winner]);
        if (generation != generation_)
            return;
        errors_ = 0;
        if (head_ >= n)
            break;
    }

    const u32 n = u32(buffer_.size());
    u32 m = n - head_;
    if (pending_ != InitPacketPos && m > 0 && TickDiff(now, pendingSince_) > pendingTimeout_) {
        const u32 p = std::clamp(pending_, head_, n);
        if (p > head_ && !Report(head_, p - head_, plrUnrecognized, generation))
            return;
        if (n > p && !Report(p, n - p, plrTimeouted, generation))
            return;
        head_ = n;
        m = 0;
        pending_ = InitPacketPos;
    }
    if (m > maxPacketLength_) {
        const u32 k = m / 2;
        if (k > 0) {
            if (!Report(head_, k, pending_ != InitPacketPos ? plrCorrupted : plrUnrecognized, generation))
                return;
        }
    }
    const u32 consumed = head_;
    head_ = 0;
    Consume(consumed);
}

// No packet from the head on: each protocol's last candidate, in the order asked, becomes the
// pending packet when it is incomplete and not the pending one already.
void TKestReceiver::UpdatePending(const TFind (&result)[2], u32 now, const TCommState& line) noexcept
{
    for (const TFind& r : result) {
        if (!r.incomplete || r.pos == pending_)
            continue;
        pending_ = r.pos;
        pendingSince_ = now;
        pendingTimeout_ = PacketWait(r.length, line);
    }
}

bool TKestReceiver::Report(u32 from, u32 count, TPacketLossReason reason, u64 generation) noexcept
{
    head_ = from + count; // consumed before the handler sees them
    sink_.ReceiverLoss(buffer_.data() + from, count, reason, errors_);
    return generation == generation_;
}

void TKestReceiver::Consume(u32 count) noexcept
{
    if (count == 0)
        return;
    buffer_.erase(buffer_.begin(), buffer_.begin() + count);
    base_ += count;
    if (buffer_.empty()) {
        pending_ = InitPacketPos;
        ResetTracks();
    } else if (pending_ != InitPacketPos) {
        pending_ = pending_ >= count ? pending_ - count : InitPacketPos;
    }
}

// ---------------------------------------------------------------- scanner questions

void TKestReceiver::Find(TKestPacketType type, TFind& r) noexcept
{
    r = TFind{};
    if (mode_ == smIncremental) {
        if (tracksDirty_)
            ResetTracks();
        try {
            if (type == ptKestPacket1)
                FindIncremental<TKestPacket1>(tracks_[0], r);
            else
                FindIncremental<TKestPacket2>(tracks_[1], r);
            return;
        } catch (const std::bad_alloc&) {
            // Only the bookkeeping allocates; the full scan gives the same answers without it.
            mode_ = smFull;
            tracksDirty_ = true;
            r = TFind{};
        }
    }
    if (type == ptKestPacket1)
        FindFull<TKestPacket1>(r);
    else
        FindFull<TKestPacket2>(r);
}

template <class Packet>
void TKestReceiver::FindFull(TFind& r) const noexcept
{
    unsigned pos = head_, length = 0;
    r.found = Packet::RetreivePacket(buffer_.data(), unsigned(buffer_.size()), pos, maxDataLength_, length);
    r.incomplete = !r.found && length > 0 && GetLastError() == ERROR_PACKET_INCOMPLETE;
    r.pos = pos;
    r.length = length;
}

// The protocol scanner examines the candidates from head_ on in order and returns the first
// complete one with a good sum. When there is none, its code is "incomplete" exactly when the
// last candidate it saw is incomplete (a non-header byte never changes that code, a complete
// candidate with a bad sum does), and it then describes that last candidate. So the question
// needs: the complete good candidates, and the last candidate with its length.
template <class Packet>
void TKestReceiver::FindIncremental(TTrack& track, TFind& r)
{
    using H = typename Packet::Header_t;
    const u8* b = buffer_.data();
    const u32 n = u32(buffer_.size());
    const u64 headPos = base_ + head_;
    const u64 endPos = base_ + n;

    const auto addGood = [&track](u64 pos, u32 length) {
        const auto at = std::upper_bound(track.good.begin(), track.good.end(), pos,
                                         [](u64 p, const TGood& g) { return p < g.pos; });
        track.good.insert(at, TGood{pos, length});
    };

    // Waiting candidates that the new bytes complete.
    while (!track.waiting.empty() && track.waiting.top().end <= endPos) {
        const TWaiting w = track.waiting.top();
        track.waiting.pop();
        if (w.pos < headPos)
            continue; // consumed meanwhile
        const u32 length = u32(w.end - w.pos);
        if (ByteSum8(b + (w.pos - base_), length) == 0)
            addGood(w.pos, length);
    }

    // Header starts not examined yet.
    track.scanned = std::max(track.scanned, headPos);
    if (n >= H::DataOffset) {
        const u32 limit = n - H::DataOffset; // the last position a header fits at
        u32 i = u32(track.scanned - base_);
        while (i <= limit) {
            u32 j = i;
            if (limit - i < 16) {
                // a few new bytes (small read events): not worth a library call
                while (j <= limit && b[j] != H::StartConstant)
                    ++j;
                if (j > limit)
                    break;
            } else {
                const void* hit = std::memchr(b + i, H::StartConstant, limit - i + 1);
                if (!hit)
                    break;
                j = u32(static_cast<const u8*>(hit) - b);
            }
            i = j + 1;
            if (!H::StartsHeader(b + j))
                continue;
            const H* h = reinterpret_cast<const H*>(b + j);
            const u32 length = h->GetPacketLength();
            const u32 dataLength = h->GetDataLength();
            track.last = base_ + j;
            track.lastLength = length;
            track.lastDataLength = dataLength;
            if (dataLength > maxDataLength_)
                continue; // never complete with this limit
            if (n - j >= length) {
                if (ByteSum8(b + j, length) == 0)
                    addGood(base_ + j, length);
            } else {
                track.waiting.push(TWaiting{base_ + j + length, base_ + j});
            }
        }
        track.scanned = std::max(track.scanned, base_ + limit + 1);
    }

    // The first good packet from the head on.
    if (!track.good.empty() && track.good.front().pos < headPos) {
        auto first = track.good.begin();
        while (first != track.good.end() && first->pos < headPos)
            ++first;
        track.good.erase(track.good.begin(), first);
    }
    if (!track.good.empty()) {
        r.found = true;
        r.pos = u32(track.good.front().pos - base_);
        r.length = track.good.front().length;
    } else {
        LastCandidate(track, r);
    }
}

void TKestReceiver::ResetTracks() noexcept
{
    for (TTrack& t : tracks_) {
        t.scanned = base_ + head_;
        t.last = NoCandidate;
        t.lastLength = t.lastDataLength = 0;
        t.waiting = {};
        t.good.clear();
    }
    tracksDirty_ = false;
}

} // namespace fk
