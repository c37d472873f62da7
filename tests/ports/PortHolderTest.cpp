// Who holds a busy port: a real second process on a pseudo-terminal, and a /proc of the test's
// own for the holders known by name and for a holder that cannot be seen.
#include "PortHoldingProcess.h"
#include "ports/PortHolder.h"
#include "ports/PortLock.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

namespace fk::test {
namespace {

struct PseudoTerminal {
    PseudoTerminal()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = ::ptsname(master);
    }
    ~PseudoTerminal()
    {
        if (master >= 0)
            ::close(master);
    }
    int master = -1;
    std::string slave;
};

// A /proc of the test's own: processes with a command name and descriptors linking to paths.
class FakeProc {
public:
    FakeProc() { ::chmod(Root().c_str(), 0755); }
    std::string Root() const { return dir_.path().toStdString(); }
    void Process(int pid, const std::string& name, const std::vector<std::string>& open)
    {
        const std::string p = Root() + "/" + std::to_string(pid);
        ::mkdir(p.c_str(), 0755);
        ::mkdir((p + "/fd").c_str(), 0755);
        std::ofstream(p + "/comm") << name << "\n";
        int fd = 0;
        for (const std::string& target : open)
            EXPECT_EQ(::symlink(target.c_str(), (p + "/fd/" + std::to_string(fd++)).c_str()), 0);
    }

private:
    QTemporaryDir dir_;
};

TEST(PortHolderTest, ARealProcessHoldingAPseudoTerminalIsNamed)
{
    PseudoTerminal pty;
    ASSERT_FALSE(pty.slave.empty());
    {
        PortHoldingProcess holder(pty.slave, "lockholder");
        ASSERT_TRUE(holder.Held());
        const TPortHolderReport report = TPortHolder::Find(pty.slave);
        EXPECT_EQ(report.Culprit, pcProcess);
        EXPECT_EQ(report.Pid, holder.Pid());
        EXPECT_EQ(report.Name, "lockholder");
    }
    {
        PortHoldingProcess mm(pty.slave, "ModemManager");
        ASSERT_TRUE(mm.Held());
        const TPortHolderReport report = TPortHolder::Find(pty.slave);
        EXPECT_EQ(report.Culprit, pcModemManager);
        EXPECT_EQ(report.Pid, mm.Pid());
    }
    EXPECT_EQ(TPortHolder::Find(pty.slave).Culprit, pcNone); // let go
}

TEST(PortHolderTest, KnownHoldersAreToldApartInAFakeProc)
{
    FakeProc proc;
    proc.Process(100, "bash", {"/dev/pts/3", "/dev/null"});
    proc.Process(200, "brltty", {"/dev/null", "/dev/ttyUSB0"});
    proc.Process(300, "ModemManager", {"/dev/ttyACM0"});
    proc.Process(301, "minicom", {"/dev/ttyACM0"});
    proc.Process(400, "ferrovan-kest", {"/dev/ttyS4"});
    proc.Process(500, "ferrovan", {"socket:[77]", "/dev/ttyS5"});
    proc.Process(600, "picocom", {"/dev/ttyS6"});
    const auto find = [&](const char* dev) { return TPortHolder::Find(dev, proc.Root()); };
    EXPECT_EQ(find("/dev/ttyUSB0").Culprit, pcBrltty);
    EXPECT_EQ(find("/dev/ttyUSB0").Pid, 200);
    EXPECT_EQ(find("/dev/ttyACM0").Culprit, pcModemManager); // before the other holder
    EXPECT_EQ(find("/dev/ttyS4").Culprit, pcConfigurator);
    EXPECT_EQ(find("/dev/ttyS5").Culprit, pcTool);
    const TPortHolderReport pico = find("/dev/ttyS6");
    EXPECT_EQ(pico.Culprit, pcProcess);
    EXPECT_EQ(pico.Name, "picocom");
    EXPECT_EQ(find("/dev/ttyS7").Culprit, pcNone);

    // A lock file names a running holder whose descriptors are not seen.
    QTemporaryDir locks;
    proc.Process(700, "cu", {});
    ::rmdir((proc.Root() + "/700/fd").c_str());
    std::ofstream(TPortLock::LockFilePath(locks.path().toStdString(), "/dev/ttyS7")) << "       700\n";
    const TPortHolderReport cu = TPortHolder::Find("/dev/ttyS7", proc.Root(), locks.path().toStdString());
    EXPECT_EQ(cu.Pid, 700);
    EXPECT_EQ(cu.Name, "cu");
}

// /proc/locks names the lock holder whoever it runs as: it comes first, the other openers after
// it. A lock file whose process runs but does not hold the port (its id was reused) names nobody.
TEST(PortHolderTest, TheLockHolderComesFirstAndAReusedLockFileIdNamesNobody)
{
    FakeProc proc;
    QTemporaryDir dir;
    const std::string device = dir.filePath(QStringLiteral("ttyUSB0")).toStdString();
    std::ofstream(device) << "";
    struct stat st {};
    ASSERT_EQ(::stat(device.c_str(), &st), 0);
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    proc.Process(100, "simulator", {device});
    proc.Process(150, "cat", {device});
    proc.Process(900, "rootdaemon", {});
    ::rmdir((proc.Root() + "/900/fd").c_str()); // root's descriptors: not seen
    std::ofstream(proc.Root() + "/locks") << "1: POSIX  ADVISORY  WRITE 42 00:01:1 0 EOF\n"
                                          << "2: FLOCK  ADVISORY  WRITE 900 " << id << " 0 EOF\n"
                                          << "2: -> FLOCK  ADVISORY  WRITE 150 " << id << " 0 EOF\n";
    const TPortHolderReport report = TPortHolder::Find(device, proc.Root());
    EXPECT_EQ(report.Pid, 900);
    EXPECT_EQ(report.Name, "rootdaemon");
    ASSERT_EQ(report.Others.size(), 2u);
    EXPECT_EQ(report.Others[0].Pid, 100);
    EXPECT_EQ(report.Others[1].Name, "cat");

    // The lock file's process 700 runs, but neither has the port open nor locks it.
    FakeProc bare;
    bare.Process(700, "bash", {"/dev/pts/1"});
    QTemporaryDir locks;
    std::ofstream(TPortLock::LockFilePath(locks.path().toStdString(), device)) << "       700\n";
    EXPECT_EQ(TPortHolder::Find(device, bare.Root(), locks.path().toStdString()).Culprit, pcNone);
}

// On the machine itself: a lock file naming a running process that does not hold the device
// is taken over; one naming the process that holds it keeps the port busy.
TEST(PortHolderTest, ALockFileOfARunningProcessThatHoldsNothingIsStale)
{
    PseudoTerminal pty;
    ASSERT_FALSE(pty.slave.empty());
    QTemporaryDir locks;
    const std::string lockFile = TPortLock::LockFilePath(locks.path().toStdString(), pty.slave);
    const pid_t idle = ::fork();
    if (idle == 0) {
        for (;;)
            ::pause();
    }
    std::ofstream(lockFile) << "      " << idle << "\n";
    {
        TPortLock lock;
        EXPECT_EQ(lock.Acquire(locks.path().toStdString(), pty.slave), DWORD(ERROR_SUCCESS));
        EXPECT_TRUE(lock.Held());
    }
    ::kill(idle, SIGKILL);
    ::waitpid(idle, nullptr, 0);
    PortHoldingProcess holder(pty.slave, "minicom");
    ASSERT_TRUE(holder.Held());
    std::ofstream(lockFile) << "      " << holder.Pid() << "\n";
    TPortLock lock;
    EXPECT_EQ(lock.Acquire(locks.path().toStdString(), pty.slave), DWORD(ERROR_ACCESS_DENIED));
}

TEST(PortHolderTest, AHolderThatCannotBeSeenIsAnotherUsersProgram)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "becoming another user needs root";
    FakeProc proc;
    proc.Process(100, "bash", {"/dev/pts/3"});
    proc.Process(200, "secret", {"/dev/ttyUSB0"});
    ::chmod((proc.Root() + "/200/fd").c_str(), 0700); // root's, like another user's process
    // Looked for as an ordinary user, who may not read that process's descriptors.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(9);
        ::_exit(TPortHolder::Find("/dev/ttyUSB0", proc.Root()).Culprit);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), pcOtherUser);

    // ModemManager runs (as root, its descriptors not seen): the likely holder, with its advice.
    proc.Process(300, "ModemManager", {});
    ::chmod((proc.Root() + "/300/fd").c_str(), 0700);
    const pid_t again = ::fork();
    if (again == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(99);
        const TPortHolderReport r = TPortHolder::Find("/dev/ttyUSB0", proc.Root());
        ::_exit(r.Culprit == pcLikelyModemManager && r.Pid == 300 ? 0 : 1);
    }
    ::waitpid(again, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
} // namespace fk::test
