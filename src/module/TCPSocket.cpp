#include "module/TCPSocket.h"

#include "platform/LastError.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace fk {

TTCPSocket::TTCPSocket(TUniqueFd fd, const TSocketAddress& peer) noexcept
    : fd_(std::move(fd))
    , peer_(peer)
{
}

bool TTCPSocket::Write(const u8* data, std::size_t size, int timeoutMs) const
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::send(fd_.Get(), data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_.Get(), POLLOUT, 0};
            const int r = ::poll(&p, 1, timeoutMs);
            if (r == 0) {
                SetLastError(ERROR_TIMEOUT);
                return false;
            }
            if (r < 0 && errno != EINTR) {
                SetLastErrorFromErrno(errno);
                return false;
            }
            continue;
        }
        SetLastErrorFromErrno(n < 0 ? errno : EPIPE);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

std::size_t TTCPSocket::ReadAvailable(TByteString& buffer, std::size_t limit, bool& closed) const
{
    std::size_t total = 0;
    closed = false;
    while (total < limit) {
        const std::size_t old = buffer.size();
        const std::size_t want = std::min<std::size_t>(limit - total, 4096);
        buffer.resize(old + want);
        const ssize_t n = ::recv(fd_.Get(), buffer.data() + old, want, MSG_DONTWAIT);
        if (n > 0) {
            buffer.resize(old + std::size_t(n));
            total += std::size_t(n);
            continue;
        }
        buffer.resize(old);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        closed = true; // end of file or a socket error
        break;
    }
    return total;
}

void TTCPSocket::Shutdown() const noexcept { ::shutdown(fd_.Get(), SHUT_RDWR); }

} // namespace fk
