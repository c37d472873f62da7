#pragma once
// TUDPServer: a UDP listener. While active it owns a socket bound to DefaultPort (on
// BindAddress, or every address when that is empty) with SO_REUSEPORT, so programs of the
// same user (the simulated modules) can bind the same port on more specific addresses and no
// other user's program can bind it at all; its thread (TUDPListenerThread) waits
// in poll and hands every datagram, whole, to OnUDPRead on the main thread (directly on the
// thread with ThreadedEvent). A receive failure ends the thread after OnUDPException.
//
// A listener on every address also holds the port's lock (TUDPPortLock), so that a second
// listener on the same port fails instead of silently getting nothing; ActivationError says
// why the last activation failed and who holds the port.
#include "module/ModuleTypes.h"
#include "module/UDPPortLock.h"
#include "platform/Component.h"
#include "ports/UniqueFd.h"

#include <memory>

namespace fk {

class TUDPListenerThread;

using TUDPReadEvent = TEvent<TObject*, const TByteString&, const TUDPBinding&>;
using TUDPExceptionEvent = TEvent<TObject*, const TUDPBinding&, const String&>;

class TUDPServer : public TComponent {
public:
    explicit TUDPServer(TComponent* owner);
    ~TUDPServer() override;

    u16 DefaultPort() const noexcept { return defaultPort_; }
    // Takes effect at once: a listener that is (or was asked to be) active binds the new port.
    bool SetDefaultPort(u16 port);
    const String& BindAddress() const noexcept { return bindAddress_; }
    void SetBindAddress(const String& address) { bindAddress_ = address; }
    TIdIPVersion IPVersion() const noexcept { return ipVersion_; }
    void SetIPVersion(TIdIPVersion value) noexcept { ipVersion_ = value; }
    bool ThreadedEvent() const noexcept { return threadedEvent_; }
    void SetThreadedEvent(bool value);

    // Active while the socket is bound and its thread runs (false once a receive failed).
    bool Active() const noexcept;
    // False with the last error when the socket cannot be bound: ERROR_ACCESS_DENIED when
    // another listener holds the port.
    bool SetActive(bool value);
    // Why the latest activation failed, for the user ("UDP port 13873 is in use by ferrovan
    // (process 1234)"); empty after a successful one.
    const String& ActivationError() const noexcept { return activationError_; }
    // The port the socket is bound to (DefaultPort, or the one chosen for port 0).
    u16 BoundPort() const noexcept { return boundPort_; }

    // Sends a datagram from the listening socket; false with the last error.
    bool SendTo(const String& host, u16 port, const void* data, std::size_t size);

    TUDPReadEvent OnUDPRead;
    TUDPExceptionEvent OnUDPException;

protected:
    virtual void DoOnUDPRead(const TByteString& data, const TUDPBinding& binding);
    virtual void DoOnUDPException(const TUDPBinding& binding, const String& message);

private:
    friend class TUDPListenerThread;
    void Stop();
    bool Fail(const String& message, DWORD code);

    u16 defaultPort_ = 0;
    String bindAddress_;
    TIdIPVersion ipVersion_ = Id_IPv4;
    bool threadedEvent_ = false;
    u16 boundPort_ = 0;
    bool wanted_ = false; // asked to be active
    String activationError_;
    TUDPPortLock lock_;
    TUniqueFd socket_;
    std::unique_ptr<TUDPListenerThread> thread_;
};

} // namespace fk
