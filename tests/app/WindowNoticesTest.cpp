// What the window tells the user when the desktop or the machine lets it down (a help document
// or a link that no program opens, settings that cannot be saved), and --connect waiting for
// its entry, in the window and through the real program.
#include "AppTestHarness.h"
#include "app/FormProgInfo.h"

#include <QDir>
#include <QProcess>

#include <fstream>

namespace fk::test {
namespace {

TEST_F(MainFormTest, AHelpDocumentOrLinkThatNoProgramOpensIsNamed)
{
    MakeForm();
    QTemporaryDir base;
    ASSERT_TRUE(QDir(base.path()).mkpath(QStringLiteral("Docs")));
    const QString pdf = base.path() + QStringLiteral("/Docs/Ferrovan-Kest (man-EN).pdf");
    std::ofstream(pdf.toStdString()) << "%PDF-1.4\n";
    form_->HelpFolder = base.path();
    QUrl handed;
    form_->OpenDocument = [&handed](const QUrl& url) {
        handed = url;
        return false; // no viewer set up
    };
    QString text;
    {
        TModalAnswer ok(TModalAnswer::Click(QMessageBox::Ok, &text));
        form_->OpenHelpDocument(HelpManual);
        EXPECT_EQ(ok.Answered, 1);
    }
    EXPECT_EQ(handed.toLocalFile(), pdf);
    EXPECT_TRUE(text.startsWith(QStringLiteral("No program is set up"))) << text.toStdString();
    EXPECT_TRUE(text.contains(pdf)) << text.toStdString();

    // The About box's links, in the language shown.
    form_->SetLanguage(lngPolish);
    form_->About().OpenUrl = [](const QString&) { return false; };
    {
        TModalAnswer ok(TModalAnswer::Click(QMessageBox::Ok, &text));
        form_->About().LinkLabel1Click();
        EXPECT_EQ(ok.Answered, 1);
    }
    EXPECT_TRUE(text.contains(QLatin1String(TFormProgInfo::HomePage))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("ręcznie"))) << text.toStdString();
}

TEST_F(MainFormTest, SettingsThatCannotBeSavedAreReportedOncePerRunWithPathAndReason)
{
    // A file where the settings folder should be: no one can write there, root included.
    std::ofstream((config_.Path() + QStringLiteral("/ferrovan-kest")).toStdString()) << "not a folder";
    QString text;
    TModalAnswer ok(TModalAnswer::Click(QMessageBox::Ok, &text));
    ok.Repeat();
    MakeForm();
    ASSERT_TRUE(WaitFor([&] { return ok.Answered == 1; })); // told at start, not at the end
    form_->SaveSettings();
    form_->SaveSettings();
    EXPECT_EQ(ok.Answered, 1);
    EXPECT_TRUE(text.contains(QString::fromStdString(TRegistry::StorePath()))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Not a directory"))) << text.toStdString();
}

// An oversized settings file is set aside when the window starts, and the user is told once
// where the copy went.
TEST_F(MainFormTest, AnOversizedSettingsFileSetAsideIsToldOnce)
{
    QDir().mkpath(config_.Path() + QStringLiteral("/ferrovan-kest"));
    std::ofstream(TRegistry::StorePath()) << std::string(TRegistry::MaxStoreSize + 1, ';');
    QString text;
    TModalAnswer ok(TModalAnswer::Click(QMessageBox::Ok, &text));
    ok.Repeat();
    MakeForm();
    ASSERT_TRUE(WaitFor([&] { return ok.Answered == 1; }));
    EXPECT_TRUE(text.contains(QString::fromStdString(TRegistry::StorePath() + ".damaged"))) << text.toStdString();
    form_->SaveSettings();
    Settle(200);
    EXPECT_EQ(ok.Answered, 1);
}

// The real program against the simulator: --quit-after-connect ends with 0 once connected, and
// with 1 when the --connect name never appears within --connect-timeout.
TEST_F(MainFormTest, QuitAfterConnectEndsWithTheOutcome)
{
    StartSim();
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config_.Path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const auto run = [&](const QStringList& extra) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(FK_FERROVAN_KEST_PATH),
                QStringList{QStringLiteral("--port"), QString::fromStdString(sim_->PortPath()) + QStringLiteral("=Sim"),
                            QStringLiteral("--quit-after-connect")} + extra);
        EXPECT_TRUE(p.waitForFinished(30000));
        return p.exitCode();
    };
    EXPECT_EQ(run({QStringLiteral("--connect"), QString::fromStdString(sim_->PortPath())}), 0);
    EXPECT_EQ(run({QStringLiteral("--connect"), QStringLiteral("ttyNOTHERE"), QStringLiteral("--connect-timeout"),
                   QStringLiteral("0.3")}),
              1);
}

} // namespace
} // namespace fk::test
