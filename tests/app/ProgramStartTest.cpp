// The real program started without a display: what it can do without one it does, and
// otherwise it says so in one line and ends with status 2 (no abort, no core dump).
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

TRun RunWithoutDisplay(const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
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

} // namespace
} // namespace fk::test
