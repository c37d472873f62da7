// Two listeners for modules on one UDP port: the second is refused and told who holds it.
#include "ModuleTestUtil.h"
#include "module/UDPServer.h"
#include "platform/LastError.h"
#include "support/SingleInstance.h"

#include "sim/SimLog.h"
#include "sim/SimModule.h"

#include <QTemporaryDir>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fk::test {
namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(UDPPortLockTest, SecondListenerOnAPortFailsNamingThePortAndItsHolderUntilTheFirstGoes)
{
    const u16 port = FreePort();
    const std::string lockFile = SingleInstance::RuntimeFolder() + "/" + TUDPPortLock::FileName(port);
    ASSERT_FALSE(SingleInstance::RuntimeFolder().empty());
    auto first = Make<TUDPServer>();
    auto second = Make<TUDPServer>();
    first->SetDefaultPort(port);
    second->SetDefaultPort(port);
    ASSERT_TRUE(first->SetActive(true));
    EXPECT_EQ(ReadFile(lockFile), std::to_string(::getpid()) + " " + program_invocation_short_name + "\n");

    EXPECT_FALSE(second->SetActive(true));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(second->Active());
    EXPECT_EQ(second->ActivationError(), "UDP port " + std::to_string(port) + " is in use by "
                                             + program_invocation_short_name + " (process "
                                             + std::to_string(::getpid()) + ")");

    // A listener on one address does not take every address's port, and is not refused.
    auto single = Make<TUDPServer>();
    single->SetBindAddress("127.0.0.5");
    single->SetDefaultPort(port);
    EXPECT_TRUE(single->SetActive(true));

    // The port moves on with a refused listener that is still asked to listen.
    const u16 other = FreePort();
    EXPECT_TRUE(second->SetDefaultPort(other));
    EXPECT_TRUE(second->Active());
    EXPECT_TRUE(second->ActivationError().empty());
    second->SetDefaultPort(port);
    EXPECT_FALSE(second->Active());

    first->SetActive(false);
    EXPECT_FALSE(std::ifstream(lockFile).good()); // let go and removed
    ASSERT_TRUE(second->SetActive(true));
    EXPECT_TRUE(second->ActivationError().empty());
    // The holder's lock file goes with it, however it goes.
    second.reset();
    EXPECT_TRUE(first->SetActive(true));
}

// Binds a UDP socket as another user would, asking for every kind of port sharing; the exit
// code tells the outcome: 0 bound, 1 refused as in use, 2 could not become that user.
int BindAsAnotherUser(const char* address, u16 port)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
        sockaddr_in a = Loopback(address, port);
        ::_exit(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : errno == EADDRINUSE ? 1 : 3);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(UDPPortLockTest, AnotherUsersProgramCannotTakeTheListenersPortWhileModulesOnLoopbackCan)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "becoming another user needs root";
    const u16 port = FreePort();
    auto listener = Make<TUDPServer>();
    listener->SetDefaultPort(port);
    ASSERT_TRUE(listener->SetActive(true));
    EXPECT_EQ(BindAsAnotherUser("0.0.0.0", port), 1);
    EXPECT_EQ(BindAsAnotherUser("127.0.0.1", port), 1);
    // A simulated module of this user binds its own address of the port beside the listener.
    {
        TSimLog log;
        TSimModuleOptions options;
        options.Address = "127.0.0.7";
        options.UDPPort = port;
        options.TCPPort = FreePort();
        TSimModule module(options, log);
        EXPECT_TRUE(module.Open()) << ErrorText(GetLastError());
    }
    // Another user's program that was there first is named as such.
    listener->SetActive(false);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = Loopback("0.0.0.0", port);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            ::_exit(3);
        (void)!::write(ready[1], "r", 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char c = 0;
    const bool bound = ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    EXPECT_TRUE(bound);
    EXPECT_FALSE(listener->SetActive(true));
    EXPECT_EQ(listener->ActivationError(), "UDP port " + std::to_string(port) + " is in use by "
                                               + program_invocation_short_name + " (process "
                                               + std::to_string(holder) + ")"); // root sees who
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
}

TEST(UDPPortLockTest, ASecondListenerLookingInAnotherRuntimeFolderIsStillRefused)
{
    const u16 port = FreePort();
    auto first = Make<TUDPServer>();
    first->SetDefaultPort(port);
    ASSERT_TRUE(first->SetActive(true));
    QTemporaryDir other;
    const QByteArray old = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", other.path().toUtf8());
    auto second = Make<TUDPServer>();
    second->SetDefaultPort(port);
    EXPECT_FALSE(second->SetActive(true));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(second->ActivationError(), "UDP port " + std::to_string(port) + " is in use by "
                                             + program_invocation_short_name + " (process "
                                             + std::to_string(::getpid()) + ")");
    if (old.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", old);
}

} // namespace
} // namespace fk::test
