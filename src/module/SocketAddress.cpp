#include "module/SocketAddress.h"

#include "platform/LastError.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>

namespace fk {

TSocketAddress::TSocketAddress(const sockaddr* address, socklen_t length) noexcept
{
    if (address && length > 0 && length <= sizeof(storage_)) {
        std::memcpy(&storage_, address, length);
        length_ = length;
    }
}

bool TSocketAddress::Resolve(const String& host, TIdIPVersion ipVersion, u16 port)
{
    if (host.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    storage_ = {};
    if (ipVersion == Id_IPv4) {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage_);
        if (::inet_pton(AF_INET, host.c_str(), &a->sin_addr) == 1) {
            a->sin_family = AF_INET;
            a->sin_port = htons(port);
            length_ = sizeof(sockaddr_in);
            SetLastError(ERROR_SUCCESS);
            return true;
        }
    } else {
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage_);
        if (::inet_pton(AF_INET6, host.c_str(), &a->sin6_addr) == 1) {
            a->sin6_family = AF_INET6;
            a->sin6_port = htons(port);
            length_ = sizeof(sockaddr_in6);
            SetLastError(ERROR_SUCCESS);
            return true;
        }
    }
    addrinfo hints{};
    hints.ai_family = FamilyOf(ipVersion);
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result) {
        SetLastError(ERROR_OPEN_FAILED);
        return false;
    }
    std::memcpy(&storage_, result->ai_addr, result->ai_addrlen);
    length_ = result->ai_addrlen;
    ::freeaddrinfo(result);
    if (Family() == AF_INET)
        reinterpret_cast<sockaddr_in*>(&storage_)->sin_port = htons(port);
    else
        reinterpret_cast<sockaddr_in6*>(&storage_)->sin6_port = htons(port);
    SetLastError(ERROR_SUCCESS);
    return true;
}

String TSocketAddress::IP() const
{
    char text[INET6_ADDRSTRLEN] = {};
    if (Family() == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr, text, sizeof(text));
    else if (Family() == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_addr, text, sizeof(text));
    return text;
}

u16 TSocketAddress::Port() const noexcept
{
    if (Family() == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&storage_)->sin_port);
    if (Family() == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_port);
    return 0;
}

TSocketAddress TSocketAddress::Local(int fd) noexcept
{
    TSocketAddress a;
    socklen_t length = Capacity();
    if (::getsockname(fd, a.Get(), &length) == 0)
        a.length_ = length;
    return a;
}

TSocketAddress TSocketAddress::Peer(int fd) noexcept
{
    TSocketAddress a;
    socklen_t length = Capacity();
    if (::getpeername(fd, a.Get(), &length) == 0)
        a.length_ = length;
    return a;
}

} // namespace fk
