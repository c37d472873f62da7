#include "ports/CommPort.h"

#include "platform/SystemClock.h"
#include "ports/PrecTimer.h"

#include <charconv>
#include <limits>

namespace fk {

TCommPort::TCommPort(TComponent* owner)
    : TCommPort(owner, DefaultBaudRate, DefaultParity, DefaultDataBits, DefaultStopBits)
{
}

TCommPort::TCommPort(TComponent* owner, u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits)
    : TComponent(owner)
{
    Create(baudRate, parity, dataBits, stopBits);
}

TCommState TCommPort::DefaultCommState(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits,
                                       u8 evtChar) noexcept
{
    TCommState state{};
    state.Length = sizeof(TCommState);
    state.BaudRate = baudRate;
    state.DataBits = dataBits;
    state.Parity = parity;
    state.StopBits = stopBits;
    state.Flags = fBinary | fParity | fTXContinueOnXoff; // DTR and RTS control disabled
    state.XonLim = 0;
    state.XoffLim = 1;
    state.XonChar = DefaultXonChar;
    state.XoffChar = DefaultXoffChar;
    state.ErrorChar = DefaultErrorChar;
    state.EofChar = DefaultEofChar;
    state.EvtChar = evtChar;
    return state;
}

void TCommPort::Create(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits)
{
    commState_ = DefaultCommState(baudRate, parity, dataBits, stopBits);

    timeOuts_ = TCommTimeouts{};
    timeOuts_.ReadIntervalTimeout = MAXDWORD; // a read returns at once with what is buffered
    timeOuts_.WriteTotalTimeoutMultiplier = CalculateTime(1, commState_);
    timeOuts_.WriteTotalTimeoutConstant = 10;

    status_ = TCommStatus{};
    commEvents_ = AllCommEvents;
    speedSampleTime_ = 0;
    speedSampleQueue_ = 0;
    rxSpeed_ = 0;

    if (!speedTimer_)
        speedTimer_ = fk::Create<TPrecTimer>(this, false);
    speedTimer_->SetEnabled(false);
    speedTimer_->Periodic = false;
    speedTimer_->Interval = 0;
    speedTimer_->Time = TPrecTimer::PeriodToTime(200000); // placeholder: set before every arming
    speedTimer_->OnTimer = TTimeEvent(this, &TCommPort::SymbolOnTimer);
}

TCommPort::~TCommPort()
{
    Destroying();
    if (speedTimer_ && !speedTimer_->IsDestroying())
        TComponent::Free(speedTimer_);
    speedTimer_ = nullptr;
    rxSpeed_ = 0;
    OnOpening = OnOpen = OnOpened = nullptr;
    OnClosing = OnClosed = nullptr;
    OnEvent = nullptr;
    OnStatusUpdate = nullptr;
    OnError = nullptr;
    OnWrite = OnRead = nullptr;
    OnRxSpeed = OnModemLost = nullptr;
}

void TCommPort::Notification(TComponent* component, TOperation operation)
{
    if (operation == opRemove && component == speedTimer_)
        speedTimer_ = nullptr;
    TComponent::Notification(component, operation);
}

// ---------------------------------------------------------------- virtual operations

void TCommPort::SetCommEvents(TCommEventFlags events) { commEvents_ = events; }

void TCommPort::SetPortName(const String& name) { portName_ = name; }

void TCommPort::SetSynchronous(int index, bool value)
{
    switch (index) {
    case 0: synchronousOpen_ = value; break;
    case 1: synchronousClose_ = value; break;
    case 2: synchronousIO_ = value; break;
    default: break;
    }
}

void TCommPort::SetThreadedEvent(bool value) { threadedEvent_ = value; }

bool TCommPort::GetReadPending() const { return false; }

bool TCommPort::GetWritePending() const { return false; }

bool TCommPort::Open(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits)
{
    return Open(portName_, baudRate, parity, dataBits, stopBits);
}

bool TCommPort::Open()
{
    return Open(commState_.BaudRate, TSerialParity(commState_.Parity), commState_.DataBits,
                TSerialStopBits(commState_.StopBits));
}

bool TCommPort::Open(const String& name)
{
    return Open(name, commState_.BaudRate, TSerialParity(commState_.Parity), commState_.DataBits,
                TSerialStopBits(commState_.StopBits));
}

bool TCommPort::ReOpen()
{
    const String name = currentPortName_; // Open may change it on the way
    return Open(name);
}

bool TCommPort::UpdateState()
{
    const u32 multiplier = CalculateTime(1, commState_);
    if (multiplier != timeOuts_.WriteTotalTimeoutMultiplier) {
        timeOuts_.WriteTotalTimeoutMultiplier = multiplier;
        UpdateTimeOuts();
    }
    return false;
}

// ---------------------------------------------------------------- settings

void TCommPort::SetState(const TCommState& state)
{
    commState_ = state;
    UpdateState();
}

void TCommPort::SetTimeOuts(const TCommTimeouts& timeOuts)
{
    timeOuts_ = timeOuts;
    UpdateTimeOuts();
}

void TCommPort::RaiseLength(u32 end) noexcept
{
    if (commState_.Length < end)
        commState_.Length = end;
}

void TCommPort::SetBaudRate(u32 value)
{
    if (commState_.BaudRate == value)
        return;
    RaiseLength(8);
    commState_.BaudRate = value;
    UpdateState();
}

void TCommPort::SetDataBits(u8 value)
{
    if (commState_.DataBits == value)
        return;
    RaiseLength(19);
    commState_.DataBits = value;
    UpdateState();
}

void TCommPort::SetParity(TSerialParity value)
{
    if (commState_.Parity == value)
        return;
    RaiseLength(20);
    commState_.Parity = value;
    UpdateState();
}

void TCommPort::SetStopBits(TSerialStopBits value)
{
    if (commState_.StopBits == value)
        return;
    RaiseLength(21);
    commState_.StopBits = value;
    UpdateState();
}

void TCommPort::SetDTRControl(TCommDTRControl value)
{
    if (commState_.DTRControl() == value)
        return;
    RaiseLength(9);
    commState_.SetDTRControl(value);
    UpdateState();
}

void TCommPort::SetRTSControl(TCommRTSControl value)
{
    if (commState_.RTSControl() == value)
        return;
    RaiseLength(10);
    commState_.SetRTSControl(value);
    UpdateState();
}

bool TCommPort::SetFlowControl(TCommFlowControl flow)
{
    if (flow < cFlowNone || flow > cFlowXonXoff)
        return false;
    SetFlowControl(commState_, flow);
    UpdateState();
    return true;
}

void TCommPort::SetFlowControl(TCommState& state, TCommFlowControl flow) noexcept
{
    const bool xonXoff = flow == cFlowXonXoff;
    const bool hardware = flow == cFlowHardware;
    state.SetFlag(fInX, xonXoff);
    state.SetFlag(fOutX, xonXoff);
    state.SetDTRControl(hardware ? cDTR_HandShake : cDTR_Disable);
    state.SetRTSControl(hardware ? cRTS_Handshake : cRTS_Disable);
    state.SetFlag(fOutxCtsFlow, hardware);
    state.SetFlag(fOutxDsrFlow, hardware);
}

// ---------------------------------------------------------------- status

void TCommPort::UpdateStatus() { ClearError(nullptr, nullptr); }

void TCommPort::UpdateStatus(const TCommStatus& status, TCommErrorFlags errors)
{
    const TCommStatus copy = status; // `status` may be this port's own Status
    DoOnStatusUpdate(copy, errors);
    status_ = copy;
    if (errors != 0)
        DoOnError(errors);
    if (errors & 0x5F)
        lastErrors_ = errors;
    else
        lastErrors_ = (lastErrors_ & CE_BREAK) | errors; // a break stays until the next line error
}

// ---------------------------------------------------------------- timing

u8 TCommPort::SymbolBitHalves(const TCommState& state) noexcept
{
    const unsigned parityBit = state.Parity != sParityNone ? 1 : 0;
    unsigned stopHalves = 0;
    if (state.StopBits == sStopBits1_5)
        stopHalves = 1;
    else if (state.StopBits == sStopBits2)
        stopHalves = 2;
    return u8(2 * (unsigned(state.DataBits) + parityBit + 2) + stopHalves);
}

u32 TCommPort::CalculateTime(u32 count, const TCommState& state) noexcept
{
    const u64 product = u64(count) * SymbolBitHalves(state) * 500u;
    if (product == 0)
        return 0;
    if (state.BaudRate == 0)
        return std::numeric_limits<u32>::max();
    const u64 ms = (product + state.BaudRate - 1) / state.BaudRate;
    return ms > std::numeric_limits<u32>::max() ? std::numeric_limits<u32>::max() : u32(ms);
}

void TCommPort::CalculateTime(u64& out, u32 count, const TCommState& state) noexcept
{
    const u64 product = u64(count) * SymbolBitHalves(state) * 5000000u;
    if (product == 0)
        out = 0;
    else if (state.BaudRate == 0)
        out = std::numeric_limits<u64>::max();
    else
        out = (product + state.BaudRate - 1) / state.BaudRate;
}

u32 TCommPort::BytesInTime(u32 ms, const TCommState& state) noexcept
{
    const u64 divisor = u64(SymbolBitHalves(state)) * 500u;
    if (divisor == 0)
        return std::numeric_limits<u32>::max();
    const u64 n = u64(ms) * state.BaudRate / divisor;
    return n > std::numeric_limits<u32>::max() ? std::numeric_limits<u32>::max() : u32(n);
}

u64 TCommPort::BytesInTime(u64 time, const TCommState& state) noexcept
{
    const u64 divisor = u64(SymbolBitHalves(state)) * 5000000u;
    if (divisor == 0)
        return std::numeric_limits<u64>::max();
    const unsigned __int128 n = (unsigned __int128)time * state.BaudRate / divisor;
    return n > std::numeric_limits<u64>::max() ? std::numeric_limits<u64>::max() : u64(n);
}

void TCommPort::CurrentTime(u64& time) noexcept { time = GetSystemTimeAsFileTime(); }

String TCommPort::LastPathComponent(const String& name)
{
    const auto pos = name.find_last_of("/\\:");
    return pos == String::npos ? name : name.substr(pos + 1);
}

int TCommPort::GetCommPortID(const String& name)
{
    const String last = LastPathComponent(name);
    if (last.size() <= 3 || last.compare(0, 3, "COM") != 0)
        return -1;
    const char* first = last.data() + 3;
    const char* end = last.data() + last.size();
    if (*first == '+')
        ++first;
    int id = 0;
    const auto [ptr, ec] = std::from_chars(first, end, id, 10);
    if (ec != std::errc() || ptr != end || first == end)
        return -1;
    return id;
}

// ---------------------------------------------------------------- speed meter

u32 TCommPort::CalcSpeed(u32 count, u64 time) const noexcept
{
    if (count == 0 || std::int64_t(time) <= 0)
        return commState_.BaudRate;
    const u64 bits = u64(SymbolBitHalves(commState_)) * 5000000u * count;
    return u32(bits / time);
}

u32 TCommPort::CalculateRxSpeed(u32 inQueue, u64 now, std::int64_t& next, bool nominal) const noexcept
{
    const u32 chars = inQueue - speedSampleQueue_;
    std::int64_t elapsed = 0;
    u32 speed = 0;
    if (nominal) {
        u64 t = 0;
        CalculateTime(t, chars, commState_);
        elapsed = t > u64(std::numeric_limits<std::int64_t>::max()) ? std::numeric_limits<std::int64_t>::max()
                                                                      : std::int64_t(t);
        speed = commState_.BaudRate;
    } else {
        elapsed = std::int64_t(now - speedSampleTime_);
        speed = CalcSpeed(chars, u64(elapsed));
    }
    // 1.2 times the interval, rounded towards plus infinity.
    const __int128 scaled = (__int128)elapsed * SpeedTimerMlt;
    __int128 q = scaled / SpeedTimerDiv;
    if (scaled % SpeedTimerDiv != 0 && scaled > 0)
        ++q;
    __int128 due = __int128(SpeedTimerConst) - q;
    if (due > SpeedTimerMin)
        due = SpeedTimerMin;
    if (due < std::numeric_limits<std::int64_t>::min())
        due = std::numeric_limits<std::int64_t>::min();
    next = std::int64_t(due);
    return speed;
}

void TCommPort::DoOnRxSpeed(u32 speed)
{
    if (!(speed == 0 && rxSpeed_ == 0))
        RaiseEvent(OnRxSpeed, EventList.OnRxSpeed, this, speed);
    rxSpeed_ = speed;
}

void TCommPort::SymbolOnTimer(TObject*, u64 time)
{
    if (!speedTimer_)
        return;
    if (state_ == cStateClosed) {
        speedTimer_->SetEnabled(false);
        return;
    }
    u32 q = status_.InQueue;
    if (q == 0) {
        UpdateStatus();
        q = status_.InQueue;
        if (q == 0) {
            DoOnRxSpeed(0);
            if (speedTimer_)
                speedTimer_->SetEnabled(false);
            return;
        }
    }
    std::int64_t next = 0;
    u32 speed = CalculateRxSpeed(q, time, next, false);
    if (q == speedSampleQueue_)
        speed = 0;
    speedSampleTime_ = time;
    speedSampleQueue_ = q;
    if (speedTimer_) {
        speedTimer_->Time = next;
        speedTimer_->SetEnabled(speed != 0);
    }
    DoOnRxSpeed(speed);
}

// ---------------------------------------------------------------- dispatchers

void TCommPort::DoOnOpening(const String& portName, u32 result)
{
    rxSpeed_ = 0;
    state_ = cStateOpening;
    currentPortName_ = portName;
    RaiseEvent(OnOpening, EventList.OnOpening, this, portName, result);
}

void TCommPort::DoOnOpen(const String& portName, u32 result)
{
    if (result == 0) {
        state_ = cStateOpen;
        DoOnRxSpeed(0);
    }
    RaiseEvent(OnOpen, EventList.OnOpen, this, portName, result);
    if (result != 0) {
        state_ = cStateClosed;
        currentPortName_.clear();
    }
}

void TCommPort::DoOnOpened(const String& portName, u32 result)
{
    state_ = cStateOpen;
    RaiseEvent(OnOpened, EventList.OnOpened, this, portName, result);
}

void TCommPort::DoOnClosing(const String& portName, u32 result, TCommCloseReason reason)
{
    state_ = cStateClosing;
    RaiseEvent(OnClosing, EventList.OnClosing, this, portName, result, reason);
}

void TCommPort::DoOnClosed(const String& portName, u32 result, TCommCloseReason reason)
{
    state_ = cStateClosed;
    currentPortName_.clear();
    if (speedTimer_)
        speedTimer_->SetEnabled(false);
    DoOnRxSpeed(0);
    RaiseEvent(OnClosed, EventList.OnClosed, this, portName, result, reason);
}

void TCommPort::DoOnEvent(TCommEventFlags events, u32 result, const TCommStatus& status, TCommErrorFlags errors)
{
    const bool received = (events & CommEventBit(cEvRxReceive)) != 0;
    const bool meter = received && speedTimer_ != nullptr;
    const TCommStatus copy = status;
    u64 now = 0;
    std::int64_t next = SpeedTimerMin;
    if (meter) {
        speedTimer_->SetEnabled(false);
        CurrentTime(now);
        DoOnRxSpeed(CalculateRxSpeed(copy.InQueue, now, next, rxSpeed_ == 0));
    }
    UpdateStatus(copy, errors);
    RaiseEvent(OnEvent, EventList.OnEvent, this, events, result, copy, errors);
    if (autoRead_ && received)
        ReadExisting(readBuffer_, false, nullptr);
    if (meter && speedTimer_) {
        speedSampleTime_ = now;
        speedSampleQueue_ = status_.InQueue;
        speedTimer_->Time = next;
        speedTimer_->SetEnabled(true);
    }
}

void TCommPort::DoOnStatusUpdate(const TCommStatus& status, TCommErrorFlags errors)
{
    RaiseEvent(OnStatusUpdate, EventList.OnStatusUpdate, this, status, errors);
}

void TCommPort::DoOnError(TCommErrorFlags errors) { RaiseEvent(OnError, EventList.OnError, this, errors); }

void TCommPort::DoOnWrite(const void* buffer, u32 bufferSize, u32 transferred, TCommErrorFlags errors, u32 result)
{
    RaiseEvent(OnWrite, EventList.OnWrite, this, buffer, bufferSize, transferred, errors, result);
}

void TCommPort::DoOnRead(const void* buffer, u32 bufferSize, u32 transferred, TCommErrorFlags errors, u32 result)
{
    RaiseEvent(OnRead, EventList.OnRead, this, buffer, bufferSize, transferred, errors, result);
}

void TCommPort::DoOnModemLost(u32 error) { RaiseEvent(OnModemLost, EventList.OnModemLost, this, error); }

} // namespace fk
