#include "platform/LastError.h"
#include "support/SingleInstance.h"

#include <QTemporaryDir>
#include <csignal>
#include <chrono>
#include <cstddef>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fk {
namespace {

namespace si = SingleInstance;

// Every test gets its own runtime folder, so nothing of the user's running programs is touched.
class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        old_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", dir_.path().toUtf8());
    }
    void TearDown() override
    {
        si::SetState(false, name_);
        si::SetShowHandler({});
        qputenv("XDG_RUNTIME_DIR", old_);
        for (pid_t pid : children_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    // A second process that holds the guard. serve: it answers requests (as a running first
    // instance does); otherwise it holds the lock and a socket that never answers (a hung one).
    // It reports readiness through a pipe and exits when told (or when killed).
    pid_t FirstInstance(bool serve)
    {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            int shown = 0;
            si::SetShowHandler([&shown] { ++shown; });
            if (!si::SetState(true, name_))
                ::_exit(3);
            if (!serve) {
                // Hung: the socket accepts connections into its backlog but nobody answers.
                (void)!::write(ready[1], "r", 1);
                for (;;)
                    ::pause();
            }
            (void)!::write(ready[1], "r", 1);
            for (;;) {
                pollfd p{ si::ListenHandle(), POLLIN, 0 };
                if (::poll(&p, 1, 5000) <= 0)
                    ::_exit(4);
                si::WndProc();
                if (shown)
                    ::_exit(10 + shown); // tells the test the show request arrived
            }
        }
        ::close(ready[1]);
        char c = 0;
        EXPECT_EQ(::read(ready[0], &c, 1), 1);
        ::close(ready[0]);
        children_.push_back(pid);
        return pid;
    }

    int ExitCode(pid_t pid)
    {
        int status = 0;
        ::waitpid(pid, &status, 0);
        std::erase(children_, pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    QTemporaryDir dir_;
    QByteArray old_;
    String name_ = "{C231D6E0-AD2B-4F08-ADA5-D3FC27275460}-NORDVEL-\"ferrovan-kest-v0.1.0\"";
    std::vector<pid_t> children_;
};

} // namespace

TEST_F(SingleInstanceTest, GuardGoesOnOnceAndOffAlways)
{
    EXPECT_TRUE(si::SetState(false, name_)); // off when never on
    EXPECT_FALSE(si::GetState());
    EXPECT_TRUE(si::SetState(true, name_));
    const int listen = si::ListenHandle();
    EXPECT_TRUE(si::SetState(true, name_)); // twice keeps the first
    EXPECT_EQ(si::ListenHandle(), listen);
    EXPECT_TRUE(si::GetState());
    EXPECT_TRUE(si::InstanceExists(name_)); // the lock is seen as held, even from this process
    EXPECT_FALSE(si::InstanceExists(name_ + "-other"));
    EXPECT_TRUE(si::SetState(false, name_));
    EXPECT_FALSE(si::InstanceExists(name_));
    EXPECT_EQ(si::ListenHandle(), -1);
}

TEST_F(SingleInstanceTest, SecondStartFindsAndRaisesTheFirst)
{
    const pid_t first = FirstInstance(true);
    EXPECT_TRUE(si::InstanceExists(name_));
    EXPECT_FALSE(si::SetState(true, name_));
    EXPECT_EQ(GetLastError(), si::ErrorOtherInstance);
    EXPECT_FALSE(si::GetState());
    const auto window = si::GetWindow(name_);
    ASSERT_TRUE(window);
    EXPECT_TRUE(si::ShowWindow(window));
    EXPECT_EQ(ExitCode(first), 11); // exactly one show request arrived
    // The first instance is gone: its lock went with it, and a new guard takes over.
    EXPECT_FALSE(si::InstanceExists(name_));
    EXPECT_TRUE(si::SetState(true, name_));
}

TEST_F(SingleInstanceTest, HungFirstInstanceIsSkippedWithinTheTimeOut)
{
    FirstInstance(false);
    EXPECT_TRUE(si::InstanceExists(name_));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(si::GetWindow(name_));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(waited, std::chrono::seconds(2)); // bounded by the answer time-out, not a hang
    EXPECT_FALSE(si::ShowWindow(std::nullopt));
}

TEST_F(SingleInstanceTest, OnlyTheSameNameIsAnswered)
{
    ASSERT_TRUE(si::SetState(true, name_));
    // A peer asking with another name at this socket gets no answer and no show.
    int shown = 0;
    si::SetShowHandler([&shown] { ++shown; });
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const String path = si::SocketPath(name_); // "@" + the abstract name
    ASSERT_EQ(path.front(), '@');
    std::copy(path.begin() + 1, path.end(), addr.sun_path + 1);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), length), 0);
    const String line = "SHOW " + name_ + "-v0.2.0\n";
    ASSERT_EQ(::write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    EXPECT_FALSE(si::WndProc());
    EXPECT_EQ(shown, 0);
    ::close(fd);
}

TEST_F(SingleInstanceTest, RuntimeFolderIsPrivateAndNamesAreDigests)
{
    const String lock = si::LockPath(name_);
    EXPECT_EQ(lock.find(dir_.path().toStdString() + "/ferrovan-kest/instance-"), 0u);
    EXPECT_EQ(lock.find('"'), String::npos);
    struct stat st {};
    ASSERT_EQ(::stat(si::RuntimeFolder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_NE(si::LockPath("a"), si::LockPath("b"));
}

TEST_F(SingleInstanceTest, ARuntimeFolderOfAnyLengthStillLetsASecondStartRaiseTheFirst)
{
    // A runtime folder whose socket path would pass the 107 bytes a socket file name may have.
    const QByteArray longDir = dir_.path().toUtf8() + "/" + QByteArray(120, 'r');
    ASSERT_EQ(::mkdir(longDir.constData(), 0700), 0);
    qputenv("XDG_RUNTIME_DIR", longDir);
    const pid_t first = FirstInstance(true);
    const auto window = si::GetWindow(name_);
    ASSERT_TRUE(window);
    EXPECT_TRUE(si::ShowWindow(window));
    EXPECT_EQ(ExitCode(first), 11);
}

// The socket's name depends on the runtime folder, as the lock does; a name another program
// took first leaves the guard on without its socket, and says so.
TEST_F(SingleInstanceTest, ASquattedSocketNameIsReportedAndOtherRuntimeFoldersNeverMeet)
{
    const String here = si::SocketPath(name_);
    QTemporaryDir other;
    qputenv("XDG_RUNTIME_DIR", other.path().toUtf8());
    EXPECT_NE(si::SocketPath(name_), here);
    qputenv("XDG_RUNTIME_DIR", dir_.path().toUtf8());

    const int squatter = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::copy(here.begin() + 1, here.end(), addr.sun_path + 1);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + here.size());
    ASSERT_EQ(::bind(squatter, reinterpret_cast<sockaddr*>(&addr), length), 0);
    EXPECT_TRUE(si::SetState(true, name_)); // one instance is still ensured by the lock
    EXPECT_EQ(si::ListenHandle(), -1);
    EXPECT_NE(si::GuardProblem().find("cannot be made (Address already in use; another program has taken the name)"),
              String::npos)
        << si::GuardProblem();
    ::close(squatter);
}

TEST_F(SingleInstanceTest, AFolderThatCannotBeUsedIsRefusedWithAReason)
{
    const String folder = dir_.path().toStdString() + "/ferrovan-kest";
    // Made beforehand by another user: refused, and said so.
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    if (::getuid() == 0 && ::chown(folder.c_str(), 65534, 65534) == 0) {
        EXPECT_FALSE(si::SetState(true, name_));
        EXPECT_NE(si::GuardProblem().find("belongs to another user"), String::npos) << si::GuardProblem();
        EXPECT_FALSE(si::GetState());
    }
    ASSERT_EQ(::rmdir(folder.c_str()), 0);
    // A file where the folder should be.
    { std::ofstream(folder) << "x"; }
    EXPECT_FALSE(si::SetState(true, name_));
    EXPECT_NE(si::GuardProblem().find(folder + " is not a folder"), String::npos) << si::GuardProblem();
    ASSERT_EQ(::unlink(folder.c_str()), 0);
    // A runtime folder that is a file.
    const String file = dir_.path().toStdString() + "/file";
    { std::ofstream(file) << "x"; }
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(file));
    EXPECT_FALSE(si::SetState(true, name_));
    EXPECT_NE(si::GuardProblem().find("cannot be made"), String::npos) << si::GuardProblem();
    qputenv("XDG_RUNTIME_DIR", dir_.path().toUtf8());
    EXPECT_TRUE(si::SetState(true, name_));
    EXPECT_TRUE(si::GuardProblem().empty());
}

TEST_F(SingleInstanceTest, TheLockFileIsNeverOpenedThroughALink)
{
    const String target = dir_.path().toStdString() + "/elsewhere";
    ASSERT_FALSE(si::RuntimeFolder().empty());
    ASSERT_EQ(::symlink(target.c_str(), si::LockPath(name_).c_str()), 0);
    EXPECT_FALSE(si::SetState(true, name_));
    EXPECT_NE(si::GuardProblem().find("cannot be opened"), String::npos) << si::GuardProblem();
    struct stat st {};
    EXPECT_NE(::stat(target.c_str(), &st), 0); // not created through the link
    EXPECT_FALSE(si::InstanceExists(name_));
}

TEST(SingleInstanceNames, ExclusionScopes)
{
    EXPECT_EQ(si::CreateExclusionName("x", si::esGlobal), "x");
    EXPECT_EQ(si::CreateExclusionName("x", 77), "x");
    EXPECT_EQ(si::CreateExclusionName("x", si::esLoginSession).size(), 1u + 17u);
    EXPECT_EQ(si::CreateExclusionName("x", si::esUser).rfind("x-", 0), 0u);
    EXPECT_NE(si::CreateExclusionName("x", si::esSession), "x");
}

} // namespace fk
