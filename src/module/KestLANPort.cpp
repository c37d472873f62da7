#include "module/KestLANPort.h"

#include "platform/FaultReport.h"
#include "platform/LastError.h"

#include <new>

namespace fk {

TKestLANPort::TKestLANPort(TComponent* owner)
    : TCommPort(owner, DefaultBaudRate, DefaultParity, DefaultDataBits, DefaultStopBits)
{
    SetAutoRead(true);
    try {
        ConnectComm = fk::Create<TKestConnectComm>(this);
    } catch (const std::bad_alloc&) {
        ConnectComm = nullptr; // every open fails
        TFaultReport::Caught("the wireless module port's link");
        return;
    }
    ConnectComm->SetThreadedEvent(ThreadedEvent());
    ConnectComm->OnConnecting = TCommOpenEvent(this, &TKestLANPort::LinkConnecting);
    ConnectComm->OnConnect = TCommOpenEvent(this, &TKestLANPort::LinkConnect);
    ConnectComm->OnConnected = TCommOpenEvent(this, &TKestLANPort::LinkConnected);
    ConnectComm->OnDisconnecting = TCommCloseEvent(this, &TKestLANPort::LinkDisconnecting);
    ConnectComm->OnDisconnected = TCommCloseEvent(this, &TKestLANPort::LinkDisconnected);
    ConnectComm->OnDataReceived = TDataTransferEvent(this, &TKestLANPort::LinkDataReceived);
    ConnectComm->OnStatusChange = TIPPortStatusEvent(this, &TKestLANPort::LinkStatusChange);
    ConnectComm->OnModemAnnounce = THostAnnounceEvent(this, &TKestLANPort::LinkModemAnnounce);
    ConnectComm->OnModemListUpdate = TNotifyEvent(this, &TKestLANPort::LinkModemListUpdate);
    ConnectComm->OnModemStatusUpdate = TNotifyEvent(this, &TKestLANPort::LinkModemStatusUpdate);
    ConnectComm->OnModemDisconnected = TNotifyEvent(this, &TKestLANPort::LinkModemDisconnected);
    ConnectComm->OnModemConnected = TNotifyEvent(this, &TKestLANPort::LinkModemConnected);
    ConnectComm->OnModemSuspend = TNotifyEvent(this, &TKestLANPort::LinkModemSuspend);
    ConnectComm->OnModemResume = TNotifyEvent(this, &TKestLANPort::LinkModemResume);
}

TKestLANPort::~TKestLANPort()
{
    Close();
    OnStatusChange = nullptr;
    OnModemAnnounce = nullptr;
    OnModemListUpdate = OnModemStatusUpdate = OnModemDisconnected = OnModemConnected = nullptr;
    OnModemSuspend = OnModemResume = nullptr;
    if (ConnectComm && !ConnectComm->IsDestroying())
        TComponent::Free(std::exchange(ConnectComm, nullptr));
}

void TKestLANPort::Notification(TComponent* component, TOperation operation)
{
    TCommPort::Notification(component, operation);
    if (operation == opRemove && component == ConnectComm)
        ConnectComm = nullptr;
}

void TKestLANPort::SetPortName(const String& name)
{
    TCommPort::SetPortName(name);
    if (ConnectComm)
        ConnectComm->SetHost(name);
}

void TKestLANPort::SetThreadedEvent(bool value)
{
    TCommPort::SetThreadedEvent(value);
    if (ConnectComm)
        ConnectComm->SetThreadedEvent(value);
}

bool TKestLANPort::OpenModule(const String& name)
{
    SetPortName(name);
    if (!ConnectComm) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return ConnectComm->Connect(name, Id_IPv4);
}

bool TKestLANPort::Open(const String& name, u32, TSerialParity, u8, TSerialStopBits) { return OpenModule(name); }

bool TKestLANPort::Open(u32, TSerialParity, u8, TSerialStopBits) { return OpenModule(PortName()); }

bool TKestLANPort::Open() { return TCommPort::Open(); }

bool TKestLANPort::Open(const String& name, u32) { return OpenModule(name); }

bool TKestLANPort::Open(const String& name, u32, TSerialParity) { return OpenModule(name); }

bool TKestLANPort::Open(const String& name, u32, TSerialParity, u8) { return OpenModule(name); }

bool TKestLANPort::Close()
{
    if (!ConnectComm)
        return false;
    ConnectComm->Disconnect();
    return true;
}

bool TKestLANPort::IsValid() const { return ConnectComm && ConnectComm->IsConnected(); }

bool TKestLANPort::Validate() { return ConnectComm && ConnectComm->Validate(); }

u32 TKestLANPort::ReadExisting(RawByteString&, bool, TCommErrorFlags*) { return 0; }

u32 TKestLANPort::ReadExisting(TByteString&, bool, TCommErrorFlags*) { return 0; }

u32 TKestLANPort::Read(void*, u32, TCommErrorFlags*) { return 0; }

u32 TKestLANPort::Write(const void* buffer, u32 count, TCommErrorFlags*)
{
    if (!ConnectComm || !ConnectComm->IsConnected() || !ConnectComm->UDPWrite(buffer, count))
        return 0;
    DoOnWrite(buffer, count, count, 0, 0);
    return count;
}

bool TKestLANPort::GetModemStatus(TCommModemStatus* status)
{
    if (status)
        *status = 0;
    return true;
}

const TKestConnectStatusList* TKestLANPort::GetDeviceList() const
{
    return ConnectComm ? &ConnectComm->DeviceList() : nullptr;
}

bool TKestLANPort::SetModemAccesPoint(const String& address, TIdIPVersion ipVersion, const AnsiString& ssid,
                                      const AnsiString& password)
{
    return ConnectComm && ConnectComm->SetModemAccesPoint(address, ipVersion, ssid, password);
}

bool TKestLANPort::RequestConfig(const String& address, TIdIPVersion ipVersion)
{
    return ConnectComm && ConnectComm->RequestConfig(address, ipVersion);
}

bool TKestLANPort::RequestNetworkList(const String& address, TIdIPVersion ipVersion)
{
    return ConnectComm && ConnectComm->RequestNetworkList(address, ipVersion);
}

void TKestLANPort::LinkConnecting(TObject*, const String& portName, u32 result) { DoOnOpening(portName, result); }

void TKestLANPort::LinkConnect(TObject*, const String& portName, u32 result) { DoOnOpen(portName, result); }

void TKestLANPort::LinkConnected(TObject*, const String& portName, u32) { DoOnOpened(portName, 0); }

void TKestLANPort::LinkDisconnecting(TObject*, const String& portName, u32 result, TCommCloseReason reason)
{
    DoOnClosing(portName, result, reason);
}

void TKestLANPort::LinkDisconnected(TObject*, const String& portName, u32 result, TCommCloseReason reason)
{
    DoOnClosed(portName, result, reason);
}

void TKestLANPort::LinkDataReceived(TObject*, const void* buffer, std::size_t size)
{
    DoOnRead(buffer, u32(size), u32(size), 0, 0);
}

void TKestLANPort::LinkStatusChange(TObject*, TIdStatus status, const String& host, TIdIPVersion ipVersion)
{
    OnStatusChange.Invoke(this, status, host, ipVersion);
}

void TKestLANPort::LinkModemAnnounce(TObject*, const TUDPBinding& binding) { OnModemAnnounce.Invoke(this, binding); }

void TKestLANPort::LinkModemListUpdate(TObject*) { OnModemListUpdate.Invoke(this); }

void TKestLANPort::LinkModemStatusUpdate(TObject*) { OnModemStatusUpdate.Invoke(this); }

void TKestLANPort::LinkModemDisconnected(TObject*) { OnModemDisconnected.Invoke(this); }

void TKestLANPort::LinkModemConnected(TObject*) { OnModemConnected.Invoke(this); }

void TKestLANPort::LinkModemSuspend(TObject*) { OnModemSuspend.Invoke(this); }

void TKestLANPort::LinkModemResume(TObject*) { OnModemResume.Invoke(this); }

} // namespace fk
