#include "module/TCPConnection.h"

#include "module/TCPThread.h"
#include "platform/FaultReport.h"
#include "platform/LastError.h"

#include <new>
#include <system_error>

namespace fk {

TTCPConnection::TTCPConnection(TComponent* owner)
    : TComponent(owner)
{
}

TTCPConnection::TTCPConnection(TComponent* owner, const String& host, TIdIPVersion ipVersion, u16 port)
    : TComponent(owner)
    , host_(host)
    , ipVersion_(ipVersion)
    , port_(port)
{
}

TTCPConnection::~TTCPConnection()
{
    TCPDisconnect();
    DetachThread();
    thread_.reset();
}

void TTCPConnection::DetachThread() noexcept
{
    if (thread_)
        thread_->Detach();
}

void TTCPConnection::SetThreadedEvent(bool value)
{
    threadedEvent_ = value;
    if (thread_)
        thread_->SetThreadedEvent(value);
}

bool TTCPConnection::Create()
{
    if (thread_)
        return true;
    try {
        thread_ = std::make_unique<TTCPThread>(*this);
        thread_->SetThreadedEvent(threadedEvent_);
    } catch (const std::bad_alloc&) {
        thread_.reset();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return thread_ != nullptr;
}

bool TTCPConnection::TCPConnect() { return TCPConnect(host_, ipVersion_, port_); }

bool TTCPConnection::TCPConnect(const String& host, TIdIPVersion ipVersion, u16 port)
{
    host_ = host;
    ipVersion_ = ipVersion;
    if (!Create())
        return false;
    bool started = false;
    try {
        started = thread_->StartConnect(host, ipVersion, port, socketTimeout_);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } catch (const std::system_error& e) {
        // No thread could be started for the connection.
        SetLastError(e.code().category() == std::system_category() ? ErrorFromErrno(e.code().value())
                                                                    : ERROR_NOT_ENOUGH_MEMORY);
    }
    if (!started)
        return false;
    currentHost_ = host;
    currentIPVersion_ = ipVersion;
    currentPort_ = port;
    return true;
}

void TTCPConnection::TCPDisconnect()
{
    if (thread_)
        thread_->Disconnect();
}

TIdStatus TTCPConnection::GetStatus() const noexcept { return thread_ ? thread_->Status() : hsDisconnected; }

bool TTCPConnection::IsConnected() const noexcept { return thread_ && thread_->Status() == hsConnected; }

bool TTCPConnection::TCPWrite(const TByteString& data)
{
    if (!thread_ || !thread_->Connection()) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return false;
    }
    // Keep the socket while writing, even if a handler below closes the connection.
    const auto socket = thread_->Connection();
    if (!socket->Write(data.data(), data.size(), socketTimeout_))
        return false;
    DoOnTCPWrite(data);
    return true;
}

bool TTCPConnection::TCPWrite(const void* buffer, unsigned size)
{
    if (!thread_ || !buffer || size == 0 || !thread_->Connection()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const auto* bytes = static_cast<const u8*>(buffer);
    return TCPWrite(TByteString(bytes, bytes + size));
}

void TTCPConnection::ResetCurrentValues()
{
    peerAddress_.clear();
    currentHost_.clear();
    currentPort_ = 0;
}

void TTCPConnection::DoOnTCPConnect() { OnTCPConnect.Invoke(this); }

void TTCPConnection::DoOnTCPDisconnecting() { OnTCPDisconnecting.Invoke(this); }

void TTCPConnection::DoOnTCPDisconnected()
{
    OnTCPDisconnected.Invoke(this);
    // Unless a handler has started the next attempt already (its values are set).
    if (GetStatus() == hsDisconnected)
        ResetCurrentValues();
}

void TTCPConnection::DoOnTCPRead(const String& host, TIdIPVersion ipVersion, u16 port, const TByteString& data)
{
    OnTCPRead.Invoke(this, host, ipVersion, port, data);
}

void TTCPConnection::DoOnTCPWrite(const TByteString& data) { OnTCPWrite.Invoke(this, data); }

void TTCPConnection::DoOnTCPStatus(TIdStatus status, const String& text) { OnTCPStatus.Invoke(this, status, text); }

void TTCPConnection::DoOnTCPConnectEvent(TObject*)
{
    if (thread_ && thread_->Connection())
        peerAddress_ = thread_->Connection()->PeerAddress().IP();
    DoOnTCPConnect();
    // A failed attempt leaves no current values behind, unless a handler has started the
    // next attempt already (its values are set).
    if (GetStatus() == hsDisconnected)
        ResetCurrentValues();
}

void TTCPConnection::DoOnTCPReadEvent(TObject*, const TByteString& data)
{
    if (!thread_ || !thread_->Connection())
        return;
    DoOnTCPRead(peerAddress_, currentIPVersion_, thread_->Connection()->PeerAddress().Port(), data);
}

void TTCPConnection::DoOnTCPStatusEvent(TObject*, TIdStatus status, const String& text)
{
    try {
        DoOnTCPStatus(status, text);
    } catch (...) {
        TFaultReport::Caught("the TCP status handler");
    }
}

} // namespace fk
