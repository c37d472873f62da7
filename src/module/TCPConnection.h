#pragma once
// TTCPConnection: a TCP client component for one outgoing connection at a time.
//
// TCPConnect starts an attempt on the reader thread (TTCPThread) and returns at once; the
// outcome arrives through DoOnTCPConnect (IsConnected() tells which). Received bytes arrive
// chunk by chunk through DoOnTCPRead; TCPWrite writes on the caller's thread. A subclass
// overrides the DoOn... operations and calls the base to raise the events. With
// ThreadedEvent false (the default) every callback runs on the main thread.
#include "module/ModuleTypes.h"
#include "platform/Component.h"

#include <memory>

namespace fk {

class TTCPThread;

class TTCPConnection : public TComponent {
public:
    // Time-out of a blocking connect and of a write, ms.
    static constexpr int DefaultSocketTimeout = 5000;

    explicit TTCPConnection(TComponent* owner);
    TTCPConnection(TComponent* owner, const String& host, TIdIPVersion ipVersion, u16 port);
    ~TTCPConnection() override;

    // --- properties
    bool ThreadedEvent() const noexcept { return threadedEvent_; }
    virtual void SetThreadedEvent(bool value);
    const String& Host() const noexcept { return host_; }
    void SetHost(const String& host) { host_ = host; }
    TIdIPVersion IPVersion() const noexcept { return ipVersion_; }
    void SetIPVersion(TIdIPVersion value) noexcept { ipVersion_ = value; }
    u16 Port() const noexcept { return port_; }
    void SetPort(u16 port) noexcept { port_ = port; }
    int SocketTimeout() const noexcept { return socketTimeout_; }
    void SetSocketTimeout(int ms) noexcept { socketTimeout_ = ms > 0 ? ms : DefaultSocketTimeout; }

    const String& PeerAddress() const noexcept { return peerAddress_; }
    const String& CurrentHost() const noexcept { return currentHost_; }
    TIdIPVersion CurrentIPVersion() const noexcept { return currentIPVersion_; }
    u16 CurrentPort() const noexcept { return currentPort_; }
    TTCPThread* Thread() const noexcept { return thread_.get(); }

    // --- operations
    // Creates the reader thread (suspended) if there is none; true when one exists.
    bool Create();
    bool TCPConnect();
    // Starts a connection attempt; true means started, the outcome comes later.
    bool TCPConnect(const String& host, TIdIPVersion ipVersion, u16 port);
    // Closes the connection (or the attempt) on the caller's thread.
    void TCPDisconnect();
    TIdStatus GetStatus() const noexcept;
    bool IsConnected() const noexcept;
    bool TCPWrite(const TByteString& data);
    bool TCPWrite(const void* buffer, unsigned size);
    void ResetCurrentValues();

    // --- events
    TNotifyEvent OnTCPDisconnecting, OnTCPDisconnected, OnTCPConnect;
    TNetworkTransferEvent OnTCPRead;
    TByteStringEvent OnTCPWrite;
    TIdStatusEvent OnTCPStatus;

protected:
    virtual void DoOnTCPConnect();
    virtual void DoOnTCPDisconnecting();
    virtual void DoOnTCPDisconnected();
    virtual void DoOnTCPRead(const String& host, TIdIPVersion ipVersion, u16 port, const TByteString& data);
    virtual void DoOnTCPWrite(const TByteString& data);
    virtual void DoOnTCPStatus(TIdStatus status, const String& text);

    // Called by the thread after every connection attempt.
    void DoOnTCPConnectEvent(TObject* sender);
    // Called by the thread for every received chunk.
    void DoOnTCPReadEvent(TObject* sender, const TByteString& data);
    void DoOnTCPStatusEvent(TObject* sender, TIdStatus status, const String& text);

    // Stops the thread from reaching this component; destructors of subclasses call it first.
    void DetachThread() noexcept;

private:
    friend class TTCPThread;

    bool threadedEvent_ = false;
    std::unique_ptr<TTCPThread> thread_;
    String host_;
    TIdIPVersion ipVersion_ = Id_IPv4;
    u16 port_ = 0;
    int socketTimeout_ = DefaultSocketTimeout;
    String peerAddress_;
    String currentHost_;
    TIdIPVersion currentIPVersion_ = Id_IPv4;
    u16 currentPort_ = 0;
};

} // namespace fk
