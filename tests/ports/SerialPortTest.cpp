// The serial port over pseudo-terminal pairs: the test holds the master side and plays the
// device.
#include "platform/SystemClock.h"
#include "platform/Thread.h"
#include "ports/PortMonitor.h"
#include "ports/PrecTimer.h"
#include "ports/SerialPort.h"
#include "ChildProcess.h"
#include "EventLoopRun.h"
#include "platform/MainThreadQueue.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <asm/termbits.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <dirent.h>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace fk;
using fk::test::RunEventLoopUntil;

namespace {

class Pty {
public:
    Pty()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            path_ = ::ptsname(master_);
    }
    ~Pty() { CloseMaster(); }
    const std::string& Path() const { return path_; }
    int Master() const { return master_; }
    void CloseMaster()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }
    void Send(const std::string& s) { ASSERT_EQ(::write(master_, s.data(), s.size()), ssize_t(s.size())); }
    // Reads until `count` bytes arrived or the guard time passed.
    std::string Receive(size_t count, int guardMs = 3000)
    {
        std::string out;
        const u32 start = GetTickCount();
        while (out.size() < count && TickDiff(GetTickCount(), start) < u32(guardMs)) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
                char buf[65536];
                const ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0)
                    out.append(buf, size_t(n));
            }
        }
        return out;
    }

private:
    int master_ = -1;
    std::string path_;
};

class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/fk-serial-XXXXXX";
        path_ = ::mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Records every event of a port as text, from any thread.
class Recorder {
public:
    // Holds on to the owning pointer: a test may free the port before the recorder.
    explicit Recorder(TOwned<TSerialPort>& owned)
        : owned_(owned)
    {
        TSerialPort& port = *owned;
        port.OnOpening = OpenHandler("opening");
        port.OnOpen = OpenHandler("open");
        port.OnOpened = OpenHandler("opened");
        port.OnClosing = CloseHandler("closing");
        port.OnClosed = CloseHandler("closed");
        port.OnStatusUpdate = TCommStatusEvent::Bind(this, [this](TObject*, const TCommStatus&, TCommErrorFlags) {
            Add("status");
        });
        port.OnEvent = TCommEventEvent::Bind(this, [this](TObject*, TCommEventFlags e, u32, const TCommStatus&,
                                                          TCommErrorFlags) {
            if (e & CommEventBit(cEvRxReceive))
                Add("rx");
            if (e & CommEventBit(cEvTxEmpty))
                Add("txempty");
        });
        port.OnWrite = TCommTransferEvent::Bind(this, [this](TObject*, const void* b, u32 size, u32 n,
                                                             TCommErrorFlags, u32 r) {
            std::lock_guard l(mutex_);
            writes.push_back({b, size, n, r});
            entries_.push_back("write:" + std::to_string(n) + ":" + std::to_string(r));
        });
        port.OnRead = TCommTransferEvent::Bind(this, [this](TObject*, const void* b, u32, u32 n, TCommErrorFlags,
                                                            u32 r) {
            std::lock_guard l(mutex_);
            read.append(static_cast<const char*>(b), n);
            entries_.push_back("read:" + std::to_string(n) + ":" + std::to_string(r));
        });
        port.OnModemLost = TCommSpeedEvent::Bind(this, [this](TObject*, u32 e) {
            Add("lost:" + std::to_string(e));
        });
    }

    ~Recorder()
    {
        if (!owned_)
            return;
        TSerialPort& port_ = *owned_;
        port_.OnOpening = port_.OnOpen = port_.OnOpened = nullptr;
        port_.OnClosing = port_.OnClosed = nullptr;
        port_.OnStatusUpdate = nullptr;
        port_.OnEvent = nullptr;
        port_.OnWrite = port_.OnRead = nullptr;
        port_.OnModemLost = nullptr;
    }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    struct Write {
        const void* buffer;
        u32 size, transferred, result;
    };
    std::vector<Write> writes;
    std::string read;
    std::atomic<int> offMain{0};

    std::vector<std::string> Entries()
    {
        std::lock_guard l(mutex_);
        return entries_;
    }
    // The entries without status updates and line events.
    std::vector<std::string> Lifecycle()
    {
        std::vector<std::string> out;
        for (auto& e : Entries())
            if (e != "status" && e != "rx" && e != "txempty")
                out.push_back(e);
        return out;
    }
    bool Has(const std::string& what)
    {
        for (auto& e : Entries())
            if (e == what)
                return true;
        return false;
    }
    void Clear()
    {
        std::lock_guard l(mutex_);
        entries_.clear();
        writes.clear();
        read.clear();
    }
    void Add(const std::string& s)
    {
        if (!TThread::IsMainThread())
            ++offMain;
        std::lock_guard l(mutex_);
        entries_.push_back(s);
    }

private:
    TCommOpenEvent OpenHandler(const char* what)
    {
        return TCommOpenEvent::Bind(this, [this, what](TObject*, const String&, u32 r) {
            Add(std::string(what) + ":" + std::to_string(r));
        }, unsigned(what[0]) * 256 + unsigned(what[4]));
    }
    TCommCloseEvent CloseHandler(const char* what)
    {
        return TCommCloseEvent::Bind(this, [this, what](TObject*, const String&, u32 r, TCommCloseReason reason) {
            Add(std::string(what) + ":" + std::to_string(r) + ":" + std::to_string(int(reason)));
        }, unsigned(what[0]) * 256 + unsigned(what[5]));
    }
    TOwned<TSerialPort>& owned_;
    std::mutex mutex_;
    std::vector<std::string> entries_;
};

using Strings = std::vector<std::string>;

struct SerialPortTest : ::testing::Test {
    Pty pty;
    TempDir locks;
    TOwned<TSerialPort> port = Make<TSerialPort>();
    void SetUp() override
    {
        ASSERT_FALSE(pty.Path().empty());
        port->SetLockDirectory(locks.Path());
    }
    std::string LockFile() const { return locks.Path() + "/" + TPortLock::LockFileName(pty.Path()); }
};

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

TEST_F(SerialPortTest, SynchronousOpenAndCloseRaiseTheDocumentedSequence)
{
    Recorder rec(port);
    ASSERT_TRUE(port->Open(pty.Path()));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(port->IsValid());
    EXPECT_EQ(port->State(), cStateOpen);
    EXPECT_EQ(port->CurrentPortName(), pty.Path());
    EXPECT_EQ(port->GetCurrentFileName(), pty.Path());
    EXPECT_EQ(rec.Entries(), (Strings{"status", "opening:0", "status", "open:0", "opened:0"}));
    EXPECT_TRUE(Exists(LockFile()));
    EXPECT_EQ(rec.offMain.load(), 0);

    rec.Clear();
    EXPECT_TRUE(port->Close());
    EXPECT_EQ(rec.Lifecycle(), (Strings{"closing:0:0", "closed:0:0"}));
    EXPECT_EQ(port->State(), cStateClosed);
    EXPECT_FALSE(port->IsValid());
    EXPECT_FALSE(Exists(LockFile()));

    // Closing again: no thread, error 6, nothing raised.
    rec.Clear();
    EXPECT_FALSE(port->Close());
    EXPECT_EQ(GetLastError(), 6u);
    EXPECT_TRUE(rec.Entries().empty());
}

TEST_F(SerialPortTest, AsynchronousOpenReportsThroughTheEventLoop)
{
    Recorder rec(port);
    port->SetSynchronous(0, false);
    ASSERT_TRUE(port->Open(pty.Path()));
    EXPECT_EQ(port->State(), cStateOpening);
    ASSERT_TRUE(RunEventLoopUntil([&] { return rec.Has("opened:0"); }));
    EXPECT_EQ(rec.Entries(), (Strings{"status", "opening:0", "status", "open:0", "opened:0"}));
    EXPECT_EQ(rec.offMain.load(), 0);
}

TEST_F(SerialPortTest, AMissingDeviceIsRetriedForTheWholeWindow)
{
    Recorder rec(port);
    const u32 start = GetTickCount();
    EXPECT_FALSE(port->Open(pty.Path() + "-missing"));
    const u32 took = TickDiff(GetTickCount(), start);
    EXPECT_EQ(GetLastError(), 2u);
    EXPECT_GE(took, TSerialPort::OpenTimeOut);
    EXPECT_LT(took, TSerialPort::OpenTimeOut + 2000);
    ASSERT_TRUE(RunEventLoopUntil([&] { return rec.Has("closed:2:2"); }));
    EXPECT_EQ(rec.Lifecycle(), (Strings{"opening:0", "open:2", "closing:2:2", "closed:2:2"}));
    EXPECT_EQ(port->State(), cStateClosed);
}

TEST_F(SerialPortTest, ADeviceThatAppearsWithinTheWindowIsOpened)
{
    const std::string link = locks.Path() + "/late-device";
    std::thread plug([&] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        [[maybe_unused]] int r = ::symlink(pty.Path().c_str(), link.c_str());
    });
    const u32 start = GetTickCount();
    EXPECT_TRUE(port->Open(link));
    EXPECT_GE(TickDiff(GetTickCount(), start), 900u);
    plug.join();
    EXPECT_TRUE(port->IsValid());
}

TEST_F(SerialPortTest, FailuresThatAreNotRetriedEndAtOnce)
{
    Recorder rec(port);
    // A regular file is no serial device: 222, and the close of the handle gives 0.
    const std::string file = locks.Path() + "/plain";
    ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600));
    u32 start = GetTickCount();
    EXPECT_FALSE(port->Open(file));
    EXPECT_EQ(GetLastError(), 222u);
    EXPECT_LT(TickDiff(GetTickCount(), start), 1000u);
    ASSERT_TRUE(RunEventLoopUntil([&] { return rec.Has("closed:0:2"); }));
    EXPECT_EQ(rec.Lifecycle(), (Strings{"opening:0", "open:222", "closing:222:2", "closed:0:2"}));

    // An empty name.
    start = GetTickCount();
    EXPECT_FALSE(port->OpenByFileName(""));
    EXPECT_EQ(GetLastError(), 3u);
    EXPECT_LT(TickDiff(GetTickCount(), start), 1000u);

    // No permission is not "in use", and not retried.
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(pty.Path().c_str(), 0), 0);
        start = GetTickCount();
        EXPECT_FALSE(port->Open(pty.Path()));
        EXPECT_EQ(GetLastError(), ERROR_PORT_PERMISSION);
        EXPECT_LT(TickDiff(GetTickCount(), start), 1000u);
        ::chmod(pty.Path().c_str(), 0620);
    }
    RunEventLoopUntil([&] { return port->State() == cStateClosed; });
}

TEST_F(SerialPortTest, APortHeldByAnotherOpenerFailsWithFiveAfterTheWindow)
{
    ASSERT_TRUE(port->Open(pty.Path()));
    auto second = Make<TSerialPort>();
    second->SetLockDirectory(locks.Path());
    const u32 start = GetTickCount();
    EXPECT_FALSE(second->Open(pty.Path()));
    EXPECT_EQ(GetLastError(), 5u);
    EXPECT_GE(TickDiff(GetTickCount(), start), TSerialPort::OpenTimeOut);
    EXPECT_TRUE(port->IsValid());
}

TEST_F(SerialPortTest, LockFilesOfRunningProcessesAreHonouredAndStaleOnesTakenOver)
{
    // A lock of a process that has ended is taken over.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    auto writeLock = [&](pid_t pid) {
        const std::string text = std::to_string(pid) + "\n";
        const int fd = ::open(LockFile().c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, text.data(), text.size()), ssize_t(text.size()));
        ::close(fd);
    };
    writeLock(child);
    ASSERT_TRUE(port->Open(pty.Path()));
    port->Close();
    EXPECT_FALSE(Exists(LockFile()));

    // A lock of a running process that has the device open (without flock, as a lock-file
    // program does) keeps us off the port; the retries end when its lock goes away.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        const int fd = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        (void)!::write(ready[1], fd >= 0 ? "r" : "x", 1);
        for (;;)
            ::pause();
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    writeLock(holder);
    port->SetSynchronous(0, false);
    Recorder rec(port);
    ASSERT_TRUE(port->Open(pty.Path()));
    RunEventLoopUntil([] { return false; }, 300);
    EXPECT_FALSE(rec.Has("open:0"));
    ::unlink(LockFile().c_str());
    ASSERT_TRUE(RunEventLoopUntil([&] { return rec.Has("opened:0"); }));
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
}

TEST_F(SerialPortTest, AStaleLockThatCannotBeRemovedEndsTheOpenAtOnceAndIsNamed)
{
    // Not removable by anyone: an entry of that name that is a directory.
    ASSERT_EQ(::mkdir(LockFile().c_str(), 0755), 0);
    Recorder rec(port);
    const u32 start = GetTickCount();
    EXPECT_FALSE(port->Open(pty.Path()));
    EXPECT_EQ(GetLastError(), ERROR_PORT_STALE_LOCK);
    EXPECT_LT(TickDiff(GetTickCount(), start), 1000u); // waiting would not help
    EXPECT_EQ(port->StaleLockFile(), LockFile());
    ASSERT_TRUE(RunEventLoopUntil([&] { return port->State() == cStateClosed; }));
    EXPECT_EQ(rec.Lifecycle().at(1), "open:" + std::to_string(ERROR_PORT_STALE_LOCK));

    // Gone: the next open takes the port and forgets the file.
    ASSERT_EQ(::rmdir(LockFile().c_str()), 0);
    ASSERT_TRUE(port->Open(pty.Path()));
    EXPECT_TRUE(port->StaleLockFile().empty());
}

// Tries to take the lock of DEVICE in DIR as the unprivileged user `nobody`, in a child
// (the caller is root). The child's exit status: 0 when the attempt gave EXPECTED and left the
// lock not held, 1 when it did not, 255 when the child could not become that user.
static int AcquireAsNobody(const std::string& dir, const std::string& device, DWORD expected)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const gid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0
            || ::setresuid(nobody, nobody, nobody) != 0)
            ::_exit(255);
        TPortLock lock;
        ::_exit(lock.Acquire(dir, device) == expected && !lock.Held() ? 0 : 1);
    }
    return fk::test::WaitChild(child, 10000);
}

TEST(PortLock, AStaleLockOfAnotherUserIsNotTakenOver)
{
    TempDir dir;
    const std::string device = "/dev/ttyFK7";
    const std::string file = TPortLock::LockFilePath(dir.Path(), device);
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const std::string text = std::to_string(ended) + "\n";
    const int fd = ::open(file.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()), ssize_t(text.size()));
    ::close(fd);

    // A shared lock folder (sticky, writable by all) with another user's file in it: root
    // tries as an unprivileged user in a child, anyone else in a folder made read-only.
    DWORD result = 0;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(dir.Path().c_str(), 01777), 0);
        const int status = AcquireAsNobody(dir.Path(), device, ERROR_PORT_STALE_LOCK);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 255) << "could not become another user";
        result = WEXITSTATUS(status) == 0 ? ERROR_PORT_STALE_LOCK : ERROR_ACCESS_DENIED;
    } else {
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
        TPortLock lock;
        result = lock.Acquire(dir.Path(), device);
        EXPECT_FALSE(lock.Held());
        ::chmod(dir.Path().c_str(), 0755);
    }
    EXPECT_EQ(result, ERROR_PORT_STALE_LOCK);
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0); // left where it was

    // Removable (our own folder): taken over as before.
    TPortLock lock;
    EXPECT_EQ(lock.Acquire(dir.Path(), device), ERROR_SUCCESS);
    EXPECT_TRUE(lock.Held());
}

// A lock whose process runs as another user cannot be signalled (EPERM) but is alive: the port
// stays theirs and their file stays where it is. Root looks as an unprivileged user at its own
// process; anyone else at process 1 when that is another user's.
TEST(PortLock, ALockOfAnotherUsersRunningProgramIsHonoured)
{
    TempDir dir;
    const std::string device = "/dev/ttyFK8";
    const std::string file = TPortLock::LockFilePath(dir.Path(), device);
    const bool root = ::geteuid() == 0;
    struct stat init {};
    if (!root && (::stat("/proc/1", &init) != 0 || init.st_uid == ::geteuid()))
        GTEST_SKIP() << "no process of another user to name";
    const std::string text = std::to_string(root ? ::getpid() : 1) + "\n";
    const int fd = ::open(file.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()), ssize_t(text.size()));
    ::close(fd);

    if (root) {
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0); // removable by the other user
        const int status = AcquireAsNobody(dir.Path(), device, ERROR_ACCESS_DENIED);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 255) << "could not become another user";
        EXPECT_EQ(WEXITSTATUS(status), 0);
    } else {
        TPortLock lock;
        EXPECT_EQ(lock.Acquire(dir.Path(), device), DWORD(ERROR_ACCESS_DENIED));
        EXPECT_FALSE(lock.Held());
    }
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0);
}

TEST_F(SerialPortTest, WritesAreReportedWithTheCallersBuffer)
{
    Recorder rec(port);
    ASSERT_TRUE(port->Open(pty.Path()));
    // Synchronous: complete when the call returns.
    const std::string packet(266, 'p');
    EXPECT_EQ(port->Write(packet.data(), u32(packet.size()), nullptr), 266u);
    EXPECT_EQ(GetLastError(), 0u);
    ASSERT_EQ(rec.writes.size(), 1u);
    EXPECT_EQ(rec.writes[0].buffer, packet.data());
    EXPECT_EQ(rec.writes[0].transferred, 266u);
    EXPECT_EQ(pty.Receive(266), packet);

    // Invalid arguments.
    EXPECT_EQ(port->Write(nullptr, 3, nullptr), 0u);
    EXPECT_EQ(GetLastError(), 87u);
    EXPECT_EQ(port->Write(packet.data(), 0, nullptr), 0u);
    EXPECT_EQ(GetLastError(), 87u);
    EXPECT_EQ(rec.writes.size(), 1u);

    // Asynchronous: 0 with 997, the count arrives later; a second write reports the first.
    port->SetSynchronous(2, false);
    rec.Clear();
    const std::string a = "first", b = "second";
    EXPECT_EQ(port->Write(a.data(), u32(a.size()), nullptr), 0u);
    EXPECT_EQ(GetLastError(), 997u);
    EXPECT_EQ(port->Write(b.data(), u32(b.size()), nullptr), 0u);
    EXPECT_EQ(GetLastError(), 997u);
    ASSERT_EQ(rec.writes.size(), 1u); // the first, reported by the second call
    EXPECT_EQ(rec.writes[0].buffer, a.data());
    EXPECT_EQ(rec.writes[0].transferred, 5u);
    ASSERT_TRUE(RunEventLoopUntil([&] { return rec.writes.size() == 2; }));
    EXPECT_EQ(rec.writes[1].buffer, b.data());
    EXPECT_EQ(rec.writes[1].transferred, 6u);
    EXPECT_EQ(rec.writes[1].result, 0u);
    EXPECT_EQ(pty.Receive(11), "firstsecond");
    EXPECT_FALSE(port->GetWritePending());

    // A write larger than the terminal buffers is finished by the I/O thread as the
    // device takes the bytes.
    rec.Clear();
    std::string big(300000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char('a' + i % 26);
    EXPECT_EQ(port->Write(big.data(), u32(big.size()), nullptr), 0u);
    EXPECT_TRUE(port->GetWritePending());
    std::string got;
    std::thread reader([&] { got = pty.Receive(big.size(), 20000); });
    ASSERT_TRUE(RunEventLoopUntil([&] { return rec.writes.size() == 1; }, 20000));
    reader.join();
    EXPECT_EQ(rec.writes[0].transferred, big.size());
    EXPECT_EQ(rec.writes[0].buffer, big.data());
    EXPECT_TRUE(got == big);
}

TEST_F(SerialPortTest, ReadExistingAndAutoRead)
{
    Recorder rec(port);
    ASSERT_TRUE(port->Open(pty.Path()));
    RawByteString text = "old";
    EXPECT_EQ(port->ReadExisting(text, true, nullptr), 3u); // nothing waiting: old length
    EXPECT_EQ(text, "old");
    EXPECT_EQ(port->ReadExisting(text, false, nullptr), 0u);
    EXPECT_EQ(text, "old");

    pty.Send("hello");
    ASSERT_TRUE(RunEventLoopUntil([&] { return rec.Has("rx"); }));
    EXPECT_EQ(port->Status().InQueue, 5u);
    EXPECT_EQ(port->ReadExisting(text, true, nullptr), 8u);
    EXPECT_EQ(text, "oldhello");
    EXPECT_EQ(rec.read, "hello"); // each read is also an OnRead

    // Unread bytes raise one event, not a stream of them; new bytes raise the next.
    rec.Clear();
    pty.Send("ab");
    ASSERT_TRUE(RunEventLoopUntil([&] { return rec.Has("rx"); }));
    RunEventLoopUntil([] { return false; }, 100);
    int rx = 0;
    for (auto& e : rec.Entries())
        rx += e == "rx";
    EXPECT_EQ(rx, 1);

    port->SetAutoRead(true);
    rec.Clear();
    pty.Send("cd");
    ASSERT_TRUE(RunEventLoopUntil([&] { return rec.read == "abcd"; }));
    EXPECT_EQ(std::string(port->ReadBuffer().begin(), port->ReadBuffer().end()), "abcd");
    ASSERT_TRUE(RunEventLoopUntil([&] { return port->RxSpeed() == 0 && rec.Has("rx"); }));
}

TEST_F(SerialPortTest, AnUnpluggedDeviceRaisesModemLostAndStaysOpenUntilClosed)
{
    Recorder rec(port);
    ASSERT_TRUE(port->Open(pty.Path()));
    pty.CloseMaster();
    ASSERT_TRUE(RunEventLoopUntil([&] { return rec.Has("lost:1167"); }));
    EXPECT_EQ(port->State(), cStateOpen);
    const char x = 'x';
    EXPECT_EQ(port->Write(&x, 1, nullptr), 0u);
    EXPECT_EQ(GetLastError(), 1167u);
    rec.Clear();
    EXPECT_TRUE(port->Close());
    EXPECT_EQ(rec.Lifecycle(), (Strings{"closing:1167:0", "closed:0:0"}));
}

TEST_F(SerialPortTest, ClosingWhileStillOpening)
{
    Recorder rec(port);
    port->SetSynchronous(0, false);
    ASSERT_TRUE(port->Open(pty.Path() + "-missing"));
    RunEventLoopUntil([] { return false; }, 50);
    EXPECT_TRUE(port->Close());
    EXPECT_EQ(rec.Lifecycle(), (Strings{"opening:0", "open:995", "closing:995:0", "closed:0:0"}));
    RunEventLoopUntil([] { return false; }, 50);
    EXPECT_EQ(rec.Lifecycle().size(), 4u); // the thread's own notifications go nowhere
}

TEST_F(SerialPortTest, ReopenWithABackgroundCloseWaitsForTheDevice)
{
    Recorder rec(port);
    port->SetSynchronous(1, false);
    ASSERT_TRUE(port->Open(pty.Path()));
    rec.Clear();
    EXPECT_TRUE(port->ReOpen());
    Strings life = rec.Lifecycle();
    ASSERT_GE(life.size(), 2u);
    EXPECT_EQ(life[0], "closing:0:1");
    EXPECT_EQ(life[1], "closed:21:1");
    EXPECT_TRUE(port->IsValid());
    EXPECT_FALSE(port->Close()); // goes on in the background
    EXPECT_EQ(GetLastError(), 21u);
}

TEST_F(SerialPortTest, ReopenFromInsideAnEvent)
{
    Recorder rec(port);
    port->SetSynchronous(0, false);
    int reopened = 0;
    port->EventList.OnOpened.Add(TCommOpenEvent::Bind(&reopened, [&](TObject*, const String&, u32) {
        if (reopened++ == 0)
            port->ReOpen();
    }));
    ASSERT_TRUE(port->Open(pty.Path()));
    ASSERT_TRUE(RunEventLoopUntil([&] { return reopened == 2; }));
    EXPECT_TRUE(port->IsValid());
    const Strings life = rec.Lifecycle();
    EXPECT_EQ(life, (Strings{"opening:0", "open:0", "opened:0", "closing:0:1", "closed:0:1", "opening:0",
                             "open:0", "opened:0"}));
    port.reset();
}

TEST_F(SerialPortTest, ThreadedEventsRunOnTheIOThreadAndMayCloseThePort)
{
    Recorder rec(port);
    port->SetThreadedEvent(true);
    std::atomic<bool> closed{false};
    std::atomic<int> closeResult{-1};
    port->EventList.OnEvent.Add(TCommEventEvent::Bind(&closed, [&](TObject*, TCommEventFlags e, u32,
                                                                   const TCommStatus&, TCommErrorFlags) {
        if ((e & CommEventBit(cEvRxReceive)) && !closed.exchange(true))
            closeResult = port->Close() ? 0 : int(GetLastError());
    }));
    ASSERT_TRUE(port->Open(pty.Path()));
    pty.Send("z");
    ASSERT_TRUE(RunEventLoopUntil([&] { return closeResult.load() != -1; }));
    EXPECT_GT(rec.offMain.load(), 0);
    EXPECT_EQ(closeResult.load(), 21); // released in the background
    EXPECT_TRUE(rec.Has("closed:21:0"));
    EXPECT_FALSE(port->IsValid());
    // The port opens again once the old thread has let the device go.
    port->SetThreadedEvent(false);
    EXPECT_TRUE(port->Open(pty.Path()));
    port.reset();
}

TEST_F(SerialPortTest, CloseFromAnEventOnTheMainThreadGoesOnInTheBackground)
{
    Recorder rec(port);
    port->EventList.OnEvent.Add(TCommEventEvent::Bind(port.get(), [&](TObject*, TCommEventFlags e, u32,
                                                                      const TCommStatus&, TCommErrorFlags) {
        if (e & CommEventBit(cEvRxReceive))
            port->Close();
    }));
    ASSERT_TRUE(port->Open(pty.Path()));
    pty.Send("q");
    ASSERT_TRUE(RunEventLoopUntil([&] { return rec.Has("closed:21:0"); }));
    EXPECT_EQ(rec.offMain.load(), 0);
    port.reset(); // waits for the background close; nothing may reach the freed port
}

TEST_F(SerialPortTest, AStatusHandlerMayCloseThePortInsideASynchronousTransfer)
{
    // The port's synchronous close frees the I/O thread, and with it the transfer record,
    // while Write or Read is still on the stack: the call must return what was moved.
    bool armed = false, closedInside = false;
    std::function<bool(const TCommStatus&)> closeWhen;
    port->OnStatusUpdate = TCommStatusEvent::Bind(&armed, [&](TObject*, const TCommStatus& status, TCommErrorFlags) {
        if (armed && !closedInside && closeWhen(status)) {
            closedInside = true;
            EXPECT_TRUE(port->Close());
        }
    });
    ASSERT_TRUE(port->SynchronousClose());

    // Write: close once the bytes have reached the device (the first status comes before
    // they are handed over).
    ASSERT_TRUE(port->Open(pty.Path()));
    closeWhen = [&, seen = 0](const TCommStatus&) mutable {
        if (seen++ == 0)
            return false;
        pollfd p{pty.Master(), POLLIN, 0};
        return ::poll(&p, 1, 1000) == 1;
    };
    armed = true;
    const std::string text = "hello";
    EXPECT_EQ(port->Write(text.data(), u32(text.size()), nullptr), 5u);
    EXPECT_EQ(GetLastError(), 0u);
    armed = false;
    EXPECT_TRUE(closedInside);
    EXPECT_EQ(port->State(), cStateClosed);
    EXPECT_EQ(pty.Receive(5), text);

    // Read: close once the waiting bytes have been taken.
    closedInside = false;
    ASSERT_TRUE(port->Open(pty.Path()));
    bool received = false;
    port->OnEvent = TCommEventEvent::Bind(&received, [&](TObject*, TCommEventFlags e, u32, const TCommStatus&,
                                                         TCommErrorFlags) {
        received = received || (e & CommEventBit(cEvRxReceive));
    });
    pty.Send("abc");
    ASSERT_TRUE(RunEventLoopUntil([&] { return received; }));
    closeWhen = [](const TCommStatus& status) { return status.InQueue == 0; };
    armed = true;
    char buffer[3] = {};
    EXPECT_EQ(port->Read(buffer, 3, nullptr), 3u);
    EXPECT_EQ(GetLastError(), 0u);
    armed = false;
    EXPECT_TRUE(closedInside);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(port->State(), cStateClosed);
    port->OnStatusUpdate = nullptr;
    port->OnEvent = nullptr;
}

TEST_F(SerialPortTest, LineSettingsReachTheTerminal)
{
    ASSERT_TRUE(port->Open(pty.Path(), 115200, sParityNone, 8, sStopBits2));
    termios2 t {};
    ASSERT_EQ(::ioctl(port->GetCommHandle(), TCGETS2, &t), 0);
    EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t(B115200));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_lflag & ICANON);
    EXPECT_FALSE(t.c_lflag & ECHO);

    EXPECT_TRUE(port->SetFlowControl(cFlowXonXoff));
    port->SetBaudRate(250000);
    ASSERT_EQ(::ioctl(port->GetCommHandle(), TCGETS2, &t), 0);
    EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t(BOTHER));
    EXPECT_EQ(t.c_ospeed, 250000u);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
    EXPECT_TRUE(port->SetFlowControl(cFlowHardware));
    ASSERT_EQ(::ioctl(port->GetCommHandle(), TCGETS2, &t), 0);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & IXON);

    // A state no device can take is refused with 87 and leaves the terminal as it was.
    TCommState bad = port->GetState();
    bad.DataBits = 9;
    port->SetState(bad);
    EXPECT_FALSE(port->UpdateState());
    EXPECT_EQ(GetLastError(), 87u);

    // Pseudo-terminals have no modem lines: that is not a lost device.
    TCommModemStatus lines = 0xFF;
    EXPECT_TRUE(port->GetModemStatus(&lines));
    EXPECT_EQ(lines, 0u);
}

namespace {

std::vector<int> OpenDescriptors()
{
    std::vector<int> fds;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return fds;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.')
            fds.push_back(std::atoi(entry->d_name));
    const int own = ::dirfd(dir);
    ::closedir(dir);
    std::erase(fds, own);
    return fds;
}

} // namespace

TEST_F(SerialPortTest, NoDescriptorOfThePortsIsInheritedByStartedPrograms)
{
    // Programs started from here (a help viewer, a browser) must not inherit what the ports
    // hold: every descriptor they open is close-on-exec.
    const std::vector<int> before = OpenDescriptors();
    auto timer = Make<TPrecTimer>(false); // with its waiter
    timer->Interval = 1000;
    timer->SetEnabled(true);
    auto monitor = Make<TPortMonitor>();
    const bool monitoring = monitor->Open(); // a netlink socket, when the system allows one
    ASSERT_TRUE(port->Open(pty.Path()));     // device, wake-up, epoll and speed timer copies
    port->SetSynchronous(2, false);
    const char x = 'x';
    port->Write(&x, 1, nullptr);

    std::vector<std::string> inherited;
    int added = 0;
    for (const int fd : OpenDescriptors()) {
        if (std::find(before.begin(), before.end(), fd) != before.end())
            continue;
        ++added;
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) {
            char target[256] = {};
            [[maybe_unused]] auto n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target,
                                                 sizeof target - 1);
            inherited.push_back(std::to_string(fd) + " -> " + target);
        }
    }
    EXPECT_GE(added, 6 + (monitoring ? 1 : 0));
    EXPECT_EQ(inherited, Strings{});
}

TEST(SerialPortNames, PortNamesAndDevicePaths)
{
    auto port = Make<TSerialPort>();
    port->SetPortName("/dev/ttyUSB0");
    EXPECT_EQ(port->PortName(), "ttyUSB0");
    EXPECT_EQ(port->FileName(), "/dev/ttyUSB0");
    port->SetPortName("ttyS1");
    EXPECT_EQ(port->FileName(), "/dev/ttyS1");
    port->SetPortName("");
    EXPECT_EQ(port->FileName(), "");
    port->SetFileName("/dev/pts/7");
    EXPECT_EQ(port->PortName(), "7");
    EXPECT_EQ(port->FileName(), "/dev/pts/7");
    EXPECT_EQ(TSerialPort::DevicePath("/dev/serial/by-id/usb-x"), "/dev/serial/by-id/usb-x");
    EXPECT_EQ(TPortLock::LockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
    EXPECT_EQ(TPortLock::LockFileName("/dev/pts/3"), "LCK..pts_3");

    // Closed: every operation fails with 6.
    char b[4];
    EXPECT_EQ(port->Read(b, 4, nullptr), 0u);
    EXPECT_EQ(GetLastError(), 6u);
    EXPECT_FALSE(port->UpdateTimeOuts());
    EXPECT_EQ(GetLastError(), 6u);
    const std::function<bool()> operations[] = {
        [&] { return port->SetBreak(true); },         [&] { return port->Purge(PURGE_RXCLEAR); },
        [&] { return port->GetModemStatus(nullptr); }, [&] { return port->ClearError(nullptr, nullptr); },
        [&] { return port->UpdateState(); },           [&] { return port->Close(); },
    };
    for (const auto& operation : operations) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(operation());
        EXPECT_EQ(GetLastError(), 6u);
    }
    // A query answers without touching the last error.
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(port->IsValid());
    EXPECT_EQ(port->GetCommHandle(), -1);
    EXPECT_FALSE(port->GetReadPending());
    EXPECT_FALSE(port->GetWritePending());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
}

// The program ends through exit() while the I/O thread waits for the main thread to take an
// event it hands over: nothing at exit waits for that thread, so the process ends.
TEST_F(SerialPortTest, ExitWhileTheIoThreadHandsAnEventOverEndsTheProcess)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!port->Open(pty.Path()))
            ::_exit(2);
        const char byte = 'x';
        if (::write(pty.Master(), &byte, 1) != 1)
            ::_exit(3);
        // The main thread never runs the queue here: the I/O thread stays in its hand-over.
        for (int i = 0; i < 1000 && TMainThreadQueue::Instance().Queued() == 0; ++i)
            ::poll(nullptr, 0, 10);
        if (TMainThreadQueue::Instance().Queued() == 0)
            ::_exit(4);
        std::exit(7);
    }
    const int status = fk::test::WaitChild(child, 30000);
    ASSERT_NE(status, -1) << "the process hung in exit()";
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

// While the main thread waits for a port's lock it runs the hand-overs of every worker thread
// (the lock's holder may be waiting for one of them). A handler run that way may close the
// port, or close it and open another device: the port call that was waiting then acts on the
// port as the handler left it, and never on the device it had closed.
TEST_F(SerialPortTest, AHandlerRunInsideTheLockWaitCannotLeadTheWaitingCallToTheClosedDevice)
{
    Pty other;
    ASSERT_FALSE(other.Path().empty());
    std::mutex m;
    std::condition_variable cv;
    bool holding = false, released = false;
    std::atomic<bool> inWrite{false}, ranInWrite{false};
    port->OnEvent = TCommEventEvent::Bind(&m, [&](TObject*, TCommEventFlags e, u32, const TCommStatus&, TCommErrorFlags) {
        if (!(e & CommEventBit(cEvRxReceive)))
            return;
        std::unique_lock lock(m);
        if (holding)
            return;
        holding = true;
        cv.notify_all();
        // The I/O thread holds the port's lock in here until the other worker's call has run.
        cv.wait_for(lock, std::chrono::seconds(8), [&] { return released; });
    });
    for (const bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "closed and opened on another device" : "closed");
        holding = released = false;
        ranInWrite = false;
        port->SetThreadedEvent(true);
        ASSERT_TRUE(port->Open(pty.Path()));
        std::thread worker([&] {
            {
                std::unique_lock lock(m);
                if (!cv.wait_for(lock, std::chrono::seconds(8), [&] { return holding; }))
                    return;
            }
            TThread::Synchronize([&] {
                ranInWrite = inWrite.load();
                {
                    std::lock_guard lock(m);
                    released = true;
                }
                cv.notify_all();
                port->Close();
                if (reopen) {
                    port->SetThreadedEvent(false);
                    port->Open(other.Path());
                }
            });
        });
        pty.Send("z");
        bool held = false;
        {
            std::unique_lock lock(m);
            held = cv.wait_for(lock, std::chrono::seconds(8), [&] { return holding; });
        }
        u32 written = 0;
        DWORD error = 0;
        if (held) {
            inWrite = true;
            written = port->Write("x", 1, nullptr);
            error = GetLastError();
            inWrite = false;
        }
        worker.join();
        EXPECT_TRUE(held);
        EXPECT_TRUE(ranInWrite.load()); // the other worker's call ran inside Write's wait
        EXPECT_EQ(pty.Receive(1, 300), ""); // the closed device got nothing
        if (reopen) {
            EXPECT_EQ(written, 1u);
            EXPECT_EQ(other.Receive(1), "x");
        } else {
            EXPECT_EQ(written, 0u);
            EXPECT_EQ(error, DWORD(ERROR_INVALID_HANDLE));
        }
        port->Close();
    }
    port->OnEvent = nullptr;
}
