#include "session/RequestQueue.h"

#include "connection/KestConnection.h"
#include "platform/LastError.h"
#include "platform/Timer.h"
#include "protocol/DeviceMessages.h"

#include <new>

namespace fk {

TRequestQueue::TRequestQueue(TComponent* owner, TKestConnection* connection, THost* host)
    : TComponent(owner)
    , connection_(connection)
    , host_(host)
{
    replyTimer_ = Create<TTimer>(this);
    replyTimer_->SetEnabled(false);
    replyTimer_->SetInterval(ReplyTimeOut);
    replyTimer_->OnTimer = TNotifyEvent(this, &TRequestQueue::ReplyTimerTimer);
}

TRequestQueue::~TRequestQueue()
{
    replyTimer_->SetEnabled(false);
    replyTimer_->OnTimer = nullptr;
}

bool TRequestQueue::Add(u8 node, u8 code, const void* data, unsigned length, u16 replyLength)
{
    if (!data)
        length = 0;
    try {
        queue_.emplace_back();
    } catch (const std::bad_alloc&) {
        return false;
    }
    TPacketElement& element = queue_.back();
    element.ReplyLength = replyLength;
    TKestPacket2 packet;
    if (!BuildDeviceRequest(packet, code, data, length, node) || !packet.PrepareSend(element.Packet)) {
        queue_.pop_back();
        return false;
    }
    return true;
}

bool TRequestQueue::SendFront(bool armReplyTimer)
{
    if (queue_.empty())
        return false;
    replyTimer_->SetEnabled(false);
    const TPacketElement& front = queue_.front();
    const bool sent = connection_->SendData(front.Packet);
    if (!sent && host_)
        host_->RequestNotSent(GetLastError());
    if (armReplyTimer) {
        resendsLeft_ = Resends;
        const u32 lineTime = connection_->CalculateTime(static_cast<u32>(front.Packet.size()) + front.ReplyLength
                                                        + KestPacketHeader2_t_::DataOffset);
        replyTimer_->Restart(lineTime + ReplyTimeOut);
    }
    if (host_)
        host_->RequestSent();
    return sent;
}

void TRequestQueue::FrontAnswered()
{
    replyTimer_->SetEnabled(false);
    if (!queue_.empty())
        queue_.pop_front();
}

void TRequestQueue::Purge()
{
    Clear();
    connection_->PurgeRx();
}

bool TRequestQueue::ReplyTimerRunning() const noexcept { return replyTimer_->Enabled(); }

void TRequestQueue::StopReplyTimer() { replyTimer_->SetEnabled(false); }

void TRequestQueue::RestartReplyTimer()
{
    if (replyTimer_->Enabled())
        replyTimer_->Restart(ReplyTimeOut);
}

void TRequestQueue::HoldBack(THoldOff what, bool held) noexcept
{
    if (held)
        heldBack_ |= what;
    else
        heldBack_ &= ~unsigned(what);
}

unsigned TRequestQueue::TakeHeldBack() noexcept
{
    const unsigned held = heldBack_;
    heldBack_ = hoNone;
    return held;
}

void TRequestQueue::ReplyTimerTimer(TObject*)
{
    replyTimer_->SetEnabled(false);
    if (!connection_->IsValid() || !host_)
        return;
    if (host_->RequestLinkBusy()) {
        // No resend and no give-up while the link is busy; the resend left stays.
        HoldBack(hoTimeOut, true);
    } else {
        const bool resend = resendsLeft_ > 0;
        if (resend)
            --resendsLeft_;
        HoldBack(hoTimeOut, false);
        if (resend && host_->MayResend())
            SendFront(false); // the one resend
        else if (!host_->RequestTimedOut())
            return;
    }
    replyTimer_->Restart(ReplyTimeOut);
}

} // namespace fk
