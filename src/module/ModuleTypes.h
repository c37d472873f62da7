#pragma once
// Value types of the wireless-module link: the socket layer's IP version and status
// enumerations, the address a UDP datagram came from, and the records that describe a
// known module (its address, its reported configuration and the networks it sees).
#include "platform/Event.h"
#include "platform/Types.h"

#include <climits>
#include <cstddef>
#include <list>

namespace fk {

enum TIdIPVersion : u8 { Id_IPv4, Id_IPv6 };

// Socket status; the TCP client and the module link use hsConnecting .. hsDisconnected.
enum TIdStatus : u8 {
    hsResolving,
    hsConnecting,
    hsConnected,
    hsDisconnecting,
    hsDisconnected,
    hsStatusText,
    ftpTransfer,
    ftpReady,
    ftpAborted,
};

// The socket that received a datagram and where the datagram came from.
struct TUDPBinding {
    String PeerIP;        // textual address of the sender
    u16 PeerPort = 0;     // the sender's port
    u16 Port = 0;         // the receiving socket's local port
    TIdIPVersion IPVersion = Id_IPv4;
};

// Identifies a module: the address its datagrams and replies come from, and the name or
// address under which the user reached it.
struct TNetworkAddress {
    String IP;
    String Host;
    TIdIPVersion IPVersion = Id_IPv4;

    TNetworkAddress() = default;
    TNetworkAddress(const String& address, TIdIPVersion ipVersion)
        : IP(address)
        , Host(address)
        , IPVersion(ipVersion)
    {
    }
    TNetworkAddress(const String& ip, const String& host, TIdIPVersion ipVersion)
        : IP(ip)
        , Host(host)
        , IPVersion(ipVersion)
    {
    }
};

// One wireless network a module sees; Signal in dBm, INT_MIN when not reported.
struct TWLANItem {
    AnsiString SSID;
    std::int32_t Signal = INT_MIN;

    TWLANItem() = default;
    TWLANItem(const AnsiString& ssid, std::int32_t signal)
        : SSID(ssid)
        , Signal(signal)
    {
    }
};

// The access point a module is told to join; IP is the address the module holds there.
struct TWLANKey {
    AnsiString SSID;
    AnsiString Password;
    AnsiString IP;

    TWLANKey() = default;
    TWLANKey(const AnsiString& ssid, const AnsiString& password)
        : SSID(ssid)
        , Password(password)
    {
    }
};

// The configuration a module reports. Flag2 and Value7 are kept but not interpreted.
struct TKestConnectConfig {
    AnsiString Version;
    AnsiString Name;
    TWLANKey AccessPoint;
    bool APConnected = false;
    bool Flag2 = false;
    std::int32_t Value7 = 0;
};

// One known module.
struct TKestConnectStatus : TNetworkAddress {
    u32 LastSeen = 0; // tick count of the last datagram or reply from it
    TKestConnectConfig Config;
    std::list<TWLANItem> Networks;

    TKestConnectStatus() = default;
    TKestConnectStatus(const String& ip, const String& host, TIdIPVersion ipVersion)
        : TNetworkAddress(ip, host, ipVersion)
    {
    }
    TKestConnectStatus(const String& ip, const String& host, TIdIPVersion ipVersion, u32 lastSeen)
        : TNetworkAddress(ip, host, ipVersion)
        , LastSeen(lastSeen)
    {
    }
};

using TKestConnectStatusList = std::list<TKestConnectStatus>;

// Event types of the TCP client and the module link.
using TNetworkTransferEvent = TEvent<TObject*, const String&, TIdIPVersion, u16, const TByteString&>;
using TByteStringEvent = TEvent<TObject*, const TByteString&>;
using TIdStatusEvent = TEvent<TObject*, TIdStatus, const String&>;
using TIPPortStatusEvent = TEvent<TObject*, TIdStatus, const String&, TIdIPVersion>;
using THostAnnounceEvent = TEvent<TObject*, const TUDPBinding&>;
using TDataTransferEvent = TEvent<TObject*, const void*, std::size_t>;

} // namespace fk
