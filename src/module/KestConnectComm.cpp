#include "module/KestConnectComm.h"

#include "module/ModuleReply.h"
#include "support/AnsiCodePage.h"
#include "support/TraceSink.h"
#include "module/UDPClient.h"
#include "module/UDPServer.h"
#include "platform/FaultReport.h"
#include "platform/LastError.h"
#include "platform/SystemClock.h"
#include "platform/Timer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace fk {

TKestConnectComm::TKestConnectComm(TComponent* owner)
    : TTCPConnection(owner)
{
    TTCPConnection::SetPort(DefaultTCPPort);
    TTCPConnection::SetIPVersion(Id_IPv4);
    SetSocketTimeout(connectTimeout_);
    try {
        udpClient_ = fk::Create<TUDPClient>(this);
        udpClient_->SetPort(udpPort_);
        udpClient_->SetIPVersion(ipVersion_);
    } catch (const std::bad_alloc&) {
        // Without it every datagram to the device fails with "invalid handle".
        udpClient_ = nullptr;
        TFaultReport::Caught("the wireless module's UDP client");
    }
    try {
        udpServer_ = fk::Create<TUDPServer>(this);
        udpServer_->SetDefaultPort(udpPort_);
        udpServer_->OnUDPRead = TUDPReadEvent(this, &TKestConnectComm::OnUDPRead);
        udpServer_->OnUDPException = TUDPExceptionEvent(this, &TKestConnectComm::OnUDPException);
        udpServer_->SetActive(true);
    } catch (const std::bad_alloc&) {
        // Without a listener (or one not yet listening) Connect fails; it tries to listen again.
        TFaultReport::Caught("the wireless module's UDP listener");
    }
    connectionTimer_ = MakeTimer(unsigned(connectTimeout_), &TKestConnectComm::ConnectionOnTimer);
    validationTimer_ = MakeTimer(ValidationInterval, &TKestConnectComm::ValidateOnTimer);
    modemTimer_ = MakeTimer(unsigned(modemTimeout_), &TKestConnectComm::ModemOnTimer);
    commandTimer_ = MakeTimer(unsigned(connectTimeout_), &TKestConnectComm::CommandOnTimer);
    replyTimer_ = MakeTimer(ReplyQuietTime, &TKestConnectComm::ReplyOnTimer);
}

TTimer* TKestConnectComm::MakeTimer(unsigned interval, void (TKestConnectComm::*handler)(TObject*))
{
    try {
        TTimer* timer = fk::Create<TTimer>(this);
        timer->SetEnabled(false);
        timer->SetInterval(interval);
        timer->OnTimer = TNotifyEvent(this, handler);
        return timer;
    } catch (const std::bad_alloc&) {
        TFaultReport::Caught("a timer of the wireless module link");
        return nullptr;
    }
}

TKestConnectComm::~TKestConnectComm()
{
    Destroying();
    Disconnect();
    OnStatusChange = nullptr;
    OnConnecting = OnConnect = OnConnected = nullptr;
    OnDisconnecting = OnDisconnected = nullptr;
    OnModemAnnounce = nullptr;
    OnModemListUpdate = OnModemStatusUpdate = OnModemDisconnected = OnModemConnected = nullptr;
    OnModemSuspend = OnModemResume = nullptr;
    OnDataReceived = nullptr;
    for (TTimer* timer : {connectionTimer_, validationTimer_, modemTimer_, commandTimer_, replyTimer_}) {
        if (timer) {
            timer->OnTimer = nullptr;
            timer->SetEnabled(false);
        }
    }
    if (udpServer_) {
        udpServer_->OnUDPRead = nullptr;
        udpServer_->OnUDPException = nullptr;
        udpServer_->SetActive(false);
    }
    commandQueue_.clear();
    commandOnWire_ = false;
    DetachThread();
    TCPDisconnect();
    announcedList_.clear();
    deviceList_.clear();
}

// ---------------------------------------------------------------- properties

void TKestConnectComm::SetUDPPort(u16 port)
{
    udpPort_ = port;
    try {
        if (udpServer_)
            udpServer_->SetDefaultPort(port);
        if (udpClient_)
            udpClient_->SetPort(port);
    } catch (const std::bad_alloc&) {
        // The listener stopped on the old port; the next Connect listens again.
        TFaultReport::Caught("the wireless module's UDP port change");
    }
}

void TKestConnectComm::SetConnectTimeout(int ms)
{
    connectTimeout_ = ms > 0 ? ms : DefaultTimeOut;
    SetSocketTimeout(connectTimeout_);
    if (commandTimer_)
        commandTimer_->SetInterval(unsigned(connectTimeout_));
}

void TKestConnectComm::SetModemTimeout(int ms)
{
    modemTimeout_ = ms > 0 ? ms : DefaultTimeOut;
    if (modemTimer_)
        modemTimer_->SetInterval(unsigned(modemTimeout_));
}

void TKestConnectComm::SetThreadedEvent(bool value)
{
    TTCPConnection::SetThreadedEvent(value);
    if (udpServer_)
        udpServer_->SetThreadedEvent(value);
}

// ---------------------------------------------------------------- events

void TKestConnectComm::DoOnAnnounce(const TUDPBinding& binding) { OnModemAnnounce.Invoke(this, binding); }

void TKestConnectComm::DoOnDataReceived(const void* buffer, std::size_t size)
{
    OnDataReceived.Invoke(this, buffer, size);
}

void TKestConnectComm::DoOnConnecting(const String& portName, u32 result) { OnConnecting.Invoke(this, portName, result); }

void TKestConnectComm::DoOnConnect(const String& portName, u32 result) { OnConnect.Invoke(this, portName, result); }

void TKestConnectComm::DoOnConnected(const String& portName, u32 result) { OnConnected.Invoke(this, portName, result); }

void TKestConnectComm::DoOnDisconnecting(const String& portName, u32 result, TCommCloseReason reason)
{
    OnDisconnecting.Invoke(this, portName, result, reason);
}

void TKestConnectComm::DoOnDisconnected(const String& portName, u32 result, TCommCloseReason reason)
{
    OnDisconnected.Invoke(this, portName, result, reason);
}

void TKestConnectComm::DoOnStatusChange(TIdStatus status, const String& host, TIdIPVersion ipVersion)
{
    OnStatusChange.Invoke(this, status, host, ipVersion);
}

void TKestConnectComm::DoOnModemStatusUpdate() { OnModemStatusUpdate.Invoke(this); }

void TKestConnectComm::DoOnModemListUpdate() { OnModemListUpdate.Invoke(this); }

void TKestConnectComm::DoOnModemDisconnected()
{
    DoOnModemListUpdate();
    OnModemDisconnected.Invoke(this);
}

void TKestConnectComm::DoOnModemConnected()
{
    DoOnModemListUpdate();
    OnModemConnected.Invoke(this);
}

void TKestConnectComm::DoOnModemSuspend() { OnModemSuspend.Invoke(this); }

void TKestConnectComm::DoOnModemResume() { OnModemResume.Invoke(this); }

// ---------------------------------------------------------------- device data

bool TKestConnectComm::UDPWrite(const TByteString& data)
{
    if (!udpClient_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    try {
        return udpClient_->SendBuffer(data);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}

bool TKestConnectComm::UDPWrite(const void* buffer, unsigned size)
{
    if (!udpClient_ || !buffer || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const auto* bytes = static_cast<const u8*>(buffer);
    return UDPWrite(TByteString(bytes, bytes + size));
}

bool TKestConnectComm::OwnModule(const String& peerIP, TIdIPVersion ipVersion) const
{
    // The module is known by the address the link was opened with and, once it confirmed,
    // by the address its confirmation came from (the same unless the link used a host name).
    return linkStatus_ == hsConnected && ipVersion == moduleIPVersion_ && !moduleAddress_.empty()
        && (peerIP == moduleAddress_ || (!moduleIP_.empty() && peerIP == moduleIP_));
}

void TKestConnectComm::OnUDPRead(TObject*, const TByteString& data, const TUDPBinding& binding)
{
    const u16 expected = udpPort_ != 0 ? udpPort_ : (udpServer_ ? udpServer_->BoundPort() : 0);
    if (binding.Port != expected)
        return;
    const bool own = OwnModule(binding.PeerIP, binding.IPVersion);
    const bool announcement = TModuleReply::IsAnnouncement(data.data(), data.size());
    if (own)
        ResetTimer();
    if (announcement)
        DoOnAnnounce(binding);
    SetModem(binding.PeerIP, binding.IPVersion, true, announcement, 0);
    // Handlers above may have closed the link.
    if (!own || !OwnModule(binding.PeerIP, binding.IPVersion))
        return;
    if (announcement) {
        Validate();
    } else if (!data.empty()) {
        ResetValidation();
        DoOnDataReceived(data.data(), data.size());
    }
}

void TKestConnectComm::OnUDPException(TObject*, const TUDPBinding&, const String&)
{
    DoDisconnected(ccReasonError, ERROR_FUNCTION_FAILED, true);
}

// ---------------------------------------------------------------- registry

TKestConnectStatusList* TKestConnectComm::GetModemStatus(const String& ip, TIdIPVersion ipVersion,
                                                         TKestConnectStatusList::iterator& item)
{
    for (TKestConnectStatusList* list : {&announcedList_, &deviceList_}) {
        for (auto it = list->begin(); it != list->end(); ++it) {
            if (it->IPVersion == ipVersion && it->IP == ip) {
                item = it;
                return list;
            }
        }
    }
    return nullptr;
}

bool TKestConnectComm::SetModem(const String& ip, TIdIPVersion ipVersion, bool alive, bool reg, u32 result)
{
    return SetModem(ip, ip, ipVersion, alive, reg, result);
}

bool TKestConnectComm::SetModem(const String& ip, const String& host, TIdIPVersion ipVersion, bool alive, bool reg,
                                u32 result)
{
    TKestConnectStatusList::iterator item;
    TKestConnectStatusList* list = GetModemStatus(ip, ipVersion, item);
    if (list) {
        if (alive) {
            item->LastSeen = GetTickCount();
            if (item->Host == item->IP && host != item->IP)
                item->Host = host;
            if (list == &announcedList_)
                DoOnNetworkFound(ip, ipVersion);
            return true;
        }
        if (!reg)
            return true;
        const TNetworkAddress address(item->IP, item->Host, item->IPVersion);
        DoDisconnectedByIP(address.IP, address.Host, address.IPVersion, result != 0 ? ccReasonError : ccReasonClose,
                           result, true);
        // Handlers may have changed the lists meanwhile.
        list = GetModemStatus(ip, ipVersion, item);
        if (!list)
            return true;
        const bool wasDevice = list == &deviceList_;
        list->erase(item);
        if (modemTimer_)
            modemTimer_->SetEnabled(!announcedList_.empty() || !deviceList_.empty());
        if (wasDevice) {
            CommandQueueRemove(address.Host, address.IPVersion);
            DoOnModemDisconnected();
        }
        return true;
    }
    if (!alive || !reg) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (ip.empty() || announcedList_.size() + deviceList_.size() >= ModuleCapacity) {
        SetLastError(ip.empty() ? ERROR_INVALID_PARAMETER : ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    announcedList_.emplace_back(ip, host, ipVersion, GetTickCount());
    DoOnNetworkFound(ip, ipVersion);
    return true;
}

void TKestConnectComm::DoOnNetworkFound(const String& ip, TIdIPVersion ipVersion)
{
    RequestConfig(ip, ipVersion);
    if (modemTimer_)
        modemTimer_->SetEnabled(true);
}

void TKestConnectComm::ModemOnTimer(TObject*)
{
    if (!modemTimer_)
        return;
    modemTimer_->SetEnabled(false);
    const u32 now = GetTickCount();
    const u32 interval = modemTimer_->Interval();
    std::vector<TNetworkAddress> expired;
    for (const TKestConnectStatusList* list : {&announcedList_, &deviceList_})
        for (const TKestConnectStatus& entry : *list)
            if (TickDiff(now, entry.LastSeen) > interval)
                expired.emplace_back(entry.IP, entry.Host, entry.IPVersion);
    bool deviceRemoved = false;
    for (const TNetworkAddress& address : expired) {
        DoDisconnectedByIP(address.IP, address.Host, address.IPVersion, ccReasonError, ERROR_TIMEOUT, false);
        CommandQueueRemove(address.Host, address.IPVersion);
        TKestConnectStatusList::iterator item;
        TKestConnectStatusList* list = GetModemStatus(address.IP, address.IPVersion, item);
        if (!list || TickDiff(now, item->LastSeen) <= interval)
            continue; // heard from again, or gone, while the handlers ran
        deviceRemoved = deviceRemoved || list == &deviceList_;
        list->erase(item);
    }
    if (deviceRemoved)
        DoOnModemDisconnected();
    // Announced modules that never answer must age out as well, so the timer keeps running
    // while either list holds a module.
    modemTimer_->SetEnabled(!announcedList_.empty() || !deviceList_.empty());
}

// ---------------------------------------------------------------- commands

bool TKestConnectComm::RequestConfig(const String& address, TIdIPVersion ipVersion)
{
    return SendTCPCommand(address, ipVersion, CMD_cfg);
}

bool TKestConnectComm::RequestNetworkList(const String& address, TIdIPVersion ipVersion)
{
    return SendTCPCommand(address, ipVersion, CMD_apl);
}

bool TKestConnectComm::SetModemAccesPoint(const String& address, TIdIPVersion ipVersion, const AnsiString& ssid,
                                          const AnsiString& password)
{
    if (!TModuleReply::FieldSafe(ssid) || !TModuleReply::FieldSafe(password)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    AnsiString command(CMD_apn.substr(0, 6));
    command += ',';
    command += ssid;
    command += ',';
    command += password;
    command += CMD_apn.back();
    return SendTCPCommand(address, ipVersion, command.data(), unsigned(command.size()));
}

bool TKestConnectComm::QueueHolds(const String& host, TIdIPVersion ipVersion) const
{
    return std::any_of(commandQueue_.begin(), commandQueue_.end(), [&](const TTCPCommandItem& item) {
        return item.IPVersion == ipVersion && item.Host == host;
    });
}

bool TKestConnectComm::SendTCPCommand(const String& host, TIdIPVersion ipVersion, const void* data, unsigned size)
{
    if (host.empty() || !data || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const auto* bytes = static_cast<const u8*>(data);
    // Identical pending commands are merged, also with the one on the wire until its reply
    // has arrived (a command given while its reply is handled is a new one).
    const bool answered = commandOnWire_ && replyReceived_ && !commandQueue_.empty();
    const auto first = commandQueue_.begin() + (answered ? 1 : 0);
    const bool queued = std::any_of(first, commandQueue_.end(), [&](const TTCPCommandItem& item) {
        return item.IPVersion == ipVersion && item.Host == host && item.Data.size() == size
            && std::memcmp(item.Data.data(), bytes, size) == 0;
    });
    if (!queued) {
        if (commandQueue_.size() >= CommandQueueCapacity) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        commandQueue_.push_back(TTCPCommandItem{host, ipVersion, TByteString(bytes, bytes + size)});
    }
    if (GetStatus() != hsDisconnected || commandOnWire_)
        return true;
    return StartCommands(host, ipVersion);
}

bool TKestConnectComm::StartCommands(const String& host, TIdIPVersion ipVersion)
{
    // The connection is always opened for the front command's module: that is the command
    // written once it is up.
    while (!IsDestroying() && !commandQueue_.empty() && GetStatus() == hsDisconnected && !commandOnWire_) {
        const TTCPCommandItem front = commandQueue_.front();
        if (DoTCPConnect(front.Host, front.IPVersion))
            break;
    }
    return QueueHolds(host, ipVersion);
}

bool TKestConnectComm::DoTCPConnect(const String& host, TIdIPVersion ipVersion)
{
    commandOnWire_ = true;
    replyReceived_ = false;
    if (TCPConnect(host, ipVersion, TCPPort()))
        return true;
    commandOnWire_ = false;
    CommandQueueRemove(host, ipVersion);
    DoDisconnectedByHost(host, ipVersion, ccReasonError, ERROR_FUNCTION_FAILED, true);
    return false;
}

void TKestConnectComm::CommandQueueRemove(const String& host, TIdIPVersion ipVersion)
{
    // The command on the wire stays until its connection closes; that removes it.
    const auto first = commandQueue_.begin() + (commandOnWire_ && !commandQueue_.empty() ? 1 : 0);
    commandQueue_.erase(std::remove_if(first, commandQueue_.end(),
                                       [&](const TTCPCommandItem& item) {
                                           return item.IPVersion == ipVersion && item.Host == host;
                                       }),
                        commandQueue_.end());
}

void TKestConnectComm::DoOnTCPConnect()
{
    TTCPConnection::DoOnTCPConnect();
    if (IsDestroying())
        return;
    const String host = CurrentHost();
    const TIdIPVersion ipVersion = CurrentIPVersion();
    if (TTCPConnection::IsConnected()) {
        if (!commandQueue_.empty()) {
            TraceModuleText(true, host, commandQueue_.front().Data);
            if (TCPWrite(commandQueue_.front().Data)) {
                if (commandTimer_) {
                    commandTimer_->SetEnabled(false);
                    commandTimer_->SetEnabled(true);
                }
                modemSuspended_ = true;
                connectedModemSuspended_ = ipVersion == moduleIPVersion_ && !moduleIP_.empty()
                    && moduleIP_ == PeerAddress();
                DoOnModemSuspend();
                return;
            }
            commandOnWire_ = false;
            CommandQueueRemove(host, ipVersion);
        }
        const String peer = PeerAddress();
        TCPDisconnect();
        DoDisconnectedByIP(peer, host, ipVersion, ccReasonError, ERROR_FUNCTION_FAILED, true);
        return;
    }
    // The connection could not be made: that module's commands go, and so does its link.
    commandOnWire_ = false;
    CommandQueueRemove(host, ipVersion);
    DoDisconnectedByHost(host, ipVersion, ccReasonError, ERROR_OPEN_FAILED, true);
    StartCommands(String(), Id_IPv4);
}

void TKestConnectComm::DoOnTCPDisconnecting()
{
    // The module closed the connection after its reply (or the connection ends otherwise):
    // what arrived is the whole reply.
    if (!IsDestroying())
        FinishReply(false);
    if (commandTimer_)
        commandTimer_->SetEnabled(false);
    if (commandOnWire_ && !commandQueue_.empty())
        commandQueue_.pop_front(); // answered, or failed
    commandOnWire_ = false;
    DoResume();
    TTCPConnection::DoOnTCPDisconnecting();
}

void TKestConnectComm::DoOnTCPDisconnected()
{
    TTCPConnection::DoOnTCPDisconnected();
    StartCommands(String(), Id_IPv4);
}

void TKestConnectComm::CommandOnTimer(TObject*)
{
    // The module took the command and never answered: give up on it and go on with the queue.
    if (commandTimer_)
        commandTimer_->SetEnabled(false);
    if (GetStatus() != hsDisconnected)
        TCPDisconnect();
}

void TKestConnectComm::DoResume()
{
    if (!modemSuspended_)
        return;
    modemSuspended_ = false;
    connectedModemSuspended_ = false;
    DoOnModemResume();
}

// ---------------------------------------------------------------- replies

void TKestConnectComm::DoOnTCPRead(const String& host, TIdIPVersion ipVersion, u16 port, const TByteString& data)
{
    if (IsDestroying())
        return;
    // A reply may arrive in pieces: collect it until the module closes the connection or goes
    // quiet, then read it once.
    if (!replyPending_) {
        replyPending_ = true;
        reply_.clear();
        replyHost_ = host;
        replyIPVersion_ = ipVersion;
        replyPort_ = port;
    }
    if (TModuleReply::Collect(reply_, data.data(), data.size())) {
        FinishReply(true);
        return;
    }
    if (replyTimer_) {
        replyTimer_->SetEnabled(false);
        replyTimer_->SetEnabled(true);
    } else {
        FinishReply(true);
    }
}

void TKestConnectComm::ReplyOnTimer(TObject*) { FinishReply(true); }

void TKestConnectComm::FinishReply(bool disconnect)
{
    if (replyTimer_)
        replyTimer_->SetEnabled(false);
    if (!replyPending_)
        return;
    replyPending_ = false;
    TByteString data;
    data.swap(reply_);
    const String host = replyHost_;
    replyReceived_ = true;
    TraceModuleText(false, host, data);
    TTCPConnection::DoOnTCPRead(host, replyIPVersion_, replyPort_, data);
    if (IsDestroying())
        return;
    HandleReply(host, replyIPVersion_, data);
    // One reply per connection; closing it moves the queue on.
    if (disconnect && !IsDestroying())
        TCPDisconnect();
}

void TKestConnectComm::TraceModuleText(bool sent, const String& host, const TByteString& data)
{
    if (TTraceSink::Enabled())
        TTraceSink::ModuleText(sent, host,
                               TAnsiCodePage().Decode(TModuleReply::WithoutPassPhrase(data.data(), data.size())));
}

void TKestConnectComm::HandleReply(const String& host, TIdIPVersion ipVersion, const TByteString& data)
{
    const TModuleReply reply(data.data(), data.size());
    if (reply.Size() < 6)
        return;
    // The reply is the link module's when it comes from the link's address, or on a
    // connection opened to that address (a link opened by host name).
    const bool current = ipVersion == moduleIPVersion_ && !moduleAddress_.empty()
        && (moduleAddress_ == host || moduleAddress_ == CurrentHost());
    TKestConnectStatusList::iterator item;
    TKestConnectStatusList* list = GetModemStatus(host, ipVersion, item);
    if (list)
        item->LastSeen = GetTickCount();
    if (current)
        ResetTimer();
    if (reply.Size() == 6) {
        if (!current)
            return;
        if (reply.IsShort(CMD_chk) || reply.IsShort(REP_con))
            DoConnected(host);
        else if (reply.IsShort(REP_rej))
            DoDisconnected(ccReasonError, ERROR_OPEN_FAILED, false);
        else if (reply.IsShort(CMD_dsc))
            DoDisconnected(closeReason_, 0, true);
        return;
    }
    if (!list)
        return;
    if (reply.IsLong(CMD_cfg))
        HandleConfigReply(*list, item, reply.Fields());
    else if (reply.IsLong(CMD_apl))
        HandleNetworkReply(*list, item, reply.Fields());
}

void TKestConnectComm::HandleConfigReply(TKestConnectStatusList& list, TKestConnectStatusList::iterator item,
                                         const std::vector<AnsiString>& fields)
{
    bool changed = false;
    if (!TModuleReply::ReadConfig(fields, item->Config, changed))
        return; // no separator: not a configuration report
    if (&list == &deviceList_) {
        if (changed)
            DoOnModemListUpdate();
        DoOnModemStatusUpdate();
        return;
    }
    deviceList_.splice(deviceList_.end(), list, item);
    DoOnModemConnected();
}

void TKestConnectComm::HandleNetworkReply(TKestConnectStatusList& list, TKestConnectStatusList::iterator item,
                                          const std::vector<AnsiString>& fields)
{
    item->Networks = TModuleReply::ReadNetworks(fields);
    if (&list == &deviceList_)
        DoOnModemStatusUpdate();
}

// ---------------------------------------------------------------- link

bool TKestConnectComm::Connect() { return Connect(host_, ipVersion_); }

bool TKestConnectComm::Connect(const String& address, TIdIPVersion ipVersion)
{
    if (address.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const bool same = ipVersion == moduleIPVersion_ && address == moduleAddress_;
    DoDisconnect(same ? ccReasonReOpen : ccReasonClose);
    if (linkStatus_ == hsDisconnected)
        return DoConnect(address, ipVersion);
    pendingAddress_ = address;
    pendingIPVersion_ = ipVersion;
    return true;
}

void TKestConnectComm::Disconnect() { DoDisconnect(ccReasonClose); }

void TKestConnectComm::SetSharedListener(bool shared)
{
    sharedListener_ = shared;
    if (udpServer_)
        udpServer_->SetActive(!shared);
}

bool TKestConnectComm::DoConnect(const String& address, TIdIPVersion ipVersion)
{
    moduleAddress_ = address;
    moduleIPVersion_ = ipVersion;
    closeReason_ = ccReasonClose;
    pendingAddress_.clear();
    CommandQueueRemove(address, ipVersion);
    SetStatus(hsConnecting, moduleAddress_, moduleIPVersion_);
    DoOnConnecting(moduleAddress_, 0);
    bool ok = false;
    try {
        ok = sharedListener_ || (udpServer_ && udpServer_->SetActive(true));
        if (ok && udpClient_) {
            udpClient_->SetPort(udpPort_);
            udpClient_->SetHost(address);
            udpClient_->SetIPVersion(ipVersion);
        }
    } catch (const std::bad_alloc&) {
        ok = false; // ends as a failed connect below, never towards the old address
    }
    if (ok && SendTCPCommand(address, ipVersion, CMD_chk)) {
        ResetValidation();
        // The opening is supervised as well: a module that takes the command but never
        // answers ends the attempt after ConnectTimeout.
        if (linkStatus_ == hsConnecting)
            ResetTimer();
        return true;
    }
    DoDisconnected(ccReasonError, ERROR_FUNCTION_FAILED, true);
    return false;
}

void TKestConnectComm::DoConnected(const String& moduleIP)
{
    // A confirmation that arrives while the link is closing (the echo of a check sent
    // before) does not open it again.
    if (linkStatus_ == hsDisconnecting || linkStatus_ == hsDisconnected)
        return;
    moduleIP_ = moduleIP;
    if (validationTimer_)
        validationTimer_->SetEnabled(true);
    if (linkStatus_ == hsConnected)
        return;
    SetModem(moduleIP, moduleAddress_, moduleIPVersion_, true, true, 0);
    SetStatus(hsConnected, moduleAddress_, moduleIPVersion_);
    DoOnConnect(moduleIP, 0);
    DoOnConnected(moduleIP, 0);
    ResetTimer();
}

void TKestConnectComm::DoDisconnect(TCommCloseReason reason)
{
    StopValidation();
    if (linkStatus_ == hsDisconnected)
        return;
    closeReason_ = reason;
    if (linkStatus_ == hsDisconnecting)
        return; // already closing: the close events have been raised
    DoResume();
    SetStatus(hsDisconnecting, moduleAddress_, moduleIPVersion_);
    DoOnDisconnecting(moduleIP_, 0, reason);
    ResetTimer();
    SendTCPCommand(moduleAddress_, moduleIPVersion_, CMD_dsc);
}

void TKestConnectComm::DoDisconnected(TCommCloseReason reason, u32 result, bool forget)
{
    if (linkStatus_ == hsDisconnected)
        return; // no link to end
    StopTimer();
    const TIdStatus old = linkStatus_;
    const String address = moduleAddress_;
    const TIdIPVersion ipVersion = moduleIPVersion_;
    SetStatus(hsDisconnecting, address, ipVersion);
    if (old == hsConnecting) {
        DoOnConnect(moduleIP_, ERROR_OPEN_FAILED);
        DoOnDisconnecting(moduleIP_, ERROR_OPEN_FAILED, reason);
    } else if (old == hsConnected) {
        DoOnDisconnecting(moduleIP_, result, reason);
    }
    if (linkStatus_ != hsDisconnected)
        DoOnDisconnected(moduleIP_, result, reason);
    SetStatus(hsDisconnected, address, ipVersion);
    if (result != 0)
        SetModem(moduleIP_, address, ipVersion, false, forget, result);
    CommandQueueRemove(address, ipVersion);
    moduleIP_.clear();
    moduleAddress_.clear();
    closeReason_ = ccReasonClose;
    if (!pendingAddress_.empty()) {
        const String pending = pendingAddress_; // DoConnect clears the member
        DoConnect(pending, pendingIPVersion_);
    }
}

void TKestConnectComm::DoDisconnectedByHost(const String& host, TIdIPVersion ipVersion, TCommCloseReason reason,
                                            u32 result, bool forget)
{
    if (linkStatus_ != hsDisconnected && ipVersion == moduleIPVersion_ && host == moduleAddress_)
        DoDisconnected(reason, result, forget);
}

void TKestConnectComm::DoDisconnectedByIP(const String& ip, const String& host, TIdIPVersion ipVersion,
                                          TCommCloseReason reason, u32 result, bool forget)
{
    if (linkStatus_ == hsDisconnected || ipVersion != moduleIPVersion_)
        return;
    if ((!host.empty() && host == moduleAddress_) || (!ip.empty() && ip == moduleIP_))
        DoDisconnected(reason, result, forget);
}

void TKestConnectComm::SetStatus(TIdStatus status, const String& address, TIdIPVersion ipVersion)
{
    if (status == linkStatus_)
        return;
    DoOnStatusChange(status, address, ipVersion);
    linkStatus_ = status;
}

void TKestConnectComm::ResetTimer()
{
    if (!connectionTimer_)
        return;
    connectionTimer_->SetEnabled(false);
    const int interval = linkStatus_ == hsDisconnecting ? 2 * connectTimeout_ : connectTimeout_;
    connectionTimer_->SetInterval(unsigned(interval));
    connectionTimer_->SetEnabled(true);
}

void TKestConnectComm::StopTimer()
{
    if (connectionTimer_)
        connectionTimer_->SetEnabled(false);
    StopValidation();
}

void TKestConnectComm::ResetValidation()
{
    if (validationTimer_ && validationTimer_->Enabled()) {
        validationTimer_->SetEnabled(false);
        validationTimer_->SetEnabled(true);
    }
}

void TKestConnectComm::StopValidation()
{
    if (validationTimer_)
        validationTimer_->SetEnabled(false);
}

bool TKestConnectComm::Validate()
{
    if (linkStatus_ == hsDisconnected)
        return false;
    if (!SendTCPCommand(moduleAddress_, moduleIPVersion_, CMD_chk)) {
        DoDisconnected(ccReasonError, ERROR_FUNCTION_FAILED, true);
        return false;
    }
    return true;
}

void TKestConnectComm::ConnectionOnTimer(TObject*)
{
    if (connectionTimer_)
        connectionTimer_->SetEnabled(false);
    if (linkStatus_ != hsDisconnected)
        DoDisconnected(ccReasonError, ERROR_TIMEOUT, true);
}

void TKestConnectComm::ValidateOnTimer(TObject*)
{
    if (linkStatus_ == hsDisconnected) {
        StopValidation();
        return;
    }
    Validate();
}

} // namespace fk
