#pragma once
// TKestConnection: whole packets over a byte-stream port.
//
// The connection sits on one TCommPort (a serial port, or anything else that streams bytes):
// it hooks its listeners into the port's event lists, passes the port's events on as its own
// (with itself as Sender), cuts the received bytes into packets of both protocols
// (TKestReceiver) and sends through a queue that is paced by the replies: a buffer given to
// SendData while nothing is queued goes out at once; later ones wait, and the next one is
// written each time a packet is received. The head of the queue stays until the port's write
// event reports the head's own address with all of its bytes written. A write of the head that
// fails (an error or time-out in the write event, a short write, or a port that refuses the
// write at once) drops the head with a loss report (plrNotSent) and writes the next buffer at
// once: nothing would ever answer the lost one, so waiting for a packet would stall the queue.
//
// Without another port the connection binds a TSerialPort of its own. It keeps its own line
// settings (19200 baud, 8 data bits, odd parity, 1 stop bit by default) and hands them to the
// port at every Open.
//
// Everything here runs on the thread the port raises its events on (the main thread while
// ThreadedEvent is false); the connection takes no lock.
#include "connection/KestConnectionTypes.h"
#include "connection/KestReceiver.h"
#include "platform/Component.h"
#include "ports/CommPort.h"

#include <deque>

namespace fk {

class TKestPacket;
class TSerialPort;

class TKestConnection : public TComponent, private TKestReceiver::TSink {
public:
    static constexpr u32 MinPacketTime = TKestReceiver::MinPacketTime;
    static constexpr u32 InitPacketPos = TKestReceiver::InitPacketPos;
    static constexpr u32 DefaultBaudRate = 19200;
    static constexpr TSerialParity DefaultParity = sParityOdd;
    static constexpr u8 DefaultDataBits = 8;
    static constexpr TSerialStopBits DefaultStopBits = sStopBits1;
    static constexpr u8 DefaultEvtChar = 0x55; // the packet start byte

    explicit TKestConnection(TComponent* owner);
    TKestConnection(TComponent* owner, u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits);
    ~TKestConnection() override;

    // --- port binding
    TCommPort* CommPort() const noexcept { return commPort_; }
    // Binds the port (nullptr: the connection's own serial port, created when needed).
    void SetCommPort(TCommPort* value);
    // Closes and unhooks the bound port and forgets it; the own serial port is kept.
    void RemoveCommPort();

    const String& PortName() const noexcept { return portName_; }
    void SetPortName(const String& name) { portName_ = name; }
    // The port being opened or open; empty once it is closed.
    const String& CurrentPortName() const noexcept { return currentPortName_; }
    bool ThreadedEvent() const noexcept { return threadedEvent_; }
    void SetThreadedEvent(bool value);

    // --- receive settings
    TKestPacketType PacketType() const noexcept { return receiver_.PacketType(); }
    void SetPacketType(TKestPacketType value) noexcept { receiver_.SetPacketType(value); }
    TKestPacketTypes PacketTypes() const noexcept { return receiver_.PacketTypes(); }
    void SetPacketTypes(TKestPacketTypes value) noexcept { receiver_.SetPacketTypes(value); }
    u32 MaxPacketLength() const noexcept { return receiver_.MaxPacketLength(); }
    void SetMaxPacketLength(u32 value) noexcept { receiver_.SetMaxPacketLength(value); }
    u32 MaxDataLength() const noexcept { return receiver_.MaxDataLength(); }
    void SetMaxDataLength(u32 value) noexcept { receiver_.SetMaxDataLength(value); }
    const TKestReceiver& Receiver() const noexcept { return receiver_; }

    // --- line settings: the connection's own copy, handed to the port at Open
    const TCommState& GetState() const noexcept { return state_; }
    u32 BaudRate() const noexcept { return state_.BaudRate; }
    u8 DataBits() const noexcept { return state_.DataBits; }
    TSerialParity Parity() const noexcept { return TSerialParity(state_.Parity); }
    TSerialStopBits StopBits() const noexcept { return TSerialStopBits(state_.StopBits); }
    TCommDTRControl DTRControl() const noexcept { return state_.DTRControl(); }
    TCommRTSControl RTSControl() const noexcept { return state_.RTSControl(); }
    void SetBaudRate(u32 value);
    void SetDataBits(u8 value);
    void SetParity(TSerialParity value);
    void SetStopBits(TSerialStopBits value);
    void SetDTRControl(TCommDTRControl value);
    void SetRTSControl(TCommRTSControl value);
    // 1 none, 2 hardware handshake, 3 XON/XOFF; false (state unchanged) for anything else.
    bool SetFlowControl(TCommFlowControl flow);
    // Asks the bound port to apply its own line state again.
    bool UpdateState();

    // --- port control (false or 0 without a port)
    bool Open(const String& portName, u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits);
    bool Open(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits);
    bool Open();
    bool Close();
    bool ReOpen();
    bool IsValid() const;
    bool Validate();
    bool Purge(TCommPurgeFlags flags);
    // Aborts the port's reads and clears its receive queue; bytes the connection has already
    // collected stay in its receive buffer.
    bool PurgeRx() { return Purge(PURGE_RXABORT | PURGE_RXCLEAR); }
    u32 GetRxSpeed() const noexcept;
    // Milliseconds that count bytes take on the line with the connection's line state.
    u32 CalculateTime(u32 count) const noexcept { return TCommPort::CalculateTime(count, state_); }

    // --- sending
    // Straight to the port, past the send queue; the number of bytes the port accepted.
    u32 Write(const void* data, u32 count);
    // Through the send queue. False without a valid port or data, when no memory is left, or
    // when the first write was not taken whole (still pending on an asynchronous port, or
    // failed: then the bytes are dropped with a loss report).
    bool SendData(const void* data, u32 count);
    bool SendData(const TByteString& data) { return SendData(data.data(), u32(data.size())); }
    bool SendData(const RawByteString& data) { return SendData(data.data(), u32(data.size())); }
    // The packet's own bytes (asIs) or a fresh wire image of it (key, scrambling, checksum).
    bool SendPacket(const TKestPacket* packet, bool asIs);
    std::size_t SendQueueCount() const noexcept { return sendQueue_.size(); }

    // --- events, raised with the connection as Sender
    TCommOpenEvent OnOpening, OnOpen, OnOpened;
    TCommCloseEvent OnClosing, OnClosed;
    TCommEventEvent OnEvent;
    TCommStatusEvent OnStatusUpdate;
    TCommErrorEvent OnError;
    TCommTransferEvent OnWrite, OnRead;
    TKestPacketEvent OnPacketReceived;
    TKestPacketLossEvent OnPacketLoss;
    TCommSpeedEvent OnRxSpeed, OnModemLost;

protected:
    void Notification(TComponent* component, TOperation operation) override;

    virtual void DoOnOpening(const String& portName, u32 result);
    virtual void DoOnOpen(const String& portName, u32 result);
    virtual void DoOnClosing(const String& portName, u32 result, TCommCloseReason reason);
    virtual void DoOnClosed(const String& portName, u32 result, TCommCloseReason reason);
    virtual void DoOnError(TCommErrorFlags errors);
    virtual void DoOnRead(const void* buffer, u32 bufferSize, u32 transferred, TCommErrorFlags errors, u32 result);
    virtual void DoOnWrite(const void* buffer, u32 bufferSize, u32 transferred, TCommErrorFlags errors, u32 result);
    virtual void DoOnEvent(TCommEventFlags events, u32 result, const TCommStatus& status, TCommErrorFlags errors);
    virtual void DoOnStatusUpdate(const TCommStatus& status, TCommErrorFlags errors);
    virtual void DoOnPacketReceived(const void* buffer, u32 transferred, TKestPacketType packetType);
    virtual void DoOnPacketLoss(const void* buffer, u32 transferred, TPacketLossReason reason, TCommErrorFlags errors);
    virtual void DoOnRxSpeed(u32 value);
    virtual void DoOnModemLost(u32 value);

    // The millisecond tick that times pending packets (the coarse monotonic clock; tests
    // substitute theirs). Only differences between its values count, modulo 2^32.
    virtual u32 TickCount() const noexcept;

    TKestReceiver& MutableReceiver() noexcept { return receiver_; }

private:
    void Create(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits);
    void Hook(TCommPort* port, bool add);
    bool WriteHead();
    void DropFailedHead(TCommErrorFlags errors);
    // The diagnostic trace's record of a packet written to the port or received.
    void TracePacket(bool sent, const void* data, u32 count, TKestPacketType type) const;

    // TKestReceiver::TSink
    void ReceiverPacket(const u8* buffer, u32 length, TKestPacketType type) override;
    void ReceiverLoss(const u8* buffer, u32 length, TPacketLossReason reason, TCommErrorFlags errors) override;

    // Listeners in the port's event lists.
    void OnOpeningEvent(TObject* sender, const String& portName, u32 result);
    void OnOpenEvent(TObject* sender, const String& portName, u32 result);
    void OnClosingEvent(TObject* sender, const String& portName, u32 result, TCommCloseReason reason);
    void OnClosedEvent(TObject* sender, const String& portName, u32 result, TCommCloseReason reason);
    void OnWriteEvent(TObject* sender, const void* buffer, u32 bufferSize, u32 transferred, TCommErrorFlags errors,
                      u32 result);
    void OnReadEvent(TObject* sender, const void* buffer, u32 bufferSize, u32 transferred, TCommErrorFlags errors,
                     u32 result);
    void OnEventEvent(TObject* sender, TCommEventFlags events, u32 result, const TCommStatus& status,
                      TCommErrorFlags errors);
    void OnStatusUpdateEvent(TObject* sender, const TCommStatus& status, TCommErrorFlags errors);
    void OnErrorEvent(TObject* sender, TCommErrorFlags errors);
    void OnRxSpeedEvent(TObject* sender, u32 value);
    void OnModemLostEvent(TObject* sender, u32 value);

    TCommPort* commPort_ = nullptr;
    TSerialPort* ownPort_ = nullptr; // a child component
    String portName_;
    String currentPortName_;
    bool portLost_ = false; // the port reported its device gone: its close is traced as an error
    bool threadedEvent_ = false;
    TCommState state_{};
    TKestReceiver receiver_;
    std::deque<TByteString> sendQueue_;
    u64 headsDropped_ = 0; // buffers that left the front of the queue, to know whether the head is still the one written
};

} // namespace fk
