// The real program started without a display: what it can do without one it does, and
// otherwise it says so in one line and ends with status 2 (no abort, no core dump).
#include "app/DisplayProbe.h"
#include "support/VersionInfo.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace fk::test {
namespace {

struct TRun {
    int ExitCode = -1;
    bool Crashed = true;
    QString Out, Err;
};

TRun RunWithoutDisplay(const QStringList& args, const QString& display = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(FK_FERROVAN_KEST_PATH), args);
    TRun run;
    if (!p.waitForFinished(30000))
        return run;
    run.Crashed = p.exitStatus() != QProcess::NormalExit;
    run.ExitCode = p.exitCode();
    run.Out = QString::fromUtf8(p.readAllStandardOutput());
    run.Err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

TEST(ProgramWithoutDisplay, VersionHelpAndWrongArgumentsNeedNoDisplayAndTheWindowSaysWhatIsMissing)
{
    TRun run = RunWithoutDisplay({QStringLiteral("--version")});
    EXPECT_FALSE(run.Crashed);
    EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out.toStdString(), TFileVersionInfo(FK_FERROVAN_KEST_PATH).ProductAndVersion() + "\n");

    run = RunWithoutDisplay({QStringLiteral("--help")});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_TRUE(run.Out.startsWith(QStringLiteral("usage: ferrovan-kest"))) << run.Out.toStdString();

    run = RunWithoutDisplay({QStringLiteral("--no-such-option")});
    EXPECT_FALSE(run.Crashed);
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_TRUE(run.Err.startsWith(QStringLiteral("ferrovan-kest: unknown argument '--no-such-option'")));

    run = RunWithoutDisplay({});
    EXPECT_FALSE(run.Crashed);
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err.count(QLatin1Char('\n')), 1) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains(QStringLiteral("DISPLAY")) && run.Err.contains(QStringLiteral("WAYLAND_DISPLAY")) &&
                run.Err.contains(QStringLiteral("make run")))
        << run.Err.toStdString();
}

TEST(ProgramWithoutDisplay, ADisplayThatCannotBeReachedIsToldInOneLineNotAnAbort)
{
    // A forwarded display of an ssh session that has ended: nothing listens on its port.
    const TRun run = RunWithoutDisplay({}, QStringLiteral("127.0.0.1:4093"));
    EXPECT_FALSE(run.Crashed);
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err.count(QLatin1Char('\n')), 1) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains(QStringLiteral("DISPLAY=127.0.0.1:4093 cannot be reached"))) << run.Err.toStdString();

    using P = TDisplayProbe;
    EXPECT_EQ(P::XAddresses(":0.1"), (std::vector<std::string>{"unix:@/tmp/.X11-unix/X0", "unix:/tmp/.X11-unix/X0"}));
    EXPECT_EQ(P::XAddresses("localhost:10.0"), (std::vector<std::string>{"tcp:localhost:6010"}));
    EXPECT_TRUE(P::XAddresses("garbage").empty());
    EXPECT_EQ(P::WaylandAddress("wayland-0", "/run/user/1000"), "unix:/run/user/1000/wayland-0");
    P::TEnvironment env;
    EXPECT_NE(P::Problem(env, true).find("ssh -X"), std::string::npos);
    env.Platform = "offscreen";
    EXPECT_EQ(P::Problem(env, true), ""); // the platform chosen is Qt's to find
}

} // namespace
} // namespace fk::test
