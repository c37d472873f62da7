#include "session/ModuleSession.h"

#include "connection/KestConnection.h"
#include "platform/Timer.h"

namespace fk {

TModuleSession::TModuleSession(TComponent* owner, TSessionView* view)
    : TDeviceSession(owner, view)
{
    lanPort_ = fk::Create<TKestLANPort>(this);
    lanPort_->OnModemResume = TNotifyEvent(this, &TModuleSession::KestLANModemResume);
    PollTimer()->OnTimer = TNotifyEvent(this, &TModuleSession::PollTimerTick);
}

TModuleSession::~TModuleSession()
{
    lanPort_->OnModemResume = nullptr;
    PollTimer()->OnTimer = nullptr;
}

TCommEnumerator::TCommPortInfo TModuleSession::ModuleEntry(const String& address, const String& name)
{
    TCommEnumerator::TCommPortInfo entry(address);
    entry.PortType = ModulePortType;
    entry.Description = name;
    entry.ClassGuid = TCommEnumerator::GUID_DEVCLASS_NET; // the network icon; described by its name
    return entry;
}

TCommPort* TModuleSession::BindPortForEntry(const TCommEnumerator::TCommPortInfo& entry)
{
    return entry.PortType == ModulePortType ? lanPort_ : TDeviceSession::BindPortForEntry(entry);
}

bool TModuleSession::IsModuleLink() const { return Serial() && Serial()->CommPort() == lanPort_; }

bool TModuleSession::ModuleLinkSuspended() const
{
    return lanPort_->ConnectComm && lanPort_->ConnectComm->ConnectedModemSuspended();
}

void TModuleSession::PollTimerTick(TObject* sender)
{
    // A lengthened poll has run out: the poll timer keeps its configured interval.
    if (pollInterval_ != 0) {
        PollTimer()->SetInterval(pollInterval_);
        pollInterval_ = 0;
    }
    PollTimerTimer(sender);
}

void TModuleSession::KestLANModemResume(TObject*)
{
    TTimer* poll = PollTimer();
    const unsigned held = Queue().TakeHeldBack();
    if (held & hoTimeOut) {
        Queue().RestartReplyTimer();
        if (poll->Enabled()) {
            if (pollInterval_ == 0)
                pollInterval_ = poll->Interval();
            poll->Restart(pollInterval_ + TRequestQueue::ReplyTimeOut);
        }
    } else if (held & hoPoll) {
        PollTimerTick(poll);
    }
}

} // namespace fk
