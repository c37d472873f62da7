#pragma once
// TTCPSocket: one established TCP connection, shared by the TCP client (which writes and
// shuts it down) and its reader thread (which reads). The descriptor is closed when the last
// holder lets go, so it is never closed while the other thread still waits on it.
#include "module/SocketAddress.h"
#include "ports/UniqueFd.h"

namespace fk {

class TTCPSocket {
public:
    TTCPSocket(TUniqueFd fd, const TSocketAddress& peer) noexcept;

    TTCPSocket(const TTCPSocket&) = delete;
    TTCPSocket& operator=(const TTCPSocket&) = delete;

    int Fd() const noexcept { return fd_.Get(); }
    const TSocketAddress& PeerAddress() const noexcept { return peer_; }

    // Writes every byte, waiting at most timeoutMs for room in the socket's buffer.
    // False with the last error (1460 on time-out, the mapped errno otherwise).
    bool Write(const u8* data, std::size_t size, int timeoutMs) const;
    // Moves what has arrived into buffer, up to `limit` bytes; returns the count. Sets
    // `closed` when the peer has closed the connection or the socket failed.
    std::size_t ReadAvailable(TByteString& buffer, std::size_t limit, bool& closed) const;
    // Ends both directions; the reader sees end of file.
    void Shutdown() const noexcept;

private:
    TUniqueFd fd_;
    TSocketAddress peer_;
};

} // namespace fk
