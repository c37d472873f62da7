#pragma once
// TKestConnectComm: the link to KESTConnect wireless modules.
//
// On the UDP side it listens for the modules' "IP" announcements and for device data, keeps a
// registry of the modules heard (announced ones, and those whose configuration is known: the
// device list) with ageing, and sends device data to the module of the current link. On the
// TCP side it sends text commands, one per TCP connection, from a queue: the link commands
// (open or check "APOKKK", close "KCDISC"), the configuration and network-list requests, and
// the access-point command. A reply is collected until the module closes the connection or
// goes quiet for ReplyQuietTime, then read once (OnTCPRead carries the whole reply). The link
// state machine (FLinkStatus) rests on the replies and on a watchdog that every datagram and
// reply from the module restarts.
//
// Everything runs on the main thread (ThreadedEvent false): the TCP reader and the UDP
// listener hand their results over through Synchronize. Handlers may call back into the link
// (Connect, Disconnect, commands) from inside its events.
#include "module/ModuleTypes.h"
#include "module/TCPConnection.h"
#include "ports/CommTypes.h"

#include <deque>
#include <string_view>

namespace fk {

class TTimer;
class TUDPClient;
class TUDPServer;

class TKestConnectComm : public TTCPConnection {
public:
    static constexpr int DefaultTimeOut = 7000;
    static constexpr unsigned ValidationInterval = 3000;
    static constexpr u16 DefaultTCPPort = 90;
    static constexpr u16 DefaultUDPPort = 13873;
    static constexpr TIdIPVersion DefaultIPVersion = Id_IPv4;
    static constexpr const char* DefaultIP = "192.168.4.1";
    static constexpr const char* DefaultHost = "kestconnect.local";
    // At most this many modules are kept (both lists together); further ones are not added.
    static constexpr std::size_t ModuleCapacity = 256;
    // At most this many commands wait in the queue.
    static constexpr std::size_t CommandQueueCapacity = 1024;
    // A reply is complete when the module closes the connection, or once it has sent nothing
    // more for this long (ms).
    static constexpr unsigned ReplyQuietTime = 50;

    // Wire texts (no terminator; the CR belongs to the commands).
    static constexpr std::string_view REP_UDP{"IP", 2};
    static constexpr std::string_view REP_con{"ALCONN", 6};
    static constexpr std::string_view REP_rej{"CONREJ\r", 7};
    static constexpr std::string_view CMD_chk{"APOKKK\r", 7};
    static constexpr std::string_view CMD_dsc{"KCDISC\r", 7};
    static constexpr std::string_view CMD_sid{"NESSID\r", 7};
    static constexpr std::string_view CMD_cfg{"KCCONF\r", 7};
    static constexpr std::string_view CMD_apl{"APLIST\r", 7};
    static constexpr std::string_view CMD_apn{"NEWAPN\r", 7};

    struct TTCPCommandItem {
        String Host;
        TIdIPVersion IPVersion = Id_IPv4;
        TByteString Data;
    };

    explicit TKestConnectComm(TComponent* owner);
    ~TKestConnectComm() override;

    // --- properties
    const String& Host() const noexcept { return host_; }
    void SetHost(const String& host) { host_ = host; }
    TIdIPVersion IPVersion() const noexcept { return ipVersion_; }
    void SetIPVersion(TIdIPVersion value) noexcept { ipVersion_ = value; }
    u16 TCPPort() const noexcept { return TTCPConnection::Port(); }
    void SetTCPPort(u16 port) noexcept { TTCPConnection::SetPort(port); }
    u16 UDPPort() const noexcept { return udpPort_; }
    virtual void SetUDPPort(u16 port);
    int ConnectTimeout() const noexcept { return connectTimeout_; }
    void SetConnectTimeout(int ms);
    int ModemTimeout() const noexcept { return modemTimeout_; }
    void SetModemTimeout(int ms);
    void SetThreadedEvent(bool value) override;

    TIdStatus LinkStatus() const noexcept { return linkStatus_; }
    const String& ModuleAddress() const noexcept { return moduleAddress_; }
    TIdIPVersion ModuleIPVersion() const noexcept { return moduleIPVersion_; }
    const String& ModuleIP() const noexcept { return moduleIP_; }
    const String& PendingAddress() const noexcept { return pendingAddress_; }
    bool ModemSuspended() const noexcept { return modemSuspended_; }
    bool ConnectedModemSuspended() const noexcept { return connectedModemSuspended_; }
    const TKestConnectStatusList& AnnouncedList() const noexcept { return announcedList_; }
    const TKestConnectStatusList& DeviceList() const noexcept { return deviceList_; }
    const std::deque<TTCPCommandItem>& CommandQueue() const noexcept { return commandQueue_; }
    TUDPServer* UDPServer() const noexcept { return udpServer_; }
    // The link takes its datagrams from a listener that its owner runs and that hands every
    // datagram of the link's module to OnUDPRead: its own listener stays closed, so that
    // several links of one program share the one UDP port all modules send to.
    void SetSharedListener(bool shared);
    bool SharedListener() const noexcept { return sharedListener_; }

    // --- link
    bool Connect();
    // Opens a link with the module at Address; true when started (or queued behind a link
    // that is still closing). The outcome comes as events.
    bool Connect(const String& address, TIdIPVersion ipVersion);
    void Disconnect();
    bool IsConnected() const noexcept { return linkStatus_ == hsConnected; }
    bool Validate();

    // --- commands to any module
    bool RequestConfig(const String& address, TIdIPVersion ipVersion);
    bool RequestNetworkList(const String& address, TIdIPVersion ipVersion);
    // Tells the module to join an access point. False (87, nothing sent) when the SSID or the
    // pass phrase holds a comma, CR, LF or NUL: the module would cut the command apart there.
    bool SetModemAccesPoint(const String& address, TIdIPVersion ipVersion, const AnsiString& ssid,
                            const AnsiString& password);

    // --- device data
    bool UDPWrite(const TByteString& data);
    bool UDPWrite(const void* buffer, unsigned size);

    // --- registry
    // The list holding the module, or null; Item points at its entry.
    TKestConnectStatusList* GetModemStatus(const String& ip, TIdIPVersion ipVersion,
                                           TKestConnectStatusList::iterator& item);
    bool SetModem(const String& ip, TIdIPVersion ipVersion, bool alive, bool reg, u32 result);
    bool SetModem(const String& ip, const String& host, TIdIPVersion ipVersion, bool alive, bool reg, u32 result);
    void DoOnNetworkFound(const String& ip, TIdIPVersion ipVersion);

    // --- events
    TIPPortStatusEvent OnStatusChange;
    TCommOpenEvent OnConnecting, OnConnect, OnConnected;
    TCommCloseEvent OnDisconnecting, OnDisconnected;
    THostAnnounceEvent OnModemAnnounce;
    TNotifyEvent OnModemListUpdate, OnModemStatusUpdate, OnModemDisconnected, OnModemConnected, OnModemSuspend,
        OnModemResume;
    TDataTransferEvent OnDataReceived;

    // Handlers of the UDP listener and the timers (public so that they can be bound).
    void OnUDPRead(TObject* sender, const TByteString& data, const TUDPBinding& binding);
    void OnUDPException(TObject* sender, const TUDPBinding& binding, const String& message);
    void ModemOnTimer(TObject* timer);
    void ConnectionOnTimer(TObject* timer);
    void ValidateOnTimer(TObject* timer);
    void CommandOnTimer(TObject* timer);
    void ReplyOnTimer(TObject* timer);

protected:
    virtual void DoOnAnnounce(const TUDPBinding& binding);
    virtual void DoOnDataReceived(const void* buffer, std::size_t size);
    virtual void DoOnConnecting(const String& portName, u32 result);
    virtual void DoOnConnect(const String& portName, u32 result);
    virtual void DoOnConnected(const String& portName, u32 result);
    virtual void DoOnDisconnecting(const String& portName, u32 result, TCommCloseReason reason);
    virtual void DoOnDisconnected(const String& portName, u32 result, TCommCloseReason reason);
    virtual void DoOnStatusChange(TIdStatus status, const String& host, TIdIPVersion ipVersion);
    virtual void DoOnModemStatusUpdate();
    virtual void DoOnModemListUpdate();
    virtual void DoOnModemDisconnected();
    virtual void DoOnModemConnected();
    virtual void DoOnModemSuspend();
    virtual void DoOnModemResume();

    void DoOnTCPConnect() override;
    void DoOnTCPDisconnecting() override;
    void DoOnTCPDisconnected() override;
    void DoOnTCPRead(const String& host, TIdIPVersion ipVersion, u16 port, const TByteString& data) override;

    bool SendTCPCommand(const String& host, TIdIPVersion ipVersion, const void* data, unsigned size);
    bool SendTCPCommand(const String& host, TIdIPVersion ipVersion, std::string_view command)
    {
        return SendTCPCommand(host, ipVersion, command.data(), unsigned(command.size()));
    }
    bool DoTCPConnect(const String& host, TIdIPVersion ipVersion);
    void CommandQueueRemove(const String& host, TIdIPVersion ipVersion);
    bool DoConnect(const String& address, TIdIPVersion ipVersion);
    void DoConnected(const String& moduleIP);
    void DoDisconnect(TCommCloseReason reason);
    void DoDisconnected(TCommCloseReason reason, u32 result, bool forget);
    void DoDisconnectedByHost(const String& host, TIdIPVersion ipVersion, TCommCloseReason reason, u32 result,
                              bool forget);
    void DoDisconnectedByIP(const String& ip, const String& host, TIdIPVersion ipVersion, TCommCloseReason reason,
                            u32 result, bool forget);
    void DoResume();
    void SetStatus(TIdStatus status, const String& address, TIdIPVersion ipVersion);
    void ResetTimer();
    void StopTimer();
    void ResetValidation();
    void StopValidation();

private:
    // Starts a TCP connection for the front command while the TCP client is idle; true when
    // a command for host is still queued (or on its way).
    bool StartCommands(const String& host, TIdIPVersion ipVersion);
    bool QueueHolds(const String& host, TIdIPVersion ipVersion) const;
    // Reads the collected reply once, raises OnTCPRead with it and, when asked, closes the
    // command connection.
    void FinishReply(bool disconnect);
    void HandleReply(const String& host, TIdIPVersion ipVersion, const TByteString& data);
    // The diagnostic trace's record of a command or reply, without its pass phrase.
    static void TraceModuleText(bool sent, const String& host, const TByteString& data);
    void HandleConfigReply(TKestConnectStatusList& list, TKestConnectStatusList::iterator item,
                           const std::vector<AnsiString>& fields);
    void HandleNetworkReply(TKestConnectStatusList& list, TKestConnectStatusList::iterator item,
                            const std::vector<AnsiString>& fields);
    bool OwnModule(const String& peerIP, TIdIPVersion ipVersion) const;
    TTimer* MakeTimer(unsigned interval, void (TKestConnectComm::*handler)(TObject*));

    String host_;
    TIdIPVersion ipVersion_ = DefaultIPVersion;
    String moduleAddress_;
    TIdIPVersion moduleIPVersion_ = Id_IPv4;
    String pendingAddress_;
    TIdIPVersion pendingIPVersion_ = Id_IPv4;
    String moduleIP_;
    u16 udpPort_ = DefaultUDPPort;
    TIdStatus linkStatus_ = hsDisconnected;
    TUDPServer* udpServer_ = nullptr; // owned
    TUDPClient* udpClient_ = nullptr; // owned
    TTimer* connectionTimer_ = nullptr;
    TTimer* validationTimer_ = nullptr;
    TTimer* modemTimer_ = nullptr;
    TTimer* commandTimer_ = nullptr; // reply time-out of the command on the wire
    TTimer* replyTimer_ = nullptr;   // quiet time that completes a reply
    std::deque<TTCPCommandItem> commandQueue_;
    bool commandOnWire_ = false; // a TCP connection is made or being made for the front item
    bool replyReceived_ = false; // ... and its reply has arrived
    bool replyPending_ = false;  // part of a reply has arrived and waits for the rest
    TByteString reply_;          // ... that part
    String replyHost_;
    TIdIPVersion replyIPVersion_ = Id_IPv4;
    u16 replyPort_ = 0;
    TCommCloseReason closeReason_ = ccReasonClose;
    bool modemSuspended_ = false;
    bool sharedListener_ = false;
    bool connectedModemSuspended_ = false;
    int connectTimeout_ = DefaultTimeOut;
    int modemTimeout_ = DefaultTimeOut;
    TKestConnectStatusList announcedList_;
    TKestConnectStatusList deviceList_;
};

} // namespace fk
