// The window ended from outside, as the program wires it: its display taken away during an
// upload (an Xvfb or a weston killed under it), and the stop signals in each state. Every way gives the
// device its restart first, releases the port (told on standard error) and ends the program.
#include "AppTestHarness.h"
#include "ChildProcess.h"
#include "TraceReader.h"
#include "app/SignalWatch.h"
#include "platform/MainThreadQueue.h"
#include "session/FirmwareImage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <iostream>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fk::test {
namespace {

constexpr const char* kRestarted = "restart: restarting into the";

class WindowEndTest : public MainFormTest {
protected:
    // A controller paced at 19200 baud with 64-byte blocks (about 45 ms a block).
    void StartPacedSim(bool inBootloader = false)
    {
        TSimOptions o;
        o.BlockSize = 64;
        o.Baud = 19200;
        o.StartInBootloader = inBootloader; // ... and stays there: "Device boot up failed"
        o.StayInBootloader = inBootloader;
        StartSim(o);
    }

    QString WriteImage(std::size_t n)
    {
        TByteString payload(n);
        for (std::size_t i = 0; i < n; ++i)
            payload[i] = static_cast<u8>(i * 7 + 3);
        TByteString image;
        EXPECT_TRUE(TFirmwareImage::Build(TSimOptions().Identifier, payload.data(), payload.size(), image));
        const QString path = dir_.filePath(QStringLiteral("app.img"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
        return path;
    }

    // Starts the window on the simulator's port; extra arguments after the port.
    // The window's (and the compositor's) own XDG_RUNTIME_DIR.
    QString RuntimeDir() const
    {
        const QString runtime = dir_.filePath(QStringLiteral("run"));
        QDir().mkpath(runtime);
        ::chmod(runtime.toLocal8Bit().constData(), 0700);
        return runtime;
    }

    void StartWindow(const QStringList& extra, const QProcessEnvironment& display)
    {
        const QString runtime = RuntimeDir();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert(display);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config_.Path());
        window_.setProcessEnvironment(env);
        tracePath_ = dir_.filePath(QStringLiteral("window.jsonl"));
        window_.start(QStringLiteral(FK_WINDOW_UNDER_TEST_PATH),
                      QStringList{QString::fromStdString(sim_->PortPath())} + extra + QStringList{"--trace", tracePath_});
        ASSERT_TRUE(window_.waitForStarted(10000));
    }

    // Waits until the window printed line (its own event, not a time).
    bool WaitOutput(const char* line, int guardMs = 30000)
    {
        return WaitFor([&] {
            out_ += window_.readAllStandardOutput();
            return out_.contains(line) || window_.state() == QProcess::NotRunning;
        }, guardMs) && out_.contains(line);
    }

    // Waits for the window's end; how long it took from now, or -1 when it did not end.
    qint64 WaitEnd(int guardMs = 20000)
    {
        QElapsedTimer t;
        t.start();
        if (!WaitFor([&] { return window_.state() == QProcess::NotRunning; }, guardMs)) {
            window_.kill();
            window_.waitForFinished(5000);
            return -1;
        }
        err_ = QString::fromUtf8(window_.readAllStandardError());
        return t.elapsed();
    }

    void ExpectFarewellWhenTheDisplayGoes(QProcessEnvironment env, const std::function<void()>& takeAway);

    QProcess window_;
    QByteArray out_;
    QString err_;
    QString tracePath_;
};

// An X server of the test's own (Xvfb on a display it picks), killed when the test says so.
class TOwnXServer {
public:
    TOwnXServer()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        // The read end stays ours; Xvfb writes its display number into the write end.
        ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        server_.start(QStringLiteral("Xvfb"), {"-displayfd", QString::number(fds[1]), "-nolisten", "tcp",
                                               "-screen", "0", "800x600x24"});
        ::close(fds[1]);
        if (!server_.waitForStarted(10000)) {
            ::close(fds[0]);
            return;
        }
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&p, 1, 15000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (!number.empty())
            display_ = QStringLiteral(":") + QString::fromStdString(number);
    }
    ~TOwnXServer() { Kill(); }
    const QString& Display() const { return display_; }
    void Kill()
    {
        if (server_.state() != QProcess::NotRunning) {
            server_.kill();
            server_.waitForFinished(5000);
        }
    }

private:
    QProcess server_;
    QString display_;
};

// The upload under way, the display goes: the restart, the port released, the end (status 1).
void WindowEndTest::ExpectFarewellWhenTheDisplayGoes(QProcessEnvironment env, const std::function<void()>& takeAway)
{
    StartPacedSim();
    // Qt ends the program from inside its event loop: what its libraries hold then (D-Bus,
    // fontconfig) is never freed, which is not this program's leak.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0:abort_on_error=1"));
    StartWindow({WriteImage(64 * 150)}, env);
    ASSERT_TRUE(WaitOutput("transfer")) << out_.toStdString() << window_.readAllStandardError().toStdString();
    const int restarts = LogCount(kRestarted);

    takeAway();
    const qint64 ms = WaitEnd();
    ASSERT_GE(ms, 0) << "the window did not end without its display";
    std::cout << "[ measured ] ended " << ms << " ms after its display was taken away" << std::endl;
    EXPECT_EQ(window_.exitStatus(), QProcess::NormalExit) << err_.toStdString();
    EXPECT_EQ(window_.exitCode(), 1);
    EXPECT_TRUE(err_.contains(QStringLiteral("ferrovan-kest: the window's display connection was lost; the upload "
                                             "was aborted and the device restarted; the port ")
                              + QString::fromStdString(sim_->PortPath()) + QStringLiteral(" was released")))
        << err_.toStdString();
    ASSERT_TRUE(WaitFor([&] { return LogCount(kRestarted) > restarts; })) << LogText();
    const TTraceReader trace(tracePath_);
    ASSERT_TRUE(trace.Valid()) << trace.Error();
    EXPECT_EQ(trace.Field("ending", "text").size(), 1);
    EXPECT_EQ(trace.Lines().back().value("event").toString(), "exit");
}

TEST_F(WindowEndTest, TheXServerTakenAwayDuringAnUploadRestartsTheDeviceReleasesThePortAndEnds)
{
    TOwnXServer x;
    if (x.Display().isEmpty())
        GTEST_SKIP() << "no Xvfb to take away (scripts/install-deps installs it)";
    QProcessEnvironment env;
    env.insert(QStringLiteral("DISPLAY"), x.Display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    ExpectFarewellWhenTheDisplayGoes(env, [&] { x.Kill(); });
}

TEST_F(WindowEndTest, TheWaylandCompositorTakenAwayDuringAnUploadRestartsTheDeviceReleasesThePortAndEnds)
{
    QProcess weston;
    QProcessEnvironment compositorEnv = QProcessEnvironment::systemEnvironment();
    compositorEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), RuntimeDir());
    weston.setProcessEnvironment(compositorEnv);
    weston.start(QStringLiteral("weston"), {"--backend=headless-backend.so", "--socket=fk-end", "--idle-time=0", "--no-config"});
    if (!weston.waitForStarted(10000) || !WaitFor([&] { return QFile::exists(RuntimeDir() + QStringLiteral("/fk-end")); }, 20000))
        GTEST_SKIP() << "no Wayland compositor (weston) to take away";
    QProcessEnvironment env;
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("fk-end"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    ExpectFarewellWhenTheDisplayGoes(env, [&] {
        weston.kill();
        weston.waitForFinished(5000);
    });
}

struct TStopCase {
    const char* Name;
    int Signal;
    bool Upload;     // an upload is under way
    bool Ask;        // ... and the "Stop uploading?" question is open
    bool Bootloader; // the device sits in its bootloader
};

void PrintTo(const TStopCase& c, std::ostream* os) { *os << c.Name; }

class WindowStopTest : public WindowEndTest, public ::testing::WithParamInterface<TStopCase> {};

TEST_P(WindowStopTest, AStopSignalRestartsTheDeviceFirstThenEndsTheProgram)
{
    const TStopCase c = GetParam();
    StartPacedSim(c.Bootloader);
    QStringList extra;
    if (c.Upload)
        extra << WriteImage(64 * 150);
    if (c.Ask)
        extra << QStringLiteral("--ask");
    QProcessEnvironment offscreen;
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    StartWindow(extra, offscreen);
    const std::string settled = "status:" + std::to_string(c.Bootloader ? staBootFailed : staConnected) + "\n";
    ASSERT_TRUE(WaitOutput(c.Ask ? "asking" : c.Upload ? "transfer" : settled.c_str()))
        << out_.toStdString() << window_.readAllStandardError().toStdString();
    const int restarts = LogCount(kRestarted);

    ::kill(static_cast<pid_t>(window_.processId()), c.Signal);
    const qint64 ms = WaitEnd();
    ASSERT_GE(ms, 0) << "the window did not end";
    std::cout << "[ measured ] " << c.Name << ": ended " << ms << " ms after the signal" << std::endl;
    EXPECT_EQ(window_.exitStatus(), QProcess::NormalExit) << err_.toStdString();
    EXPECT_EQ(window_.exitCode(), 128 + c.Signal);
    const char* name = c.Signal == SIGTERM ? "SIGTERM" : c.Signal == SIGHUP ? "SIGHUP" : "SIGINT";
    EXPECT_TRUE(err_.contains(QStringLiteral("ferrovan-kest: stopped by ") + QLatin1String(name))) << err_.toStdString();
    if (c.Upload || c.Bootloader) {
        EXPECT_TRUE(err_.contains(c.Upload ? QStringLiteral("the upload was aborted and the device restarted")
                                           : QStringLiteral("the device was restarted out of its bootloader")))
            << err_.toStdString();
        EXPECT_GT(LogCount(kRestarted), restarts) << LogText();
    } else {
        EXPECT_EQ(LogCount(kRestarted), restarts) << LogText();
    }
}

INSTANTIATE_TEST_SUITE_P(States, WindowStopTest,
                         ::testing::Values(TStopCase{"connected, SIGINT", SIGINT, false, false, false},
                                           TStopCase{"bootloader, SIGTERM", SIGTERM, false, false, true},
                                           TStopCase{"upload, SIGTERM", SIGTERM, true, false, false},
                                           TStopCase{"upload with the question open, SIGHUP", SIGHUP, true, true, false}),
                         [](const auto& info) {
                             const TStopCase& c = info.param;
                             return std::string(c.Ask ? "Question" : c.Upload ? "Upload" : c.Bootloader ? "Bootloader" : "Connected")
                                 + (c.Signal == SIGTERM ? "Sigterm" : c.Signal == SIGHUP ? "Sighup" : "Sigint");
                         });

// Once the program is leaving, its event loop reads the signal pipe no more: a stop signal then
// takes its default action instead of waiting there unread.
TEST(StopSignals, AreNeverIgnoredOnceTheProgramIsLeaving)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TSignalWatch watch([](int) {});
        if (!watch.Active())
            ::_exit(2);
        TMainThreadQueue::Instance().Leave(std::chrono::steady_clock::now());
        ::raise(SIGTERM);
        ::_exit(3);
    }
    const int status = WaitChild(child, 30000);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

} // namespace
} // namespace fk::test
