#include "ports/SerialPort.h"

#include "ports/LinkGuard.h"
#include "ports/PrecTimer.h"
#include "support/TraceSink.h"

#include <algorithm>
#include <fcntl.h>
#include <new>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace fk {

// The entry check of every call that reaches the I/O thread: is the port open, take the lock
// it shares with its thread, is that still the port's thread. Waiting for the lock on the main
// thread runs synchronised calls, whose handlers may close or reopen the port: the check then
// starts over with the port's current thread, so the thread found is always the one whose
// lock is held. The lock is held for the scope.
class TSerialPort::TCurrentThread {
public:
    // What a failed check leaves as the last error.
    enum TCheck {
        Query,  // nothing: to a query a closed port is an answer
        Report, // ERROR_INVALID_HANDLE when the port has no thread (the thread's operations
                // report a closed device themselves)
        Device, // ERROR_INVALID_HANDLE also when the thread's device is not open
    };

    explicit TCurrentThread(const TSerialPort& port, TCheck check = Report)
    {
        while ((link_ = port.CurrentLink())) {
            guard_.emplace(link_);
            if (port.CurrentLink() == link_) {
                thread_ = port.thread_.get();
                break;
            }
            guard_.reset();
        }
        if (check == Device && thread_ && !thread_->HandleValid())
            thread_ = nullptr;
        if (!thread_ && check != Query)
            SetLastError(ERROR_INVALID_HANDLE);
    }
    TCurrentThread(const TCurrentThread&) = delete;
    TCurrentThread& operator=(const TCurrentThread&) = delete;

    explicit operator bool() const noexcept { return thread_ != nullptr; }
    TCommThread* operator->() const noexcept { return thread_; }
    TCommThread& operator*() const noexcept { return *thread_; }
    const std::shared_ptr<TCommLink>& Link() const noexcept { return link_; }
    // Gives up the lock before the scope ends.
    void Release() noexcept { guard_.reset(); }

private:
    std::shared_ptr<TCommLink> link_;
    std::optional<TLinkGuard> guard_;
    TCommThread* thread_ = nullptr;
};

namespace {

// Results of a transfer after which the device counts as lost: it went away, or is no
// longer ours to use.
bool MeansDeviceLost(DWORD code) noexcept
{
    return code == ERROR_ACCESS_DENIED || code == ERROR_DEVICE_NOT_CONNECTED;
}

} // namespace

TSerialPort::TSerialPort(TComponent* owner)
    : TSerialPort(owner, DefaultBaudRate, DefaultParity, DefaultDataBits, DefaultStopBits)
{
}

TSerialPort::TSerialPort(TComponent* owner, u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits)
    : TCommPort(owner, baudRate, parity, dataBits, stopBits)
    , lockDirectory_(TPortLock::DefaultDirectory())
{
    // The I/O thread watches the speed timer, so the meter runs on the thread that raises
    // the events (the main thread, or the I/O thread with ThreadedEvent).
    if (TPrecTimer* timer = SpeedTimer())
        timer->SetCustomWait(true);
}

TSerialPort::~TSerialPort()
{
    CloseThread(ccReasonClose);
    // Threads let go earlier end on their own; wait for them (their notifications go nowhere).
    for (auto& thread : retired_) {
        thread->Terminate();
        thread->WaitFor();
    }
    retired_.clear();
}

// ---------------------------------------------------------------- names

String TSerialPort::DevicePath(const String& name)
{
    if (name.empty())
        return {};
    if (name.front() == '/')
        return name;
    const String last = LastPathComponent(name);
    return last.empty() ? String() : String(DeviceNameSpace) + last;
}

void TSerialPort::SetPortName(const String& name)
{
    TCommPort::SetPortName(LastPathComponent(name));
    fileName_ = DevicePath(name);
}

void TSerialPort::SetFileName(const String& name)
{
    TCommPort::SetPortName(LastPathComponent(name));
    fileName_ = name;
}

String TSerialPort::GetCurrentFileName() const { return thread_ ? thread_->FileName() : String(); }

int TSerialPort::GetCommHandle() const
{
    const TCurrentThread thread(*this, TCurrentThread::Query);
    return thread ? thread->Handle() : -1;
}

bool TSerialPort::StillCurrent(const std::shared_ptr<TCommLink>& link) const noexcept
{
    if (!link)
        return false;
    TLinkGuard guard(link);
    return link->Port == this && thread_ && thread_->Link() == link;
}

// ---------------------------------------------------------------- properties

void TSerialPort::SetThreadedEvent(bool value)
{
    TCommPort::SetThreadedEvent(value);
    if (const TCurrentThread thread(*this, TCurrentThread::Query); thread)
        thread->SetThreadedEvent(value);
}

bool TSerialPort::GetReadPending() const
{
    const TCurrentThread thread(*this, TCurrentThread::Query);
    return thread && pendingRead_ && pendingRead_->Pending && !pendingRead_->Completed;
}

bool TSerialPort::GetWritePending() const
{
    const TCurrentThread thread(*this, TCurrentThread::Query);
    return thread && pendingWrite_ && pendingWrite_->Pending && !pendingWrite_->Completed;
}

bool TSerialPort::IsValid() const
{
    const TCurrentThread thread(*this, TCurrentThread::Query);
    return thread && thread->HandleValid();
}

// ---------------------------------------------------------------- open and close

bool TSerialPort::Open(const String& name, u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits)
{
    return OpenByFileName(DevicePath(name), baudRate, parity, dataBits, stopBits);
}

bool TSerialPort::Open(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits)
{
    return OpenByFileName(fileName_, baudRate, parity, dataBits, stopBits);
}

bool TSerialPort::ReOpen() { return OpenByFileName(GetCurrentFileName()); }

bool TSerialPort::Close() { return CloseThread(ccReasonClose); }

bool TSerialPort::OpenByFileName(const String& fileName)
{
    const TCommState& s = GetState();
    return OpenByFileName(fileName, s.BaudRate, TSerialParity(s.Parity), s.DataBits, TSerialStopBits(s.StopBits));
}

bool TSerialPort::OpenByFileName(const String& fileName, u32 baudRate, TSerialParity parity, u8 dataBits,
                                 TSerialStopBits stopBits)
{
    const String name = fileName; // the argument may be a name this call changes
    CloseThread(ccReasonReOpen);
    ReapThreads();
    staleLockFile_.clear();
    exclusiveError_ = ERROR_SUCCESS;
    TCommState& s = MutableState();
    s.BaudRate = baudRate;
    s.Parity = parity;
    s.DataBits = dataBits;
    s.StopBits = stopBits;
    UpdateStatus(TCommStatus{}, 0);
    DoOnOpening(name, 0);

    TCommThreadParams params;
    std::unique_ptr<TCommThread> thread;
    try {
        params.Link = std::make_shared<TCommLink>();
        params.FileName = name;
        params.LockDirectory = lockDirectory_;
        params.IdleTimeOut = OpenTimeOut;
        params.OpenTimeOut = openRetryTime_;
        if (SynchronousOpen())
            params.Handshake = std::make_shared<TOpenHandshake>();
        params.State = GetState();
        params.TimeOuts = TimeOuts();
        params.EventMask = CommEvents();
        params.ThreadedEvent = ThreadedEvent();
        // The I/O thread's own copy; like every descriptor of ours it is not inherited by
        // programs started from here (a help viewer, a browser).
        if (TPrecTimer* timer = SpeedTimer(); timer && timer->Handle() >= 0)
            params.SpeedTimerFd = ::fcntl(timer->Handle(), F_DUPFD_CLOEXEC, 0);
        thread = std::make_unique<TCommThread>(params);
    } catch (const std::exception&) {
        if (params.SpeedTimerFd >= 0 && !thread)
            ::close(params.SpeedTimerFd);
        DoOnOpen(name, ERROR_NOT_ENOUGH_MEMORY);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    const auto link = params.Link;
    const auto handshake = params.Handshake;
    link->Port = this; // the thread has not started: nothing else sees the link yet
    thread_ = std::move(thread);
    try {
        thread_->Start();
    } catch (const std::system_error&) {
        link->Port = nullptr;
        thread_.reset();
        DoOnOpen(name, ERROR_NOT_ENOUGH_MEMORY);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (!handshake) {
        SetLastError(ERROR_SUCCESS);
        return true;
    }
    handshake->WaitTried();
    if (!StillCurrent(link)) {
        // Closed while we waited (by a handler that ran meanwhile).
        handshake->Release();
        SetLastError(ERROR_OPERATION_ABORTED);
        return false;
    }
    const DWORD result = thread_->ReturnValue();
    OnOpenEvent(*thread_);
    handshake->Release(); // lets the I/O thread go on
    SetLastError(result);
    return result == ERROR_SUCCESS;
}

void TSerialPort::OnOpenEvent(TCommThread& thread)
{
    // Handlers may close the port and free the thread: take what is needed first.
    const auto link = thread.Link();
    const String name = thread.FileName();
    const DWORD result = thread.ReturnValue();
    if (result == ERROR_PORT_STALE_LOCK)
        staleLockFile_ = thread.LockFilePath();
    if (result == ERROR_SUCCESS) {
        exclusiveError_ = thread.ExclusiveError();
        if (exclusiveError_ != ERROR_SUCCESS)
            TTraceSink::Port("not-exclusive", name, {}, exclusiveError_);
    }
    if (result == ERROR_SUCCESS && IsValid()) {
        PurgeAll();
        ClearError(nullptr, nullptr);
    }
    if (!StillCurrent(link))
        return;
    SetLastErrors(0);
    DoOnOpen(name, result);
    if (!StillCurrent(link))
        return;
    if (result == ERROR_SUCCESS)
        DoOnOpened(name, ERROR_SUCCESS);
    else
        DoOnClosing(name, result, ccReasonError);
}

bool TSerialPort::CloseThread(TCommCloseReason reason)
{
    pendingRead_ = pendingWrite_ = nullptr;
    TCurrentThread current(*this);
    if (!current)
        return false;
    const auto& link = current.Link();
    pendingRead_ = pendingWrite_ = nullptr;
    TCommThread* thread = &*current;
    const bool hadHandle = thread->HandleValid();
    const bool canWait = !thread->InSynchronize() && !thread->IsCurrentThread();
    const bool waitFor = canWait && SynchronousClose();
    DWORD error = thread->ReturnValue();
    const String name = thread->FileName();

    // Let the thread go before any close notification: nothing it does reaches us now.
    link->Port = nullptr;
    std::unique_ptr<TCommThread> old = std::move(thread_);

    if (State() == cStateOpening) {
        error = ERROR_OPERATION_ABORTED;
        DoOnOpen(name, ERROR_OPERATION_ABORTED);
        DoOnClosing(name, ERROR_OPERATION_ABORTED, reason);
    } else if (State() == cStateOpen) {
        DoOnClosing(name, error, reason);
    }

    error = ERROR_SUCCESS;
    if (canWait || reason != ccReasonReOpen) {
        old->Terminate();
        if (waitFor) {
            // Give up every level of the lock while waiting: the thread takes it to close
            // the device. Callers further up re-check that the thread is still theirs.
            const int depth = link->UnlockAll();
            old->WaitFor();
            link->Relock(depth);
            old.reset();
        } else {
            if (hadHandle)
                error = ERROR_NOT_READY; // the device is released later, in the background
            retired_.push_back(std::move(old));
        }
    } else {
        // A reopen from inside an event or from the I/O thread: release the device here
        // when the close is synchronous, so the new open finds it free.
        if (SynchronousClose())
            error = old->CloseDevice();
        else if (hadHandle)
            error = ERROR_NOT_READY;
        old->Terminate();
        retired_.push_back(std::move(old));
    }
    if (State() != cStateClosed && !thread_)
        DoOnClosed(name, error, reason);
    current.Release();
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

void TSerialPort::CommThreadTerminate(TCommThread* thread)
{
    if (!thread_ || thread_.get() != thread)
        return;
    const auto link = thread_->Link();
    TLinkGuard guard(link);
    if (thread_.get() != thread)
        return;
    link->Port = nullptr;
    pendingRead_ = pendingWrite_ = nullptr;
    retired_.push_back(std::move(thread_));
}

bool TSerialPort::Released() const
{
    return !thread_ && std::all_of(retired_.begin(), retired_.end(), [](const auto& t) { return t->Finished(); });
}

void TSerialPort::ReapThreads()
{
    // With threaded events a retired thread may still be inside a handler that closed the
    // port from the I/O thread, finishing the dispatch on this port. Taking its lock waits
    // until it has left, so a new open never shares the port's state with it.
    for (const auto& t : retired_)
        if (!t->Finished())
            TLinkGuard barrier(t->Link());
    std::erase_if(retired_, [](const std::unique_ptr<TCommThread>& t) { return t->Finished(); });
}

// ---------------------------------------------------------------- dispatcher wrappers

void TSerialPort::DoOnOpening(const String& portName, u32 result) { TCommPort::DoOnOpening(portName, result); }

void TSerialPort::DoOnOpen(const String& portName, u32 result) { TCommPort::DoOnOpen(portName, result); }

void TSerialPort::DoOnOpened(const String& portName, u32 result) { TCommPort::DoOnOpened(portName, result); }

void TSerialPort::DoOnClosing(const String& portName, u32 result, TCommCloseReason reason)
{
    pendingRead_ = pendingWrite_ = nullptr;
    TCommPort::DoOnClosing(portName, result, reason);
    if (const TCurrentThread thread(*this, TCurrentThread::Query); thread)
        thread->ClearCommError(nullptr, nullptr); // clear the device's error state silently
}

void TSerialPort::DoOnClosed(const String& portName, u32 result, TCommCloseReason reason)
{
    pendingRead_ = pendingWrite_ = nullptr;
    TCommPort::DoOnClosed(portName, result, reason);
}

void TSerialPort::DoOnEvent(TCommEventFlags events, u32 result, const TCommStatus& status, TCommErrorFlags errors)
{
    TCommPort::DoOnEvent(events, result, status, errors);
}

void TSerialPort::DoOnModemLostEvent(u32 error) { DoOnModemLost(error); }

// ---------------------------------------------------------------- device operations

bool TSerialPort::UpdateState()
{
    TCommPort::UpdateState();
    const TCurrentThread thread(*this);
    return thread && thread->ApplyState(GetState());
}

bool TSerialPort::UpdateTimeOuts()
{
    const TCurrentThread thread(*this, TCurrentThread::Device);
    if (!thread)
        return false;
    thread->SetTimeOuts(TimeOuts());
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TSerialPort::SetBreak(bool on)
{
    const TCurrentThread thread(*this);
    return thread && thread->SetBreak(on);
}

bool TSerialPort::GetModemStatus(TCommModemStatus* status)
{
    if (status)
        *status = 0;
    const TCurrentThread thread(*this);
    return thread && thread->ModemStatus(status);
}

bool TSerialPort::Purge(TCommPurgeFlags flags)
{
    const TCurrentThread thread(*this);
    return thread && thread->Purge(flags);
}

bool TSerialPort::ClearError(TCommErrorFlags* errors, TCommStatus* status)
{
    const TCurrentThread thread(*this);
    TCommErrorFlags e = 0;
    TCommStatus s;
    if (!thread || !thread->ClearCommError(&e, &s))
        return false;
    readErrors_ |= e;
    writeErrors_ |= e;
    UpdateStatus(s, e);
    if (errors && errors != &LastErrors())
        *errors = e;
    if (status && status != &Status())
        *status = s;
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TSerialPort::DeviceLost(TCommThread& thread)
{
    if (thread.ModemStatus(nullptr))
        return false;
    const DWORD error = GetLastError();
    thread.SetError(error);
    DoOnModemLost(error);
    SetLastError(error);
    return true;
}

// ---------------------------------------------------------------- transfers

void TSerialPort::Notify(bool write, const void* data, u32 count, u32 transferred, TCommErrorFlags errors, u32 result)
{
    if (write)
        DoOnWrite(data, count, transferred, errors, result);
    else
        DoOnRead(data, count, transferred, errors, result);
}

u32 TSerialPort::Read(void* buffer, u32 count, TCommErrorFlags* errors)
{
    return ReadInternal(buffer, count, SynchronousIO(), errors, true);
}

u32 TSerialPort::Write(const void* buffer, u32 count, TCommErrorFlags* errors)
{
    // The bytes are only read; the record keeps one pointer type for both directions.
    return DoReadWrite(true, const_cast<void*>(buffer), count, SynchronousIO(), errors, true);
}

u32 TSerialPort::ReadInternal(void* buffer, u32 count, bool wait, TCommErrorFlags* errors, bool clear)
{
    return DoReadWrite(false, buffer, count, wait, errors, clear);
}

u32 TSerialPort::OverlappedSync(bool write)
{
    TTransferResult*& pending = write ? pendingWrite_ : pendingRead_;
    TTransferResult& rec = *pending;
    rec.Done = true; // reported here, not by the I/O thread
    if (!thread_->HandleValid()) {
        rec.ErrorCode = ERROR_INVALID_HANDLE;
        rec.Completed = true;
    } else {
        thread_->Finish(rec, write);
    }
    const auto link = thread_->Link();
    TCommErrorFlags e = 0;
    ClearError(&e, nullptr);
    if (!StillCurrent(link))
        return 0;
    rec.Errors |= e;
    rec.Pending = false;
    pending = nullptr;
    const void* data = rec.Data;
    const u32 countRequested = rec.Count, transferred = rec.Transferred;
    const TCommErrorFlags errors = rec.Errors;
    const DWORD code = rec.ErrorCode;
    Notify(write, data, countRequested, transferred, errors, code);
    SetLastError(code);
    return transferred;
}

u32 TSerialPort::DoReadWrite(bool write, void* buffer, u32 count, bool wait, TCommErrorFlags* errorsOut, bool clear)
{
    TCommErrorFlags local = 0;
    if (errorsOut) {
        if (clear)
            *errorsOut = 0;
        else
            local = *errorsOut;
    }
    if (!buffer || count == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const TCurrentThread current(*this, TCurrentThread::Device);
    if (!current)
        return 0;
    const auto& link = current.Link();
    if (DeviceLost(*current))
        return 0;
    if (!StillCurrent(link)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }

    // An earlier transfer of this direction is finished and reported first.
    if (write ? pendingWrite_ : pendingRead_) {
        OverlappedSync(write);
        const DWORD code = GetLastError();
        if (!StillCurrent(link)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        if (MeansDeviceLost(code)) {
            thread_->SetError(code);
            DoOnModemLost(code);
            SetLastError(code);
            return 0;
        }
    }
    (write ? pendingWrite_ : pendingRead_) = nullptr;
    (write ? writeErrors_ : readErrors_) = 0;

    TCommThread* thread = thread_.get();
    TTransferResult& rec = write ? thread->WriteRecord() : thread->ReadRecord();
    thread->BeginTransfer(rec, buffer, count, local);
    if (clear) {
        TCommErrorFlags e = 0;
        ClearError(&e, nullptr);
        if (!StillCurrent(link)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        rec.Errors |= e;
    }

    thread->Progress(rec, write);
    const bool failed = rec.Completed && rec.ErrorCode != ERROR_SUCCESS;
    // Without waiting, a write always completes through the I/O thread (OnWrite comes
    // later); a read that found all it may take completes here.
    if (!wait && !failed && (write || !rec.Completed)) {
        rec.Done = false;
        (write ? pendingWrite_ : pendingRead_) = &rec;
        thread->Wake();
        if (errorsOut)
            *errorsOut = rec.Errors;
        SetLastError(ERROR_IO_PENDING);
        return 0;
    }
    bool waited = false;
    if (!rec.Completed) {
        thread->Finish(rec, write);
        waited = true;
    }
    if (write)
        thread->WrittenByCaller();
    // The transfer is complete. Its record belongs to the I/O thread, which a status or
    // error handler may end by closing the port: take the result before they run.
    const u32 transferred = rec.Transferred;
    const DWORD code = rec.ErrorCode;
    if (clear || waited) {
        TCommErrorFlags e = 0;
        ClearError(&e, nullptr);
        if (!StillCurrent(link)) {
            SetLastError(code);
            return transferred;
        }
        rec.Errors |= e;
    }
    rec.Pending = false;
    const TCommErrorFlags errors = rec.Errors;
    if (waited && code != ERROR_SUCCESS) {
        thread->SetError(code);
        DoOnModemLost(code);
    }
    if (StillCurrent(link))
        Notify(write, buffer, count, transferred, errors, code);
    if (errorsOut)
        *errorsOut = errors;
    SetLastError(code);
    return transferred;
}

void TSerialPort::DoOnTransferEvent(bool write, u64 id, const TCommStatus& status, TCommErrorFlags transferErrors)
{
    const TCurrentThread thread(*this, TCurrentThread::Query);
    if (!thread)
        return;
    const auto& link = thread.Link();
    TTransferResult& rec = write ? thread->WriteRecord() : thread->ReadRecord();
    if (rec.Id != id || rec.Done || !rec.Pending)
        return; // taken over and reported by a later call
    TCommErrorFlags& accumulated = write ? writeErrors_ : readErrors_;
    rec.Errors |= accumulated;
    accumulated = 0;
    rec.Pending = false;
    (write ? pendingWrite_ : pendingRead_) = nullptr;
    const void* data = rec.Data;
    const u32 count = rec.Count, transferred = rec.Transferred;
    const TCommErrorFlags errors = rec.Errors;
    const DWORD code = rec.ErrorCode;
    UpdateStatus(status, transferErrors);
    if (StillCurrent(link))
        Notify(write, data, count, transferred, errors, code);
}

template <class Buffer>
u32 TSerialPort::ReadExistingInto(Buffer& buffer, bool append, TCommErrorFlags* errorsOut)
{
    if (errorsOut)
        *errorsOut = 0;
    if (!IsValid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    std::size_t total = append ? buffer.size() : 0;
    TCommErrorFlags accumulated = 0;
    bool grown = false;
    for (;;) {
        TCommErrorFlags e = 0;
        TCommStatus status;
        if (!ClearError(&e, &status))
            break;
        accumulated |= e;
        if (status.InQueue == 0)
            break;
        try {
            buffer.resize(total + status.InQueue);
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        grown = true;
        const u32 n = ReadInternal(reinterpret_cast<unsigned char*>(buffer.data()) + total, status.InQueue, true,
                                   &accumulated, false);
        total += n;
        if (n == 0)
            break; // nothing could be read after all (a failed read): do not spin
    }
    if (grown)
        buffer.resize(total); // no stale bytes behind what was read
    if (errorsOut)
        *errorsOut = accumulated;
    return u32(total);
}

u32 TSerialPort::ReadExisting(RawByteString& buffer, bool append, TCommErrorFlags* errors)
{
    return ReadExistingInto(buffer, append, errors);
}

u32 TSerialPort::ReadExisting(TByteString& buffer, bool append, TCommErrorFlags* errors)
{
    return ReadExistingInto(buffer, append, errors);
}

} // namespace fk
