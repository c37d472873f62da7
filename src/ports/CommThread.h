#pragma once
// TCommThread: the I/O thread of one open serial port.
//
// It opens the device itself (retrying while it is busy or not there yet), configures it,
// reports the open, and then blocks in epoll_wait on the tty, an eventfd for wake-ups
// (a write handed over, a purge, termination) and the port's speed timer. What it sees
// becomes the port's events: line events (characters received, transmit empty, line
// errors, modem-line changes), completions of transfers left to it, a vanished device
// (hang-up) as OnModemLost. Each notification runs on the main thread through Synchronize,
// or on this thread when ThreadedEvent is set.
//
// The tty is watched edge-triggered: bytes nobody has read yet must not wake the thread
// again and again, only new ones.
//
// The port and the thread share a TCommLink. Its lock orders them: the port holds it
// while it uses the thread's device and transfer records, the thread while it moves bytes
// of a transfer and while it runs a notification on its own thread. A port lets its
// thread go by clearing TCommLink::Port under the lock; from then on nothing the thread
// does reaches the port.
#include "platform/LastError.h"
#include "platform/Thread.h"
#include "ports/CommLink.h"
#include "ports/CommTypes.h"
#include "ports/OpenHandshake.h"
#include "ports/PortLock.h"
#include "ports/UniqueFd.h"

#include <atomic>
#include <functional>
#include <memory>

namespace fk {

class TSerialPort;

// One transfer of one direction. Guarded by the link's lock.
struct TTransferResult {
    u64 Id = 0;
    bool Pending = false;   // issued and not yet reported
    bool Done = false;      // the issuing call reports the completion itself
    bool Completed = false; // finished (all bytes, time-out, error or abort)
    bool Aborted = false;   // purged: completes with 995
    void* Data = nullptr;   // the caller's bytes
    u32 Count = 0;
    u32 Transferred = 0;
    u32 ErrorCode = 0;
    TCommErrorFlags Errors = 0;
    u32 StartTick = 0;
    u32 LastByteTick = 0;
};

struct TCommThreadParams {
    std::shared_ptr<TCommLink> Link;
    String FileName;
    String LockDirectory;
    u32 IdleTimeOut = 5000;
    u32 OpenTimeOut = 5000; // how long a busy or missing device is tried again
    std::shared_ptr<TOpenHandshake> Handshake; // only for a synchronous open
    TCommState State{};
    TCommTimeouts TimeOuts;
    TCommEventFlags EventMask = AllCommEvents;
    bool ThreadedEvent = false;
    int SpeedTimerFd = -1; // duplicated; -1 when there is none
};

class TCommThread final : public TThread {
public:
    static constexpr u32 OpenRetryInterval = 10; // ms between open attempts

    explicit TCommThread(TCommThreadParams params);
    ~TCommThread() override;

    const String& FileName() const noexcept { return fileName_; }
    String LockFilePath() const { return TPortLock::LockFilePath(lockDirectory_, fileName_); }
    bool InSynchronize() const noexcept { return inSynchronize_.load(); }
    void SetThreadedEvent(bool value) noexcept { threadedEvent_.store(value); }
    const std::shared_ptr<TCommLink>& Link() const noexcept { return link_; }

    // --- the device; callers hold the link's lock
    bool HandleValid() const noexcept { return fd_.Valid(); }
    // Why the open device is not in exclusive mode (TIOCEXCL refused); 0 when it is.
    DWORD ExclusiveError() const noexcept { return exclusiveError_; }
    int Handle() const noexcept { return fd_.Get(); }
    // Queue counts and the line errors since the last call.
    bool ClearCommError(TCommErrorFlags* errors, TCommStatus* status);
    // The modem lines; a driver without modem lines reports none. False: the device is gone.
    bool ModemStatus(TCommModemStatus* lines);
    bool ApplyState(const TCommState& state);
    void SetTimeOuts(const TCommTimeouts& timeOuts) noexcept { timeOuts_ = timeOuts; }
    bool Purge(TCommPurgeFlags flags);
    bool SetBreak(bool on);
    // Releases the locks and closes the device; the result of close().
    DWORD CloseDevice() noexcept;

    TTransferResult& ReadRecord() noexcept { return read_; }
    TTransferResult& WriteRecord() noexcept { return write_; }
    // Starts a transfer record of one direction with a fresh id.
    void BeginTransfer(TTransferResult& rec, void* data, u32 count, TCommErrorFlags errors);
    // Moves what can be moved without blocking; marks the record Completed when it is.
    void Progress(TTransferResult& rec, bool write);
    // Blocks (in poll) until the record is complete. The lock stays held.
    void Finish(TTransferResult& rec, bool write);
    // Notes that bytes were handed to the driver (for the transmit-empty event).
    void NoteWritten() noexcept { txWaiting_.store(true); }
    // After a write completed on the caller's thread: lets the I/O thread watch for the
    // transmit queue running empty, if that event is wanted.
    void WrittenByCaller() noexcept
    {
        if (eventMask_ & CommEventBit(cEvTxEmpty))
            Wake();
    }
    // Wakes the thread's wait (a transfer was left to it, or it is to stop).
    void Wake() noexcept;
    // The thread's current error (its return value).
    void SetError(DWORD error) noexcept { SetReturnValue(error); }

protected:
    void Execute() override;
    void TerminatedSet() override;

private:
    DWORD OpenDevice();
    void ReportOpen();
    bool RunLoop();
    void ServiceTransfers();
    void ServiceTransfer(TTransferResult& rec, bool write);
    void LineEvents(bool hangUp);
    int WaitTimeout(u32 idleStart) noexcept;
    bool ReadCounters(TCommErrorFlags* errors, TCommEventFlags* events, bool forEvent);
    // Runs `method` with the port, on this thread (ThreadedEvent) or the main thread.
    // False when the port had let the thread go (nothing ran).
    bool CallEvent(const std::function<void(TSerialPort&)>& method);
    void EndNotification();

    std::shared_ptr<TCommLink> link_;
    String fileName_;
    String lockDirectory_;
    u32 idleTimeOut_;
    u32 openTimeOut_;
    std::shared_ptr<TOpenHandshake> handshake_;
    TCommState state_;
    TCommTimeouts timeOuts_;
    TCommEventFlags eventMask_;
    std::atomic<bool> threadedEvent_;
    std::atomic<bool> inSynchronize_{false};
    std::atomic<bool> txWaiting_{false};

    TUniqueFd fd_;
    TPortLock portLock_;
    TUniqueFd wake_;
    TUniqueFd epoll_;
    TUniqueFd timer_;
    bool watching_ = false; // the tty is in the epoll set
    u32 subscribed_ = 0;    // the epoll events it is watched for
    bool isPty_ = false;
    DWORD exclusiveError_ = ERROR_SUCCESS;

    TCommStatus status_;
    TTransferResult read_;
    TTransferResult write_;
    u64 nextId_ = 0;

    // Line counters: what ClearCommError reported last, and what the last line event saw.
    struct Counters {
        bool valid = false;
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
        int cts = 0, dsr = 0, rng = 0, dcd = 0;
    };
    Counters cleared_, seen_;
    u64 consumed_ = 0;         // bytes read from the device so far
    u64 receivedSeen_ = 0;     // bytes received as of the last line event
    TCommModemStatus lines_ = 0;
};

} // namespace fk
