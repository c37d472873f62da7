#pragma once
// TSerialPort: the byte-stream port over a serial device (a tty).
//
// Each open starts one TCommThread, which opens the device exclusively (flock, TIOCEXCL and
// the LCK..<name> lock file), retrying for up to OpenTimeOut ms while it is busy or missing,
// configures it and then watches it. Reads and writes are issued on the caller's thread:
// with SynchronousIO they complete before the call returns; without it a write returns 0
// with 997 and its completion arrives later in OnWrite from the I/O thread, carrying the
// buffer address that Write was given.
//
// Port names: a name that is an absolute path ("/dev/pts/3", "/dev/serial/by-id/...") is
// opened as it is; any other name is a device under /dev ("ttyUSB0" -> "/dev/ttyUSB0").
#include "ports/CommPort.h"
#include "ports/CommThread.h"

#include <memory>
#include <vector>

namespace fk {

class TSerialPort : public TCommPort {
public:
    static constexpr u32 OpenTimeOut = 5000; // ms

    explicit TSerialPort(TComponent* owner);
    TSerialPort(TComponent* owner, u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits);
    ~TSerialPort() override;

    using TCommPort::Open;

    const String& FileName() const noexcept { return fileName_; }
    // Where LCK..<name> files are kept; empty: none. Defaults to the system's lock folder.
    const String& LockDirectory() const noexcept { return lockDirectory_; }
    void SetLockDirectory(const String& dir) { lockDirectory_ = dir; }
    // The lock file that made the last open fail with ERROR_PORT_STALE_LOCK (left by a
    // program that has ended, and not ours to remove); empty otherwise.
    const String& StaleLockFile() const noexcept { return staleLockFile_; }
    // Why the open device could not be put in exclusive mode (the driver refused TIOCEXCL),
    // so that another program's open() is not refused; 0 when it is exclusive. The open
    // goes on: flock and the lock file still keep away the programs that honour them. Such an
    // open is written to the diagnostic trace ("not-exclusive").
    DWORD ExclusiveError() const noexcept { return exclusiveError_; }
    // How long an open tries a busy or missing device again (OpenTimeOut by default); a
    // caller with a deadline of its own shortens it so that the real reason arrives in time.
    u32 OpenRetryTime() const noexcept { return openRetryTime_; }
    void SetOpenRetryTime(u32 ms) noexcept { openRetryTime_ = ms; }

    void SetPortName(const String& name) override;
    virtual void SetFileName(const String& name);
    void SetThreadedEvent(bool value) override;
    bool GetReadPending() const override;
    bool GetWritePending() const override;

    bool Open(const String& name, u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits) override;
    bool Open(u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits) override;
    bool ReOpen() override;
    bool Close() override;
    bool IsValid() const override;
    bool Validate() override { return IsValid(); }
    u32 ReadExisting(RawByteString& buffer, bool append, TCommErrorFlags* errors) override;
    u32 ReadExisting(TByteString& buffer, bool append, TCommErrorFlags* errors) override;
    u32 Read(void* buffer, u32 count, TCommErrorFlags* errors) override;
    u32 Write(const void* buffer, u32 count, TCommErrorFlags* errors) override;
    bool UpdateState() override;
    bool UpdateTimeOuts() override;
    bool SetBreak(bool on) override;
    bool ClearError(TCommErrorFlags* errors, TCommStatus* status) override;
    bool GetModemStatus(TCommModemStatus* status) override;
    bool Purge(TCommPurgeFlags flags) override;

    bool OpenByFileName(const String& fileName, u32 baudRate, TSerialParity parity, u8 dataBits,
                        TSerialStopBits stopBits);
    bool OpenByFileName(const String& fileName);
    bool CloseThread(TCommCloseReason reason);
    // True when no I/O thread of this port runs: the device and its lock are released (also
    // by threads let go earlier that end in the background).
    bool Released() const;
    // The device descriptor, or -1 while closed.
    int GetCommHandle() const;
    String GetCurrentFileName() const;

    // The device path a port name stands for.
    static String DevicePath(const String& name);

protected:
    void DoOnOpening(const String& portName, u32 result) override;
    void DoOnOpen(const String& portName, u32 result) override;
    void DoOnOpened(const String& portName, u32 result) override;
    void DoOnClosing(const String& portName, u32 result, TCommCloseReason reason) override;
    void DoOnClosed(const String& portName, u32 result, TCommCloseReason reason) override;
    void DoOnEvent(TCommEventFlags events, u32 result, const TCommStatus& status, TCommErrorFlags errors) override;

private:
    friend class TCommThread;
    // The entry check of every call that reaches the I/O thread (defined in the source).
    class TCurrentThread;

    template <class Buffer>
    u32 ReadExistingInto(Buffer& buffer, bool append, TCommErrorFlags* errors);
    u32 ReadInternal(void* buffer, u32 count, bool wait, TCommErrorFlags* errors, bool clear);
    u32 DoReadWrite(bool write, void* buffer, u32 count, bool wait, TCommErrorFlags* errors, bool clear);
    // Finishes an earlier transfer of this direction here and reports it; its bytes.
    u32 OverlappedSync(bool write);
    void Notify(bool write, const void* data, u32 count, u32 transferred, TCommErrorFlags errors, u32 result);
    bool DeviceLost(TCommThread& thread);

    // Called from the I/O thread (through CallEvent or the end notification).
    void OnOpenEvent(TCommThread& thread);
    void DoOnTransferEvent(bool write, u64 id, const TCommStatus& status, TCommErrorFlags transferErrors);
    void DoOnModemLostEvent(u32 error);
    void CommThreadTerminate(TCommThread* thread);

    void ReapThreads();
    std::shared_ptr<TCommLink> CurrentLink() const { return thread_ ? thread_->Link() : nullptr; }
    bool StillCurrent(const std::shared_ptr<TCommLink>& link) const noexcept;

    std::unique_ptr<TCommThread> thread_;
    std::vector<std::unique_ptr<TCommThread>> retired_; // let go, ending in the background
    String fileName_;
    u32 openRetryTime_ = OpenTimeOut;
    String lockDirectory_;
    String staleLockFile_;
    DWORD exclusiveError_ = ERROR_SUCCESS;
    TCommErrorFlags readErrors_ = 0;
    TCommErrorFlags writeErrors_ = 0;
    TTransferResult* pendingRead_ = nullptr;
    TTransferResult* pendingWrite_ = nullptr;
};

} // namespace fk
