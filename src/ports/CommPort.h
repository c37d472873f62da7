#pragma once
// TCommPort: the abstract byte-stream port.
//
// It owns the line settings, the time-outs, the last line status, twelve events (a slot each
// plus a multicast list in EventList), the character-timing arithmetic and a receive-speed
// meter driven by a precise timer. It performs no I/O: a concrete port opens the device,
// moves the bytes and calls the dispatchers (DoOnOpening ... DoOnModemLost) on the thread
// its ThreadedEvent setting asks for. Every dispatcher calls the slot, then the list, and
// drops whatever a handler throws.
#include "platform/Component.h"
#include "ports/CommTypes.h"

#include <cstdint>

namespace fk {

class TPrecTimer;

class TCommPort : public TComponent {
public:
    static constexpr u32 DefaultBaudRate = 9600;
    static constexpr TSerialParity DefaultParity = sParityNone;
    static constexpr u8 DefaultDataBits = 8;
    static constexpr TSerialStopBits DefaultStopBits = sStopBits1;
    static constexpr u8 DefaultXonChar = 0x11;
    static constexpr u8 DefaultXoffChar = 0x13;
    static constexpr u8 DefaultErrorChar = 0x12;
    static constexpr u8 DefaultEofChar = 0xFF;
    static constexpr u8 DefaultEvtChar = 0x14;

    // Speed meter: due times in 100-ns units (negative = relative) and the re-arm factor.
    static constexpr std::int64_t SpeedTimerConst = -100000; // 10 ms
    static constexpr std::int64_t SpeedTimerMin = -200000;   // 20 ms
    static constexpr std::int64_t SpeedTimerMlt = 6;
    static constexpr std::int64_t SpeedTimerDiv = 5;

    // Prefix that turns a port name into its device path.
    static constexpr const char* DeviceNameSpace = "/dev/";

    explicit TCommPort(TComponent* owner);
    TCommPort(TComponent* owner, u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits);

    // The line state of a fresh port: these line settings, binary with parity checking, no
    // flow control, the default special characters and evtChar as the event character.
    static TCommState DefaultCommState(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits,
                                       u8 evtChar = DefaultEvtChar) noexcept;
    // A concrete port closes itself in its own destructor; the base cannot call Close().
    ~TCommPort() override;

    // --- properties
    bool SynchronousOpen() const noexcept { return synchronousOpen_; }
    bool SynchronousClose() const noexcept { return synchronousClose_; }
    bool SynchronousIO() const noexcept { return synchronousIO_; }
    bool ThreadedEvent() const noexcept { return threadedEvent_; }
    bool AutoRead() const noexcept { return autoRead_; }
    void SetAutoRead(bool value) noexcept { autoRead_ = value; }
    TCommPortState State() const noexcept { return state_; }
    const String& PortName() const noexcept { return portName_; }
    const String& CurrentPortName() const noexcept { return currentPortName_; }
    const TByteString& ReadBuffer() const noexcept { return readBuffer_; }
    const TCommState& GetState() const noexcept { return commState_; }
    const TCommErrorFlags& LastErrors() const noexcept { return lastErrors_; }
    TCommEventFlags CommEvents() const noexcept { return commEvents_; }
    const TCommStatus& Status() const noexcept { return status_; }
    const TCommTimeouts& TimeOuts() const noexcept { return timeOuts_; }
    u32 RxSpeed() const noexcept { return rxSpeed_; }
    TPrecTimer* SpeedTimer() const noexcept { return speedTimer_; }

    u32 BaudRate() const noexcept { return commState_.BaudRate; }
    u8 DataBits() const noexcept { return commState_.DataBits; }
    TSerialParity Parity() const noexcept { return TSerialParity(commState_.Parity); }
    TSerialStopBits StopBits() const noexcept { return TSerialStopBits(commState_.StopBits); }
    TCommDTRControl GetDTRControl() const noexcept { return commState_.DTRControl(); }
    TCommRTSControl GetRTSControl() const noexcept { return commState_.RTSControl(); }

    // --- virtual operations
    virtual void SetCommEvents(TCommEventFlags events);
    virtual void SetPortName(const String& name);
    // 0 SynchronousOpen, 1 SynchronousClose, 2 SynchronousIO; other indexes are ignored.
    virtual void SetSynchronous(int index, bool value);
    virtual void SetThreadedEvent(bool value);
    virtual bool GetReadPending() const;
    virtual bool GetWritePending() const;
    virtual void DoOnRxSpeed(u32 speed);

    virtual bool Open(const String& name, u32 baudRate, TSerialParity parity, u8 dataBits,
                      TSerialStopBits stopBits) = 0;
    virtual bool Open(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits);
    virtual bool Open();
    virtual bool ReOpen();
    virtual bool Close() = 0;
    virtual bool IsValid() const = 0;
    virtual bool Validate() = 0;
    virtual u32 ReadExisting(RawByteString& buffer, bool append, TCommErrorFlags* errors) = 0;
    virtual u32 ReadExisting(TByteString& buffer, bool append, TCommErrorFlags* errors) = 0;
    virtual u32 Read(void* buffer, u32 count, TCommErrorFlags* errors) = 0;
    virtual u32 Write(const void* buffer, u32 count, TCommErrorFlags* errors) = 0;
    virtual bool UpdateState();
    virtual bool UpdateTimeOuts() = 0;
    virtual bool SetBreak(bool on) = 0;
    virtual bool ClearError(TCommErrorFlags* errors, TCommStatus* status) = 0;
    virtual bool GetModemStatus(TCommModemStatus* status) = 0;
    virtual bool Purge(TCommPurgeFlags flags) = 0;

    // --- non-virtual operations
    bool Open(const String& name);
    void SetState(const TCommState& state);
    void SetTimeOuts(const TCommTimeouts& timeOuts);
    void SetBaudRate(u32 value);
    void SetDataBits(u8 value);
    void SetParity(TSerialParity value);
    void SetStopBits(TSerialStopBits value);
    void SetDTRControl(TCommDTRControl value);
    void SetRTSControl(TCommRTSControl value);
    bool SetFlowControl(TCommFlowControl flow);
    bool PurgeAll() { return Purge(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR); }
    void UpdateStatus();
    void UpdateStatus(const TCommStatus& status, TCommErrorFlags errors);

    // --- static operations
    static u8 SymbolBitHalves(const TCommState& state) noexcept;
    static u32 CalculateTime(u32 count, const TCommState& state) noexcept;
    static void CalculateTime(u64& out, u32 count, const TCommState& state) noexcept;
    static u32 BytesInTime(u32 ms, const TCommState& state) noexcept;
    static u64 BytesInTime(u64 time, const TCommState& state) noexcept;
    static void SetFlowControl(TCommState& state, TCommFlowControl flow) noexcept;
    static void CurrentTime(u64& time) noexcept;
    static int GetCommPortID(const String& name);
    // The last component of a path (after the final '/', '\\' or ':').
    static String LastPathComponent(const String& name);

    // Speed arithmetic on this port's line state and samples.
    u32 CalcSpeed(u32 count, u64 time) const noexcept;
    u32 CalculateRxSpeed(u32 inQueue, u64 now, std::int64_t& next, bool nominal) const noexcept;

    // --- events
    TCommOpenEvent OnOpening, OnOpen, OnOpened;
    TCommCloseEvent OnClosing, OnClosed;
    TCommEventEvent OnEvent;
    TCommStatusEvent OnStatusUpdate;
    TCommErrorEvent OnError;
    TCommTransferEvent OnWrite, OnRead;
    TCommSpeedEvent OnRxSpeed, OnModemLost;

    // Further handlers of each event, called after the slot in the order they were added.
    struct TEventLists {
        TCommOpenEvents OnOpening, OnOpen, OnOpened;
        TCommCloseEvents OnClosing, OnClosed;
        TCommEventEvents OnEvent;
        TCommStatusEvents OnStatusUpdate;
        TCommErrorEvents OnError;
        TCommTransferEvents OnWrite, OnRead;
        TCommSpeedEvents OnRxSpeed, OnModemLost;
    };
    TEventLists EventList;

protected:
    // Dispatchers: bookkeeping, then the slot and the list.
    virtual void DoOnOpening(const String& portName, u32 result);
    virtual void DoOnOpen(const String& portName, u32 result);
    virtual void DoOnOpened(const String& portName, u32 result);
    virtual void DoOnClosing(const String& portName, u32 result, TCommCloseReason reason);
    virtual void DoOnClosed(const String& portName, u32 result, TCommCloseReason reason);
    virtual void DoOnEvent(TCommEventFlags events, u32 result, const TCommStatus& status, TCommErrorFlags errors);
    void DoOnStatusUpdate(const TCommStatus& status, TCommErrorFlags errors);
    void DoOnError(TCommErrorFlags errors);
    void DoOnWrite(const void* buffer, u32 bufferSize, u32 transferred, TCommErrorFlags errors, u32 result);
    void DoOnRead(const void* buffer, u32 bufferSize, u32 transferred, TCommErrorFlags errors, u32 result);
    void DoOnModemLost(u32 error);
    // The speed timer's handler.
    void SymbolOnTimer(TObject* sender, u64 time);

    // Line state without going through the setters (no UpdateState).
    TCommState& MutableState() noexcept { return commState_; }
    TByteString& MutableReadBuffer() noexcept { return readBuffer_; }
    TCommTimeouts& MutableTimeOuts() noexcept { return timeOuts_; }
    void SetLastErrors(TCommErrorFlags errors) noexcept { lastErrors_ = errors; }
    void Notification(TComponent* component, TOperation operation) override;

private:
    void Create(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits);
    void RaiseLength(u32 end) noexcept;

    bool synchronousOpen_ = true;
    bool synchronousClose_ = true;
    bool synchronousIO_ = true;
    bool threadedEvent_ = false;
    bool autoRead_ = false;
    TCommPortState state_ = cStateClosed;
    String portName_;
    String currentPortName_;
    TByteString readBuffer_;
    TCommState commState_{};
    TCommErrorFlags lastErrors_ = 0;
    TCommEventFlags commEvents_ = AllCommEvents;
    TCommStatus status_;
    TCommTimeouts timeOuts_;
    u64 speedSampleTime_ = 0;
    u32 speedSampleQueue_ = 0;
    u32 rxSpeed_ = 0;
    TPrecTimer* speedTimer_ = nullptr; // owned (a child component)
};

} // namespace fk
