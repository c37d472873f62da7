#include "connection/KestConnection.h"

#include "platform/FaultReport.h"
#include "ports/SerialPort.h"
#include "protocol/DeviceMessages.h"
#include "protocol/KestPacket.h"
#include "support/TraceSink.h"

#include <ctime>
#include <new>

namespace fk {

namespace {

const char* CloseReasonName(TCommCloseReason reason) noexcept
{
    switch (reason) {
    case ccReasonClose: return "close";
    case ccReasonReOpen: return "reopen";
    case ccReasonError: return "error";
    }
    return "unknown";
}

const char* LossReasonName(TPacketLossReason reason) noexcept
{
    switch (reason) {
    case plrUnrecognized: return "unrecognised";
    case plrCorrupted: return "corrupted";
    case plrTimeouted: return "timed-out";
    case plrNotSent: return "not-sent";
    }
    return "unknown";
}

} // namespace

TKestConnection::TKestConnection(TComponent* owner)
    : TKestConnection(owner, DefaultBaudRate, DefaultParity, DefaultDataBits, DefaultStopBits)
{
}

TKestConnection::TKestConnection(TComponent* owner, u32 baudRate, TSerialParity parity, u8 dataBits,
                                 TSerialStopBits stopBits)
    : TComponent(owner)
    , receiver_(*this)
{
    Create(baudRate, parity, dataBits, stopBits);
}

void TKestConnection::Create(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits)
{
    state_ = TCommPort::DefaultCommState(baudRate, parity, dataBits, stopBits, DefaultEvtChar);
    if (!commPort_)
        SetCommPort(nullptr);
}

TKestConnection::~TKestConnection()
{
    // Nothing reaches the application during teardown.
    OnOpening = OnOpen = OnOpened = nullptr;
    OnClosing = OnClosed = nullptr;
    OnEvent = nullptr;
    OnStatusUpdate = nullptr;
    OnError = nullptr;
    OnWrite = OnRead = nullptr;
    OnPacketReceived = nullptr;
    OnPacketLoss = nullptr;
    OnRxSpeed = OnModemLost = nullptr;
    RemoveCommPort();
    if (ownPort_) {
        TSerialPort* own = ownPort_;
        ownPort_ = nullptr;
        TComponent::Free(own);
    }
}

// ---------------------------------------------------------------- port binding

void TKestConnection::SetCommPort(TCommPort* value)
{
    if (value && value == commPort_)
        return;
    RemoveCommPort();
    if (value) {
        if (ownPort_) {
            TSerialPort* own = ownPort_;
            ownPort_ = nullptr;
            TComponent::Free(own);
        }
        commPort_ = value;
    } else {
        if (!ownPort_)
            ownPort_ = fk::Create<TSerialPort>(this);
        commPort_ = ownPort_;
    }
    commPort_->FreeNotification(this);
    commPort_->SetAutoRead(true);
    Hook(commPort_, true);
    portName_ = commPort_->PortName();
}

void TKestConnection::RemoveCommPort()
{
    TCommPort* port = commPort_;
    if (!port)
        return;
    port->RemoveFreeNotification(this);
    port->Close();
    Hook(port, false);
    commPort_ = nullptr;
}

void TKestConnection::Hook(TCommPort* port, bool add)
{
    auto& l = port->EventList;
    const auto apply = [add](auto& list, const auto& handler) {
        if (add)
            list.Add(handler);
        else
            list.Remove(handler);
    };
    apply(l.OnOpening, TCommOpenEvent(this, &TKestConnection::OnOpeningEvent));
    apply(l.OnOpen, TCommOpenEvent(this, &TKestConnection::OnOpenEvent));
    apply(l.OnClosing, TCommCloseEvent(this, &TKestConnection::OnClosingEvent));
    apply(l.OnClosed, TCommCloseEvent(this, &TKestConnection::OnClosedEvent));
    apply(l.OnWrite, TCommTransferEvent(this, &TKestConnection::OnWriteEvent));
    apply(l.OnRead, TCommTransferEvent(this, &TKestConnection::OnReadEvent));
    apply(l.OnEvent, TCommEventEvent(this, &TKestConnection::OnEventEvent));
    apply(l.OnStatusUpdate, TCommStatusEvent(this, &TKestConnection::OnStatusUpdateEvent));
    apply(l.OnError, TCommErrorEvent(this, &TKestConnection::OnErrorEvent));
    apply(l.OnRxSpeed, TCommSpeedEvent(this, &TKestConnection::OnRxSpeedEvent));
    apply(l.OnModemLost, TCommSpeedEvent(this, &TKestConnection::OnModemLostEvent));
}

void TKestConnection::Notification(TComponent* component, TOperation operation)
{
    if (operation == opRemove && component) {
        // The port is notified from the last stage of its destruction: it has closed itself
        // and its event lists are gone, so it is only forgotten here, not called.
        if (component == commPort_)
            commPort_ = nullptr;
        if (component == ownPort_)
            ownPort_ = nullptr;
    }
    TComponent::Notification(component, operation);
}

void TKestConnection::SetThreadedEvent(bool value)
{
    threadedEvent_ = value;
    if (commPort_)
        commPort_->SetThreadedEvent(value);
}

// ---------------------------------------------------------------- line settings

void TKestConnection::SetBaudRate(u32 value)
{
    if (!commPort_ || state_.BaudRate == value)
        return;
    state_.BaudRate = value;
    UpdateState();
}

void TKestConnection::SetDataBits(u8 value)
{
    if (!commPort_ || state_.DataBits == value)
        return;
    state_.DataBits = value;
    UpdateState();
}

void TKestConnection::SetParity(TSerialParity value)
{
    if (!commPort_ || state_.Parity == value)
        return;
    state_.Parity = value;
    UpdateState();
}

void TKestConnection::SetStopBits(TSerialStopBits value)
{
    if (!commPort_ || state_.StopBits == value)
        return;
    state_.StopBits = value;
    UpdateState();
}

void TKestConnection::SetDTRControl(TCommDTRControl value)
{
    if (!commPort_ || state_.DTRControl() == value)
        return;
    state_.SetDTRControl(value);
    UpdateState();
}

void TKestConnection::SetRTSControl(TCommRTSControl value)
{
    if (!commPort_ || state_.RTSControl() == value)
        return;
    state_.SetRTSControl(value);
    UpdateState();
}

bool TKestConnection::SetFlowControl(TCommFlowControl flow)
{
    if (!commPort_ || flow < cFlowNone || flow > cFlowXonXoff)
        return false;
    TCommPort::SetFlowControl(state_, flow);
    UpdateState();
    return true;
}

bool TKestConnection::UpdateState()
{
    return commPort_ ? commPort_->UpdateState() : false;
}

// ---------------------------------------------------------------- port control

bool TKestConnection::Open(const String& portName, u32 baudRate, TSerialParity parity, u8 dataBits,
                           TSerialStopBits stopBits)
{
    if (!commPort_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const String name = portName; // the port's events may change the string passed in
    commPort_->SetState(state_);
    return commPort_->Open(name, baudRate, parity, dataBits, stopBits);
}

bool TKestConnection::Open(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits)
{
    return Open(portName_, baudRate, parity, dataBits, stopBits);
}

bool TKestConnection::Open()
{
    return Open(portName_, state_.BaudRate, TSerialParity(state_.Parity), state_.DataBits,
                TSerialStopBits(state_.StopBits));
}

bool TKestConnection::Close() { return commPort_ ? commPort_->Close() : false; }

bool TKestConnection::ReOpen() { return commPort_ ? commPort_->ReOpen() : false; }

bool TKestConnection::IsValid() const { return commPort_ ? commPort_->IsValid() : false; }

bool TKestConnection::Validate() { return commPort_ ? commPort_->Validate() : false; }

bool TKestConnection::Purge(TCommPurgeFlags flags) { return commPort_ ? commPort_->Purge(flags) : false; }

u32 TKestConnection::GetRxSpeed() const noexcept { return commPort_ ? commPort_->RxSpeed() : 0; }

// Pending packets wait 200 ms and more, so the coarse monotonic clock (a tick or a few ms, like
// the system tick count on the original platform) is fine enough, and reading it costs a
// fraction of the precise clock: it is read on every read event.
u32 TKestConnection::TickCount() const noexcept
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return u32(u64(ts.tv_sec) * 1000u + u64(ts.tv_nsec) / 1000000u);
}

// ---------------------------------------------------------------- sending

u32 TKestConnection::Write(const void* data, u32 count)
{
    if (!commPort_)
        return 0;
    if (TTraceSink::Enabled())
        TracePacket(true, data, count, ptKestPacket2);
    return commPort_->Write(data, count, nullptr);
}

// Buffers sent are not typed: one that reads as a whole protocol-2 packet is one, anything
// else is taken as protocol 1. Only protocol-2 codes have names.
void TKestConnection::TracePacket(bool sent, const void* data, u32 count, TKestPacketType type) const
{
    const auto* p = static_cast<const u8*>(data);
    if (sent && !(count >= KestPacketHeader2_t_::DataOffset && p[0] == KestPacketHeader2_t_::StartConstant
                  && u32(p[4] | p[5] << 8) == count))
        type = ptKestPacket1;
    int code = -1;
    const char* name = "";
    if (type == ptKestPacket2 && count > 1) {
        code = p[1];
        name = DeviceCodeName(p[1]);
    } else if (type == ptKestPacket1 && count > 5) {
        code = p[5];
    }
    TTraceSink::Packet(sent, currentPortName_, code, name, data, count);
}

bool TKestConnection::SendData(const void* data, u32 count)
{
    if (!data || count == 0 || !IsValid())
        return false;
    const bool wasEmpty = sendQueue_.empty();
    try {
        const u8* p = static_cast<const u8*>(data);
        sendQueue_.emplace_back(p, p + count);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (!wasEmpty)
        return true; // waits for its turn
    return WriteHead();
}

bool TKestConnection::WriteHead()
{
    // The write event of a synchronous port drops the head inside Write: take its length first.
    const TByteString& head = sendQueue_.front();
    const u32 length = u32(head.size());
    const u64 dropped = headsDropped_;
    const u32 written = Write(head.data(), length);
    if (written == length)
        return true;
    const DWORD error = GetLastError();
    // A port that refused the write without a write event (no port, device gone, bad handle):
    // the head would never be confirmed, so it is dropped here. A pending asynchronous write is
    // reported by its write event later.
    if (error != ERROR_IO_PENDING && dropped == headsDropped_ && !sendQueue_.empty()) {
        DropFailedHead(0);
        SetLastError(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
    }
    return false;
}

void TKestConnection::DropFailedHead(TCommErrorFlags errors)
{
    // The bytes stay alive for the loss report; the next buffer goes out before it, so a handler
    // that sends from the report queues behind it or writes to an empty queue at once.
    TByteString lost = std::move(sendQueue_.front());
    sendQueue_.pop_front();
    ++headsDropped_;
    while (!sendQueue_.empty() && sendQueue_.front().empty()) {
        sendQueue_.pop_front();
        ++headsDropped_;
    }
    if (!sendQueue_.empty())
        WriteHead();
    try {
        DoOnPacketLoss(lost.data(), u32(lost.size()), plrNotSent, errors);
    } catch (...) {
        TFaultReport::Caught("the packet loss handler"); // the send queue goes on
    }
}

bool TKestConnection::SendPacket(const TKestPacket* packet, bool asIs)
{
    if (!packet) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (asIs)
        return SendData(packet->GetPacketBuffer());
    TByteString wire;
    if (!packet->PrepareSend(wire))
        return false;
    return SendData(wire);
}

// ---------------------------------------------------------------- listeners

void TKestConnection::OnOpeningEvent(TObject*, const String& portName, u32 result)
{
    currentPortName_ = portName;
    portLost_ = false;
    DoOnOpening(portName, result);
}

void TKestConnection::OnOpenEvent(TObject*, const String& portName, u32 result)
{
    if (result == 0)
        TTraceSink::Port("opened", portName);
    else
        TTraceSink::Port("open-failed", portName, {}, result);
    DoOnOpen(portName, result);
}

void TKestConnection::OnClosingEvent(TObject*, const String& portName, u32 result, TCommCloseReason reason)
{
    DoOnClosing(portName, result, reason);
}

void TKestConnection::OnClosedEvent(TObject*, const String& portName, u32 result, TCommCloseReason reason)
{
    currentPortName_.clear();
    // A port that ended by itself (its device went away) is closed with an error, whatever
    // close the port reports for it.
    const bool lost = portLost_ || result != 0;
    portLost_ = false;
    TTraceSink::Port("closed", portName, lost && reason == ccReasonClose ? "error" : CloseReasonName(reason), result);
    DoOnClosed(portName, result, reason);
}

void TKestConnection::OnWriteEvent(TObject*, const void* buffer, u32 bufferSize, u32 transferred,
                                   TCommErrorFlags errors, u32 result)
{
    DoOnWrite(buffer, bufferSize, transferred, errors, result);
}

void TKestConnection::OnReadEvent(TObject*, const void* buffer, u32 bufferSize, u32 transferred,
                                  TCommErrorFlags errors, u32 result)
{
    DoOnRead(buffer, bufferSize, transferred, errors, result);
}

void TKestConnection::OnEventEvent(TObject*, TCommEventFlags events, u32 result, const TCommStatus& status,
                                   TCommErrorFlags errors)
{
    DoOnEvent(events, result, status, errors);
}

void TKestConnection::OnStatusUpdateEvent(TObject*, const TCommStatus& status, TCommErrorFlags errors)
{
    DoOnStatusUpdate(status, errors);
}

void TKestConnection::OnErrorEvent(TObject*, TCommErrorFlags errors) { DoOnError(errors); }

void TKestConnection::OnRxSpeedEvent(TObject*, u32 value) { DoOnRxSpeed(value); }

void TKestConnection::OnModemLostEvent(TObject*, u32 value)
{
    TTraceSink::Port("lost", currentPortName_, {}, value);
    portLost_ = true;
    DoOnModemLost(value);
}

// ---------------------------------------------------------------- raisers

void TKestConnection::DoOnOpening(const String& portName, u32 result) { OnOpening.Invoke(this, portName, result); }

void TKestConnection::DoOnOpen(const String& portName, u32 result)
{
    OnOpen.Invoke(this, portName, result);
    if (result != 0)
        return;
    headsDropped_ += sendQueue_.size();
    sendQueue_.clear();
    receiver_.ResetPending();
    OnOpened.Invoke(this, portName, result);
}

void TKestConnection::DoOnClosing(const String& portName, u32 result, TCommCloseReason reason)
{
    OnClosing.Invoke(this, portName, result, reason);
}

void TKestConnection::DoOnClosed(const String& portName, u32 result, TCommCloseReason reason)
{
    OnClosed.Invoke(this, portName, result, reason);
}

void TKestConnection::DoOnError(TCommErrorFlags errors) { OnError.Invoke(this, errors); }

void TKestConnection::DoOnRead(const void* buffer, u32 bufferSize, u32 transferred, TCommErrorFlags errors,
                               u32 result)
{
    OnRead.Invoke(this, buffer, bufferSize, transferred, errors, result);
    const u32 now = TickCount();
    receiver_.AddErrors(errors);
    if (!buffer || transferred == 0)
        return;
    receiver_.Receive(buffer, transferred, now, state_);
}

void TKestConnection::DoOnWrite(const void* buffer, u32 bufferSize, u32 transferred, TCommErrorFlags errors,
                                u32 result)
{
    OnWrite.Invoke(this, buffer, bufferSize, transferred, errors, result);
    if (sendQueue_.empty() || sendQueue_.front().empty() || buffer != sendQueue_.front().data())
        return;
    if (transferred >= sendQueue_.front().size()) {
        sendQueue_.pop_front();
        ++headsDropped_;
        return;
    }
    // A failed, timed-out or short write: no reply will come for these bytes, so keeping them
    // as the head would hold back everything sent after them.
    DropFailedHead(errors);
}

void TKestConnection::DoOnEvent(TCommEventFlags events, u32 result, const TCommStatus& status,
                                TCommErrorFlags errors)
{
    OnEvent.Invoke(this, events, result, status, errors);
}

void TKestConnection::DoOnStatusUpdate(const TCommStatus& status, TCommErrorFlags errors)
{
    OnStatusUpdate.Invoke(this, status, errors);
}

void TKestConnection::DoOnPacketReceived(const void* buffer, u32 transferred, TKestPacketType packetType)
{
    // Every received packet lets the next queued buffer go out.
    while (!sendQueue_.empty()) {
        if (!sendQueue_.front().empty()) {
            WriteHead();
            break;
        }
        sendQueue_.pop_front();
        ++headsDropped_;
    }
    OnPacketReceived.Invoke(this, buffer, transferred, packetType);
}

void TKestConnection::DoOnPacketLoss(const void* buffer, u32 transferred, TPacketLossReason reason,
                                     TCommErrorFlags errors)
{
    OnPacketLoss.Invoke(this, buffer, transferred, reason, errors);
}

void TKestConnection::DoOnRxSpeed(u32 value)
{
    if (value == 0 && !receiver_.Empty())
        receiver_.Flush();
    OnRxSpeed.Invoke(this, value);
}

void TKestConnection::DoOnModemLost(u32 value) { OnModemLost.Invoke(this, value); }

// ---------------------------------------------------------------- receiver events

void TKestConnection::ReceiverPacket(const u8* buffer, u32 length, TKestPacketType type)
{
    if (TTraceSink::Enabled())
        TracePacket(false, buffer, length, type);
    try {
        DoOnPacketReceived(buffer, length, type);
    } catch (...) {
        // A raiser overridden by a subclass threw: the receive state stays consistent.
        TFaultReport::Caught("the packet handler");
    }
}

void TKestConnection::ReceiverLoss(const u8* buffer, u32 length, TPacketLossReason reason, TCommErrorFlags errors)
{
    TTraceSink::Dropped(currentPortName_, LossReasonName(reason), buffer, length);
    try {
        DoOnPacketLoss(buffer, length, reason, errors);
    } catch (...) {
        TFaultReport::Caught("the packet loss handler");
    }
}

} // namespace fk
