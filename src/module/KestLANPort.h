#pragma once
// TKestLANPort: a byte-stream port over a KESTConnect module, so that the packet connection
// works through a module as it does through a serial line.
//
// Opening the port opens a module link (the port name is the module's address); bytes
// written go to the module as UDP datagrams; the device bytes the module sends arrive as
// OnRead; the link's state changes become the port's open and close events. The line
// settings are kept for the connection's timing arithmetic and never reach the wire.
#include "module/KestConnectComm.h"
#include "ports/CommPort.h"

namespace fk {

class TKestLANPort : public TCommPort {
public:
    static constexpr u32 DefaultBaudRate = 19200;
    static constexpr TSerialParity DefaultParity = sParityOdd;
    static constexpr u8 DefaultDataBits = 8;
    static constexpr TSerialStopBits DefaultStopBits = sStopBits1;
    static constexpr unsigned ConnectedUDPDelay = 100;

    explicit TKestLANPort(TComponent* owner);
    ~TKestLANPort() override;

    using TCommPort::Open;

    // The owned link; null only when it could not be created.
    TKestConnectComm* ConnectComm = nullptr;

    void SetPortName(const String& name) override;
    void SetThreadedEvent(bool value) override;

    bool Open(const String& name, u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits) override;
    bool Open(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits) override;
    bool Open() override;
    virtual bool Open(const String& name, u32 baudRate);
    virtual bool Open(const String& name, u32 baudRate, TSerialParity parity);
    virtual bool Open(const String& name, u32 baudRate, TSerialParity parity, u8 dataBits);
    // Starts a link with the module at name; true when started, the outcome comes as events.
    virtual bool OpenModule(const String& name);
    bool Close() override;
    bool IsValid() const override;
    bool Validate() override;
    u32 ReadExisting(RawByteString& buffer, bool append, TCommErrorFlags* errors) override;
    u32 ReadExisting(TByteString& buffer, bool append, TCommErrorFlags* errors) override;
    u32 Read(void* buffer, u32 count, TCommErrorFlags* errors) override;
    u32 Write(const void* buffer, u32 count, TCommErrorFlags* errors) override;
    bool UpdateState() override { return false; }
    bool UpdateTimeOuts() override { return false; }
    bool SetBreak(bool) override { return false; }
    bool ClearError(TCommErrorFlags*, TCommStatus*) override { return false; }
    bool GetModemStatus(TCommModemStatus* status) override;
    bool Purge(TCommPurgeFlags) override { return false; }

    // Module registry and commands, passed through to the link.
    const TKestConnectStatusList* GetDeviceList() const;
    bool SetModemAccesPoint(const String& address, TIdIPVersion ipVersion, const AnsiString& ssid,
                            const AnsiString& password);
    bool RequestConfig(const String& address, TIdIPVersion ipVersion);
    bool RequestNetworkList(const String& address, TIdIPVersion ipVersion);

    TIPPortStatusEvent OnStatusChange;
    THostAnnounceEvent OnModemAnnounce;
    TNotifyEvent OnModemListUpdate, OnModemStatusUpdate, OnModemDisconnected, OnModemConnected, OnModemSuspend,
        OnModemResume;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    // Adapters on the link's events.
    void LinkConnecting(TObject* sender, const String& portName, u32 result);
    void LinkConnect(TObject* sender, const String& portName, u32 result);
    void LinkConnected(TObject* sender, const String& portName, u32 result);
    void LinkDisconnecting(TObject* sender, const String& portName, u32 result, TCommCloseReason reason);
    void LinkDisconnected(TObject* sender, const String& portName, u32 result, TCommCloseReason reason);
    void LinkDataReceived(TObject* sender, const void* buffer, std::size_t size);
    void LinkStatusChange(TObject* sender, TIdStatus status, const String& host, TIdIPVersion ipVersion);
    void LinkModemAnnounce(TObject* sender, const TUDPBinding& binding);
    void LinkModemListUpdate(TObject* sender);
    void LinkModemStatusUpdate(TObject* sender);
    void LinkModemDisconnected(TObject* sender);
    void LinkModemConnected(TObject* sender);
    void LinkModemSuspend(TObject* sender);
    void LinkModemResume(TObject* sender);
};

} // namespace fk
