#include "ports/CommThread.h"

#include "platform/FaultReport.h"
#include "platform/SystemClock.h"
#include "ports/LinkGuard.h"
#include "ports/PrecTimer.h"
#include "ports/SerialPort.h"
#include "ports/TermiosMapping.h"

#include <asm/ioctls.h>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fk {

namespace {

constexpr u32 kRx80Full = 3277; // 80 % of the terminal's 4096-byte input buffer

bool IsRetried(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE
        || error == ERROR_SEM_TIMEOUT || error == ERROR_DEVICE_NOT_CONNECTED;
}

bool IsPseudoTerminal(const struct stat& st)
{
    const unsigned m = major(st.st_rdev);
    return (m >= 136 && m <= 143) || m == 3; // Unix98 and legacy pty slaves
}

// A terminal that can be a serial line: /dev/null, /dev/zero and the like are no terminal,
// and the pseudo-terminal multiplexer (5:2) only hands out new pairs.
bool IsTerminal(int fd, const struct stat& st)
{
    return ::isatty(fd) && !(major(st.st_rdev) == 5 && minor(st.st_rdev) == 2);
}

// Milliseconds of a time-out product, saturated.
u64 TotalMs(u32 multiplier, u32 count, u32 constant)
{
    return u64(multiplier) * count + constant;
}

} // namespace

// ---------------------------------------------------------------- TCommThread

TCommThread::TCommThread(TCommThreadParams params)
    : link_(std::move(params.Link))
    , fileName_(std::move(params.FileName))
    , lockDirectory_(std::move(params.LockDirectory))
    , idleTimeOut_(params.IdleTimeOut)
    , openTimeOut_(params.OpenTimeOut)
    , handshake_(std::move(params.Handshake))
    , state_(params.State)
    , timeOuts_(params.TimeOuts)
    , eventMask_(params.EventMask)
    , threadedEvent_(params.ThreadedEvent)
    , wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , epoll_(epoll_create1(EPOLL_CLOEXEC))
    , timer_(params.SpeedTimerFd)
{
    SetReturnValue(ERROR_PATH_NOT_FOUND);
}

TCommThread::~TCommThread()
{
    // The descriptors below must outlive the thread body.
    Terminate();
    WaitFor();
}

void TCommThread::TerminatedSet()
{
    Wake();
    if (handshake_)
        handshake_->Wake();
}

void TCommThread::Wake() noexcept
{
    if (wake_.Valid()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake_.Get(), &one, sizeof one);
    }
}

void TCommThread::Execute()
{
    SetReturnValue(ERROR_PATH_NOT_FOUND);
    const u32 start = GetTickCount();
    for (;;) {
        const DWORD error = OpenDevice();
        if (error == ERROR_SUCCESS)
            break;
        SetReturnValue(error);
        if (!IsRetried(error) || TickDiff(GetTickCount(), start) > openTimeOut_ || Terminated())
            break;
        pollfd p{wake_.Get(), POLLIN, 0};
        ::poll(&p, 1, int(OpenRetryInterval)); // termination ends the pause at once
        if (Terminated())
            break;
    }
    if (Terminated())
        SetReturnValue(ERROR_OPERATION_ABORTED);

    bool opened = false;
    {
        TLinkGuard guard(link_);
        opened = fd_.Valid();
    }
    if (!opened) {
        if (ReturnValue() == ERROR_SUCCESS)
            SetReturnValue(ERROR_INVALID_HANDLE);
        ReportOpen();
    } else {
        if (!Terminated()) {
            DWORD error = ERROR_SUCCESS;
            {
                TLinkGuard guard(link_);
                struct stat st {};
                if (::fstat(fd_.Get(), &st) != 0)
                    error = ErrorFromErrno(errno);
                else if (!S_ISCHR(st.st_mode) || !IsTerminal(fd_.Get(), st))
                    error = ERROR_BAD_FILE_TYPE; // /dev/null, /dev/zero, the pseudo-terminal multiplexer, ...
                else if (!ApplyState(state_))
                    error = GetLastError();
            }
            SetReturnValue(error);
        }
        ReportOpen();
        if (ReturnValue() == ERROR_SUCCESS && !Terminated()) {
            if (!RunLoop()) {
                const String name = fileName_;
                const DWORD result = ReturnValue();
                CallEvent([&](TSerialPort& port) { port.DoOnClosing(name, result, ccReasonError); });
            }
        }
        TLinkGuard guard(link_);
        SetReturnValue(CloseDevice());
    }
    const String name = fileName_;
    const DWORD result = ReturnValue();
    CallEvent([&](TSerialPort& port) { port.DoOnClosed(name, result, ccReasonError); });
    EndNotification();
}

DWORD TCommThread::OpenDevice()
{
    if (fileName_.empty())
        return ERROR_PATH_NOT_FOUND;
    TUniqueFd dev(::open(fileName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    // Missing and in use are retried; no permission is ERROR_PORT_PERMISSION, never "in use".
    if (!dev.Valid()) {
        const int err = errno;
        // A socket cannot be opened at all (ENXIO, which would read as "not there yet").
        struct stat node {};
        if (::stat(fileName_.c_str(), &node) == 0 && (S_ISSOCK(node.st_mode) || S_ISDIR(node.st_mode)))
            return ERROR_BAD_FILE_TYPE;
        return ErrorFromErrno(err, TErrnoUse::Open);
    }
    TPortLock lock;
    DWORD exclusiveError = ERROR_SUCCESS;
    struct stat st {};
    if (::fstat(dev.Get(), &st) == 0 && S_ISCHR(st.st_mode)) {
        // Exclusive use: flock against programs that use it, the lock file against those
        // that use that, TIOCEXCL against any later open() at all.
        if (::flock(dev.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            return ERROR_ACCESS_DENIED;
        if (const DWORD error = lock.Acquire(lockDirectory_, fileName_); error != ERROR_SUCCESS)
            return error; // in use (retried), or a stale lock that stays (not retried)
        // A driver that refuses exclusive mode still gets the device: flock and the lock
        // file keep away the programs that honour them. The port notes it (ExclusiveError).
        if (::ioctl(dev.Get(), TIOCEXCL) != 0)
            exclusiveError = ErrorFromErrno(errno);
        isPty_ = IsPseudoTerminal(st);
    }
    TLinkGuard guard(link_);
    fd_ = std::move(dev);
    portLock_ = std::move(lock);
    exclusiveError_ = exclusiveError;
    return ERROR_SUCCESS;
}

void TCommThread::ReportOpen()
{
    if (!handshake_) {
        CallEvent([this](TSerialPort& port) { port.OnOpenEvent(*this); });
        return;
    }
    handshake_->SignalTried();
    // No line event is looked at before the opener has delivered its open notifications.
    handshake_->WaitReleased([this] { return Terminated(); });
}

DWORD TCommThread::CloseDevice() noexcept
{
    if (!fd_.Valid())
        return ERROR_SUCCESS;
    const int fd = fd_.Get();
    if (watching_ && epoll_.Valid())
        ::epoll_ctl(epoll_.Get(), EPOLL_CTL_DEL, fd, nullptr);
    watching_ = false;
    ::ioctl(fd, TIOCCBRK);
    ::ioctl(fd, TCFLSH, TCIOFLUSH);
    ::ioctl(fd, TIOCNXCL);
    for (TTransferResult* rec : {&read_, &write_})
        if (rec->Pending && !rec->Completed) {
            rec->ErrorCode = ERROR_OPERATION_ABORTED;
            rec->Completed = true;
        }
    portLock_.Release();
    return fd_.Reset() == 0 ? ERROR_SUCCESS : ErrorFromErrno(errno);
}

// ---------------------------------------------------------------- device operations

bool TCommThread::ReadCounters(TCommErrorFlags* errors, TCommEventFlags* events, bool forEvent)
{
    serial_icounter_struct ic {};
    if (!fd_.Valid() || ::ioctl(fd_.Get(), TIOCGICOUNT, &ic) != 0)
        return false; // the driver keeps no counters (pseudo-terminals, many adapters)
    Counters now;
    now.valid = true;
    now.frame = ic.frame;
    now.overrun = ic.overrun;
    now.parity = ic.parity;
    now.brk = ic.brk;
    now.bufOverrun = ic.buf_overrun;
    now.cts = ic.cts;
    now.dsr = ic.dsr;
    now.rng = ic.rng;
    now.dcd = ic.dcd;
    Counters& base = forEvent ? seen_ : cleared_;
    if (base.valid) {
        if (errors) {
            if (now.bufOverrun != base.bufOverrun)
                *errors |= CE_RXOVER;
            if (now.overrun != base.overrun)
                *errors |= CE_OVERRUN;
            if (now.parity != base.parity)
                *errors |= CE_RXPARITY;
            if (now.frame != base.frame)
                *errors |= CE_FRAME;
            if (now.brk != base.brk)
                *errors |= CE_BREAK;
        }
        if (events) {
            if (now.frame != base.frame || now.overrun != base.overrun || now.parity != base.parity
                || now.bufOverrun != base.bufOverrun)
                *events |= CommEventBit(cEvRxError);
            if (now.brk != base.brk)
                *events |= CommEventBit(cEvRxBreak);
            if (now.cts != base.cts)
                *events |= CommEventBit(cEvCTS);
            if (now.dsr != base.dsr)
                *events |= CommEventBit(cEvDSR);
            if (now.dcd != base.dcd)
                *events |= CommEventBit(cEvRLSD);
            if (now.rng != base.rng)
                *events |= CommEventBit(cEvRxRing);
        }
    }
    base = now;
    return true;
}

bool TCommThread::ClearCommError(TCommErrorFlags* errors, TCommStatus* status)
{
    if (!fd_.Valid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    int in = 0, out = 0;
    if (::ioctl(fd_.Get(), FIONREAD, &in) != 0 || ::ioctl(fd_.Get(), TIOCOUTQ, &out) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    TCommErrorFlags e = 0;
    ReadCounters(&e, nullptr, false);
    if (errors)
        *errors = e;
    if (status) {
        status->Flags = 0;
        status->InQueue = u32(in);
        status->OutQueue = u32(out);
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TCommThread::ModemStatus(TCommModemStatus* lines)
{
    if (lines)
        *lines = 0;
    if (!fd_.Valid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    int bits = 0;
    if (::ioctl(fd_.Get(), TIOCMGET, &bits) != 0) {
        if (errno == ENOTTY || errno == EINVAL) {
            SetLastError(ERROR_SUCCESS); // a driver without modem lines, not a lost device
            return true;
        }
        SetLastErrorFromErrno(errno);
        return false;
    }
    TCommModemStatus s = 0;
    if (bits & TIOCM_CTS)
        s |= MS_CTS_ON;
    if (bits & TIOCM_DSR)
        s |= MS_DSR_ON;
    if (bits & TIOCM_RI)
        s |= MS_RING_ON;
    if (bits & TIOCM_CD)
        s |= MS_RLSD_ON;
    if (lines)
        *lines = s;
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TCommThread::ApplyState(const TCommState& state)
{
    if (!fd_.Valid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const int fd = fd_.Get();
    termios2 current {};
    if (::ioctl(fd, TCGETS2, &current) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    TTermiosMapping map;
    if (!TTermiosMapping::Map(state, current, map)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (::ioctl(fd, TCSETS2, &map.Attributes) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    termios2 actual {};
    // Pseudo-terminals keep no framing of their own; real drivers adjust what they cannot do.
    if (!isPty_ && (::ioctl(fd, TCGETS2, &actual) != 0 || !TTermiosMapping::Accepted(map.Attributes, actual))) {
        ::ioctl(fd, TCSETS2, &current);
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const auto line = [fd](int bit, bool on) {
        return ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0 || errno == ENOTTY || errno == EINVAL;
    };
    bool ok = line(TIOCM_DTR, map.Dtr);
    if (map.ManageRts && !map.RtsToggle)
        ok = line(TIOCM_RTS, map.Rts) && ok;
    if (map.RtsToggle) {
        serial_rs485 rs {};
        rs.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        if (::ioctl(fd, TIOCSRS485, &rs) != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
    }
    if (!ok) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    state_ = state;
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TCommThread::Purge(TCommPurgeFlags flags)
{
    if (!fd_.Valid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    bool wake = false;
    if ((flags & PURGE_TXABORT) && write_.Pending && !write_.Done && !write_.Completed)
        write_.Aborted = wake = true;
    if ((flags & PURGE_RXABORT) && read_.Pending && !read_.Done && !read_.Completed)
        read_.Aborted = wake = true;
    if (wake)
        Wake();
    if (flags & PURGE_RXCLEAR) {
        int in = 0;
        if (::ioctl(fd_.Get(), FIONREAD, &in) == 0 && in > 0)
            consumed_ += u64(in); // purged bytes count as taken: later ones are still "new"
    }
    int queue = -1;
    if ((flags & PURGE_TXCLEAR) && (flags & PURGE_RXCLEAR))
        queue = TCIOFLUSH;
    else if (flags & PURGE_TXCLEAR)
        queue = TCOFLUSH;
    else if (flags & PURGE_RXCLEAR)
        queue = TCIFLUSH;
    if (queue >= 0 && ::ioctl(fd_.Get(), TCFLSH, queue) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TCommThread::SetBreak(bool on)
{
    if (!fd_.Valid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (::ioctl(fd_.Get(), on ? TIOCSBRK : TIOCCBRK) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

// ---------------------------------------------------------------- transfers

void TCommThread::BeginTransfer(TTransferResult& rec, void* data, u32 count, TCommErrorFlags errors)
{
    rec = TTransferResult{};
    rec.Id = ++nextId_;
    rec.Pending = true;
    rec.Done = true;
    rec.Data = data;
    rec.Count = count;
    rec.Errors = errors;
    rec.StartTick = rec.LastByteTick = GetTickCount();
}

namespace {

// Remaining ms until the record's time-out (-1: none, 0: passed).
long Remaining(const TTransferResult& rec, bool write, const TCommTimeouts& t, u32 now)
{
    long best = -1;
    const auto consider = [&](u32 from, u64 total) {
        const u64 elapsed = TickDiff(now, from);
        const long left = elapsed >= total ? 0 : long(std::min<u64>(total - elapsed, 0x7FFFFFFF));
        if (best < 0 || left < best)
            best = left;
    };
    if (write) {
        const u64 total = TotalMs(t.WriteTotalTimeoutMultiplier, rec.Count, t.WriteTotalTimeoutConstant);
        if (total)
            consider(rec.StartTick, total);
        return best;
    }
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD
        && t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD) {
        consider(rec.StartTick, t.ReadTotalTimeoutConstant);
        return best;
    }
    const u64 total = TotalMs(t.ReadTotalTimeoutMultiplier, rec.Count, t.ReadTotalTimeoutConstant);
    if (total)
        consider(rec.StartTick, total);
    if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD && rec.Transferred > 0)
        consider(rec.LastByteTick, t.ReadIntervalTimeout);
    return best;
}

bool ReadsAtOnce(const TCommTimeouts& t, const TTransferResult& rec)
{
    if (t.ReadIntervalTimeout != MAXDWORD)
        return false;
    if (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0)
        return true;
    return t.ReadTotalTimeoutMultiplier == MAXDWORD && rec.Transferred > 0;
}

} // namespace

void TCommThread::Progress(TTransferResult& rec, bool write)
{
    if (rec.Completed)
        return;
    if (rec.Aborted) {
        rec.ErrorCode = ERROR_OPERATION_ABORTED;
        rec.Completed = true;
        return;
    }
    if (!fd_.Valid()) {
        rec.ErrorCode = ERROR_INVALID_HANDLE;
        rec.Completed = true;
        return;
    }
    auto* bytes = static_cast<unsigned char*>(rec.Data);
    while (rec.Transferred < rec.Count) {
        const size_t left = rec.Count - rec.Transferred;
        const ssize_t n = write ? ::write(fd_.Get(), bytes + rec.Transferred, left)
                                : ::read(fd_.Get(), bytes + rec.Transferred, left);
        if (n > 0) {
            rec.Transferred += u32(n);
            if (write) {
                NoteWritten();
            } else {
                consumed_ += u64(n);
                rec.LastByteTick = GetTickCount();
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // End of file or an I/O error: the device is gone.
        rec.ErrorCode = n == 0 ? ERROR_DEVICE_NOT_CONNECTED : ErrorFromErrno(errno);
        rec.Completed = true;
        return;
    }
    if (rec.Transferred == rec.Count || (!write && ReadsAtOnce(timeOuts_, rec))
        || Remaining(rec, write, timeOuts_, GetTickCount()) == 0) {
        rec.ErrorCode = ERROR_SUCCESS;
        rec.Completed = true;
    }
}

void TCommThread::Finish(TTransferResult& rec, bool write)
{
    for (;;) {
        Progress(rec, write);
        if (rec.Completed)
            return;
        pollfd p{fd_.Get(), short(write ? POLLOUT : POLLIN), 0};
        const long left = Remaining(rec, write, timeOuts_, GetTickCount());
        const int r = ::poll(&p, 1, left < 0 ? -1 : int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            rec.ErrorCode = ErrorFromErrno(errno);
            rec.Completed = true;
            return;
        }
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            Progress(rec, write); // take what is still buffered
            if (!rec.Completed) {
                rec.ErrorCode = ERROR_DEVICE_NOT_CONNECTED;
                rec.Completed = true;
            }
            return;
        }
    }
}

// ---------------------------------------------------------------- the wait loop

int TCommThread::WaitTimeout(u32 idleStart) noexcept
{
    const u32 now = GetTickCount();
    const u32 idle = TickDiff(now, idleStart);
    long timeout = idle >= idleTimeOut_ ? 0 : long(idleTimeOut_ - idle);
    TLinkGuard guard(link_);
    for (bool write : {false, true}) {
        const TTransferResult& rec = write ? write_ : read_;
        if (rec.Pending && !rec.Done && !rec.Completed) {
            const long left = Remaining(rec, write, timeOuts_, now);
            if (left >= 0 && left < timeout)
                timeout = left + 1; // poll rounds down; wake after the time-out, not before
        }
    }
    return int(timeout);
}

bool TCommThread::RunLoop()
{
    {
        TLinkGuard guard(link_);
        if (!epoll_.Valid() || !wake_.Valid()) {
            SetReturnValue(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        epoll_event ev {};
        ev.events = EPOLLIN;
        ev.data.u32 = 0;
        if (::epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, wake_.Get(), &ev) != 0) {
            SetReturnValue(ErrorFromErrno(errno));
            return false;
        }
        ev.events = EPOLLIN | EPOLLET;
        ev.data.u32 = 1;
        if (::epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, fd_.Get(), &ev) != 0) {
            SetReturnValue(ErrorFromErrno(errno));
            return false;
        }
        watching_ = true;
        subscribed_ = ev.events;
        if (timer_.Valid()) {
            ev.events = EPOLLIN;
            ev.data.u32 = 2;
            if (::epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, timer_.Get(), &ev) != 0)
                timer_.Reset();
        }
        // Start from the device as it is now: earlier counts are not events.
        ReadCounters(nullptr, nullptr, true);
        ReadCounters(nullptr, nullptr, false);
        ModemStatus(&lines_);
        // Bytes that arrived since the open are new: the tty is ready at once and the first
        // wait reports them.
        receivedSeen_ = consumed_;
    }
    u32 idleStart = GetTickCount();
    while (!Terminated()) {
        epoll_event events[4];
        const int n = ::epoll_wait(epoll_.Get(), events, 4, WaitTimeout(idleStart));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SetReturnValue(ErrorFromErrno(errno));
            return false;
        }
        if (Terminated())
            break;
        bool tty = false, hangUp = false, woken = false, timer = false;
        for (int i = 0; i < n; ++i) {
            switch (events[i].data.u32) {
            case 0: woken = true; break;
            case 1:
                tty = true;
                hangUp = hangUp || (events[i].events & (EPOLLHUP | EPOLLERR));
                break;
            default: timer = true; break;
            }
        }
        if (woken) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto r = ::read(wake_.Get(), &count, sizeof count);
        }
        if (timer) {
            const bool delivered = CallEvent([](TSerialPort& port) {
                if (TPrecTimer* t = port.SpeedTimer())
                    t->Dispatch();
            });
            if (!delivered) {
                std::uint64_t count = 0;
                [[maybe_unused]] auto r = ::read(timer_.Get(), &count, sizeof count);
            }
        }
        ServiceTransfers();
        const bool idle = n == 0 && TickDiff(GetTickCount(), idleStart) >= idleTimeOut_;
        if (tty || woken || idle)
            LineEvents(hangUp);
        if (tty || woken || idle)
            idleStart = GetTickCount();
    }
    return true;
}

void TCommThread::ServiceTransfers()
{
    ServiceTransfer(write_, true);
    ServiceTransfer(read_, false);
}

void TCommThread::ServiceTransfer(TTransferResult& rec, bool write)
{
    u64 id = 0;
    TCommStatus status;
    TCommErrorFlags errors = 0;
    {
        TLinkGuard guard(link_);
        if (!rec.Pending || rec.Done)
            return;
        Progress(rec, write);
        if (!rec.Completed)
            return;
        id = rec.Id;
        if (ClearCommError(&errors, &status))
            status_ = status;
        else
            status = status_;
        rec.Errors |= errors;
    }
    CallEvent([&](TSerialPort& port) { port.DoOnTransferEvent(write, id, status, errors); });
    TLinkGuard guard(link_);
    if (rec.Id == id && !rec.Done)
        rec.Pending = false; // reported, or nobody is left to report it to
}

void TCommThread::LineEvents(bool hangUp)
{
    TCommEventFlags events = 0;
    TCommErrorFlags errors = 0;
    TCommStatus status;
    bool lost = false;
    DWORD lostError = ERROR_SUCCESS;
    {
        TLinkGuard guard(link_);
        if (!fd_.Valid())
            return;
        int in = 0;
        if (::ioctl(fd_.Get(), FIONREAD, &in) == 0) {
            const u64 received = consumed_ + u64(in);
            if (received > receivedSeen_) {
                events |= CommEventBit(cEvRxReceive);
                if (u32(in) >= kRx80Full)
                    events |= CommEventBit(cEvRx80Full);
            }
            receivedSeen_ = received;
        }
        ReadCounters(nullptr, &events, true);
        TCommModemStatus lines = 0;
        if (ModemStatus(&lines)) {
            const TCommModemStatus changed = lines ^ lines_;
            if (changed & MS_CTS_ON)
                events |= CommEventBit(cEvCTS);
            if (changed & MS_DSR_ON)
                events |= CommEventBit(cEvDSR);
            if (changed & MS_RLSD_ON)
                events |= CommEventBit(cEvRLSD);
            if ((lines & MS_RING_ON) && !(lines_ & MS_RING_ON))
                events |= CommEventBit(cEvRxRing);
            lines_ = lines;
        } else {
            lost = true;
            lostError = GetLastError();
        }
        if (hangUp && !lost) {
            lost = true;
            lostError = ERROR_DEVICE_NOT_CONNECTED;
        }
        const bool writing = write_.Pending && !write_.Done && !write_.Completed;
        if (txWaiting_.load() && !writing) {
            int out = 0;
            if (::ioctl(fd_.Get(), TIOCOUTQ, &out) == 0 && out == 0) {
                events |= CommEventBit(cEvTxEmpty);
                txWaiting_.store(false);
            }
        }
        events &= eventMask_;
        if (events) {
            if (ClearCommError(&errors, &status))
                status_ = status;
            else
                status = status_;
        }
        if (lost && watching_) {
            // A hung-up tty stays "ready" for ever; from now on only the idle check looks.
            ::epoll_ctl(epoll_.Get(), EPOLL_CTL_DEL, fd_.Get(), nullptr);
            watching_ = false;
        } else if (watching_) {
            // Write wake-ups are only of interest while a write or the transmit-empty
            // event waits for them.
            epoll_event ev {};
            ev.events = EPOLLIN | EPOLLET
                | ((writing || (txWaiting_.load() && (eventMask_ & CommEventBit(cEvTxEmpty)))) ? u32(EPOLLOUT) : 0u);
            ev.data.u32 = 1;
            if (ev.events != subscribed_) {
                ::epoll_ctl(epoll_.Get(), EPOLL_CTL_MOD, fd_.Get(), &ev);
                subscribed_ = ev.events;
            }
        }
    }
    if (events)
        CallEvent([&](TSerialPort& port) { port.DoOnEvent(events, ERROR_SUCCESS, status, errors); });
    if (lost) {
        SetReturnValue(lostError);
        CallEvent([&](TSerialPort& port) { port.DoOnModemLostEvent(lostError); });
    }
}

// ---------------------------------------------------------------- notifications

bool TCommThread::CallEvent(const std::function<void(TSerialPort&)>& method)
{
    if (threadedEvent_.load()) {
        TLinkGuard guard(link_);
        if (!link_->Port)
            return false;
        try {
            method(*link_->Port);
        } catch (...) {
            TFaultReport::Caught("a serial port event handler"); // must not leave the I/O thread
        }
        return true;
    }
    bool delivered = false;
    bool handedOver = true;
    const std::shared_ptr<TCommLink> link = link_;
    try {
        handedOver = Synchronize([&] {
            TSerialPort* port = nullptr;
            {
                TLinkGuard guard(link);
                port = link->Port;
            }
            if (!port)
                return;
            inSynchronize_.store(true);
            try {
                method(*port);
            } catch (...) {
                TFaultReport::Caught("a serial port event handler");
            }
            inSynchronize_.store(false);
            delivered = true;
        });
    } catch (...) {
        TFaultReport::Caught("a serial port event's hand-over"); // must not leave the I/O thread
    }
    if (!handedOver)
        Terminate(); // the program is ending: the device is released, nothing more reported
    return delivered;
}

void TCommThread::EndNotification()
{
    const std::shared_ptr<TCommLink> link = link_;
    try {
        Synchronize([&] {
            TSerialPort* port = nullptr;
            {
                TLinkGuard guard(link);
                port = link->Port;
            }
            if (port)
                port->CommThreadTerminate(this);
        });
    } catch (...) {
        TFaultReport::Caught("a serial port's end notification"); // must not leave the I/O thread
    }
}

} // namespace fk
