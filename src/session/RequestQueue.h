#pragma once
// TRequestQueue: the device session's requests on their way to the device, one on the line.
//
// The queue holds complete protocol-2 packets prepared for sending (key, scrambled data,
// checksum), first in first out, and writes them to a packet connection. Only the front is
// ever on the line: the owner sends it (SendFront) when it becomes the front and again when
// its reply has come (FrontAnswered drops it). The reply timer watches the front: the line
// time of the request and its reply plus ReplyTimeOut. When that runs out the front goes once
// more (unless the host refuses the resend); when the resend goes unanswered too, the host is
// told (RequestTimedOut) and decides what follows (giving the device up, starting over).
//
// The hold-off: while the link is busy with something else (a wireless module's command
// exchange, THost::RequestLinkBusy) a reply time-out is neither resent nor reported but held
// back (hoTimeOut), and the owner's poll holds itself back too (hoPoll); whoever learns that
// the link is free again takes what was held back (TakeHeldBack) and runs it.
//
// Everything runs on the main thread; the timer's handler may call the host, which may add,
// send and clear requests from there.
#include "platform/Component.h"
#include "platform/LastError.h"
#include "platform/Types.h"

#include <cstddef>
#include <deque>

namespace fk {

class TKestConnection;
class TTimer;

// What was held back while the link was busy (bits of TRequestQueue::HeldBack).
enum THoldOff : unsigned {
    hoNone = 0,
    hoPoll = 1,    // a poll of the owner
    hoTimeOut = 2, // the reply time-out of the front
};

class TRequestQueue : public TComponent {
public:
    static constexpr unsigned ReplyTimeOut = 250; // added to the line time of an exchange, ms
    static constexpr unsigned Resends = 1;        // per request, before the host is told

    // One queued request: its wire image, and the number of data bytes its reply is expected
    // to carry (sizes the reply time-out only).
    struct TPacketElement {
        u16 ReplyLength = 0;
        TByteString Packet;
    };

    // What the owner decides.
    class THost {
    public:
        virtual ~THost() = default;
        // The link carries something else right now: a time-out is held back.
        virtual bool RequestLinkBusy() const { return false; }
        // The front's reply did not come and its resend is left: may it go again? (A request
        // the device may have taken although its reply was lost must never arrive twice.)
        virtual bool MayResend() { return true; }
        // The front went out (also its resend).
        virtual void RequestSent() {}
        // The connection refused the front (the port closed under it, no memory): error is
        // the platform's code. The reply timer runs as for a request sent, so what follows is
        // the usual time-out.
        virtual void RequestNotSent(DWORD /*error*/) {}
        // The front's reply did not come after its resend, or the resend was refused. True:
        // the reply timer runs on ReplyTimeOut at a time and tells again; false: the timer is
        // left as the host left it (a new request sent has armed it, or the link is gone).
        virtual bool RequestTimedOut() = 0;
    };

    TRequestQueue(TComponent* owner, TKestConnection* connection, THost* host);
    ~TRequestQueue() override;

    const std::deque<TPacketElement>& Pending() const noexcept { return queue_; }
    bool Empty() const noexcept { return queue_.empty(); }
    std::size_t Size() const noexcept { return queue_.size(); }
    const TPacketElement& Front() const { return queue_.front(); }

    // A request of code with length bytes of data (none when data is null) to node, at the
    // back; nothing is sent. False, with nothing added, when the packet cannot be made (too
    // long, no memory).
    bool Add(u8 node, u8 code, const void* data, unsigned length, u16 replyLength);
    // Writes the front to the connection; with armReplyTimer the reply timer watches for its
    // reply, with its resend left. False when nothing is queued or the connection refused the
    // packet (the host is told, THost::RequestNotSent).
    bool SendFront(bool armReplyTimer);
    // The front was answered: the reply timer stops and the front goes (the next one is not
    // sent: that is the owner's call).
    void FrontAnswered();
    // Drops every request, the one on the line too: a late reply to it is no reply.
    void Clear() noexcept { queue_.clear(); }
    // Clear, and what the port has received and not yet handed over is thrown away.
    void Purge();

    bool ReplyTimerRunning() const noexcept;
    void StopReplyTimer();
    // The link is free again after a time-out was held back: a running reply timer counts its
    // ReplyTimeOut afresh.
    void RestartReplyTimer();

    // The hold-off: what was held back (THoldOff bits), whether `what` was.
    unsigned HeldBack() const noexcept { return heldBack_; }
    bool HeldBack(THoldOff what) const noexcept { return (heldBack_ & what) != 0; }
    void HoldBack(THoldOff what, bool held) noexcept;
    // What was held back; nothing is held afterwards.
    unsigned TakeHeldBack() noexcept;

private:
    void ReplyTimerTimer(TObject* sender);

    TKestConnection* connection_ = nullptr; // not owned: the owner's
    THost* host_ = nullptr;
    TTimer* replyTimer_ = nullptr; // owned (child component)
    std::deque<TPacketElement> queue_;
    unsigned resendsLeft_ = 0;
    unsigned heldBack_ = hoNone;
};

} // namespace fk
