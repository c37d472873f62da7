#include "AppTestHarness.h"
#include "ScreenshotUtil.h"
#include "app/Accelerators.h"
#include "app/FormProgInfo.h"
#include "app/FormSettings.h"
#include "app/InstanceGuard.h"
#include "support/SingleInstance.h"
#include "support/VersionInfo.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QGroupBox>
#include <QMenuBar>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSlider>

#include <thread>

#include <cstddef>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace fk::test {
namespace {

// Points XDG_RUNTIME_DIR at a place of the test's own for as long as it lives.
class RuntimeFolderOverride {
public:
    explicit RuntimeFolderOverride(const QString& path) : old_(qgetenv("XDG_RUNTIME_DIR"))
    {
        qputenv("XDG_RUNTIME_DIR", path.toUtf8());
    }
    ~RuntimeFolderOverride()
    {
        if (old_.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", old_);
    }
    RuntimeFolderOverride(const RuntimeFolderOverride&) = delete;
    RuntimeFolderOverride& operator=(const RuntimeFolderOverride&) = delete;

private:
    QByteArray old_;
};

class LanguageWindowTest : public MainFormTest {
protected:
    // Captions as read, without their accelerators.
    QString Caption(const char* name) const
    {
        QWidget* w = form_->findChild<QWidget*>(QLatin1String(name));
        if (auto* group = qobject_cast<QGroupBox*>(w))
            return group->title();
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            return TAccelerators::Strip(button->text());
        if (auto* label = qobject_cast<QLabel*>(w))
            return TAccelerators::Strip(label->text());
        return {};
    }
    QString MenuText(int i) const { return TAccelerators::Strip(form_->menuBar()->actions().at(i)->text()); }
};

} // namespace

TEST_F(LanguageWindowTest, SwitchingToPolishAndBackRestoresEveryCaptionAndTheStatus)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    ASSERT_TRUE(WaitStatus(QStringLiteral("Connected")));
    form_->SetLanguage(lngEnglish);
    const char* const parts[] = {names::DeviceControls, names::OpenTimeLabel, names::BreakTimeLabel,
                                 names::VentingButton, names::PortListGroup, names::ConnectButton,
                                 names::DisconnectButton, names::UploadButton, names::RebootButton};
    QStringList english;
    for (const char* part : parts)
        english << Caption(part);
    const QString englishOptions = MenuText(0);

    form_->SetLanguage(lngPolish);
    EXPECT_EQ(Caption(names::DeviceControls), QStringLiteral(" Sterowanie "));
    EXPECT_EQ(Caption(names::UploadButton), QStringLiteral("Wgraj oprogramowanie"));
    EXPECT_EQ(MenuText(0), QStringLiteral("Opcje"));
    EXPECT_EQ(Status(), QStringLiteral("Połączono")); // the status shown before the switch, translated
    EXPECT_EQ(form_->Settings().Language, lngPolish);
    EXPECT_TRUE(form_->findChild<QAction*>(QLatin1String(names::LanguageItems[1]))->font().bold());
    EXPECT_FALSE(form_->findChild<QAction*>(QLatin1String(names::LanguageItems[0]))->font().bold());
    // The message boxes speak the new language too.
    EXPECT_EQ(form_->Session().Messages().MessageText(msgFirmwareInvalid), "Nieprawidłowy plik oprogramowania.");

    form_->SetLanguage(lngRussian);
    EXPECT_FALSE(form_->About().IconLabel()->pixmap().isNull()); // the program's icon
    EXPECT_EQ(form_->Preferences().windowTitle(), QStringLiteral("Ferrovan-Kest : Настройки"));
    EXPECT_EQ(form_->About().windowTitle(), QStringLiteral("Ferrovan-Kest : О программе"));
    EXPECT_EQ(Status(), QStringLiteral("Подключено"));

    form_->SetLanguage(lngEnglish);
    for (int i = 0; i < english.size(); ++i)
        EXPECT_EQ(Caption(parts[i]), english[i]) << parts[i];
    EXPECT_EQ(MenuText(0), englishOptions);
    EXPECT_EQ(Status(), QStringLiteral("Connected"));

    // A language without a table changes no text, but the setting takes the index.
    form_->SetLanguage(7);
    EXPECT_EQ(Caption(names::UploadButton), english[7]);
    EXPECT_EQ(form_->Settings().Language, 7);
}

TEST_F(LanguageWindowTest, LanguageMenuSwitchesAndEveryLanguageIsPhotographed)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    ASSERT_TRUE(WaitStatus(QStringLiteral("Connected")));
    const char* codes[] = { "en", "pl", "ru" };
    for (int lang = 0; lang < lngCount; ++lang) {
        form_->findChild<QAction*>(QLatin1String(names::LanguageItems[lang]))->trigger();
        EXPECT_EQ(form_->Settings().Language, lang);
        QCoreApplication::processEvents();
        EXPECT_FALSE(SaveScreenshot(*form_, QStringLiteral("main"), QStringLiteral("language-") + QLatin1String(codes[lang])).isEmpty());
        // Every caption fits its control.
        for (QAbstractButton* b : form_->findChildren<QAbstractButton*>()) {
            if (b->isVisible()) {
                EXPECT_GE(b->width(), b->sizeHint().width()) << codes[lang] << " " << b->text().toStdString();
            }
        }
    }
}

TEST_F(LanguageWindowTest, PreferencesAppliedThroughTheDialogAndKeptByCancel)
{
    MakeForm();
    // Apply a lower opacity and Polish, then Cancel: the applied values stay.
    TModalAnswer answer([this](QWidget* w) {
        auto* dialog = qobject_cast<TFormSettings*>(w);
        if (!dialog)
            return false;
        dialog->OpacityBar()->setValue(160);
        dialog->LanguageBox()->setCurrentIndex(lngPolish);
        dialog->ApplyButton()->click();
        dialog->OpacityBar()->setValue(120); // not applied: no Preview
        dialog->CancelButton()->click();
        return true;
    });
    form_->MenuSettingsClick();
    EXPECT_EQ(answer.Answered, 1);
    EXPECT_EQ(form_->Settings().Opacity, 160);
    EXPECT_NEAR(form_->windowOpacity(), 160 / 255.0, 0.01);
    EXPECT_EQ(form_->Settings().Language, lngPolish);
    EXPECT_EQ(Caption(names::ConnectButton), QStringLiteral("Połącz"));

    // Preview on, a change, Cancel: back to the opacity saved at opening.
    TModalAnswer preview([this](QWidget* w) {
        auto* dialog = qobject_cast<TFormSettings*>(w);
        if (!dialog)
            return false;
        dialog->PreviewBox()->click();
        dialog->OpacityBar()->setValue(100);
        EXPECT_EQ(form_->Settings().Opacity, 100); // applied at once
        dialog->CancelButton()->click();
        return true;
    });
    form_->MenuSettingsClick();
    EXPECT_EQ(preview.Answered, 1);
    EXPECT_EQ(form_->Settings().Opacity, 160);
    EXPECT_FALSE(form_->Settings().Has(optPreview));
}

TEST_F(LanguageWindowTest, MultipleInstancesSwitchTheGuardAtOnceAndAreSaved)
{
    QTemporaryDir runtime;
    const RuntimeFolderOverride runtimeFolder(runtime.path());
    const String name = TFileVersionInfo::MakeInstanceName({}) + "-test";
    TMainFormSetup setup;
    setup.InstanceName = name;
    MakeForm(setup);
    ASSERT_NE(form_->Guard(), nullptr);
    EXPECT_TRUE(SingleInstance::InstanceExists(name));
    TAppSettings s = form_->Settings();
    s.Set(optMultiInstance, true);
    form_->ApplySettings(s);
    EXPECT_FALSE(SingleInstance::InstanceExists(name));
    TAppSettings stored;
    TStoredPlaces places;
    ASSERT_TRUE(LoadSettings(stored, places)); // saved at once
    EXPECT_TRUE(stored.Has(optMultiInstance));
    s.Set(optMultiInstance, false);
    form_->ApplySettings(s);
    EXPECT_TRUE(SingleInstance::InstanceExists(name));
    form_.reset();
    EXPECT_FALSE(SingleInstance::InstanceExists(name));
}

// A second start while the preferences dialog is open brings forward the window and the
// dialog above it, both restored.
TEST_F(LanguageWindowTest, ASecondStartRaisesTheOpenModalDialog)
{
    QTemporaryDir runtime;
    const RuntimeFolderOverride runtimeFolder(runtime.path());
    const String name = TFileVersionInfo::MakeInstanceName({}) + "-test";
    TMainFormSetup setup;
    setup.InstanceName = name;
    MakeForm(setup);
    std::thread secondStart;
    bool asked = false, restored = false;
    TModalAnswer answer([&](QWidget* w) {
        auto* dialog = qobject_cast<TFormSettings*>(w);
        if (!dialog)
            return false;
        if (!asked) {
            asked = true;
            dialog->showMinimized();
            form_->showMinimized();
            secondStart = std::thread([name] { SingleInstance::ShowWindow(SingleInstance::GetWindow(name)); });
            return false;
        }
        if (dialog->isMinimized() || form_->isMinimized())
            return false;
        restored = true;
        dialog->reject();
        return true;
    });
    answer.Repeat();
    form_->MenuSettingsClick();
    if (secondStart.joinable())
        secondStart.join();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(restored);
    form_.reset();
}

// A runtime folder that is a file: the window says once that one instance at a time cannot
// be ensured and why, and the box stays until the user closes it.
TEST_F(LanguageWindowTest, AGuardTheMachineKeepsOffIsToldOnce)
{
    QTemporaryDir runtime;
    const QString file = runtime.filePath(QStringLiteral("not-a-folder"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const RuntimeFolderOverride runtimeFolder(file);
    TMainFormSetup setup;
    setup.InstanceName = TFileVersionInfo::MakeInstanceName({}) + "-test";
    QString text;
    TModalAnswer answer([&text](QWidget* w) {
        if (w->objectName() != QLatin1String(names::InstanceGuardOffBox))
            return false;
        Settle(300); // it waits for the user
        text = qobject_cast<QMessageBox*>(w)->text();
        qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
        return true;
    });
    answer.Repeat();
    MakeForm(setup);
    ASSERT_TRUE(WaitFor([&] { return answer.Answered == 1; }));
    EXPECT_TRUE(text.contains(QStringLiteral("cannot be ensured"))) << text.toStdString();
    EXPECT_TRUE(text.contains(file + QStringLiteral("/ferrovan-kest cannot be made"))) << text.toStdString();
    // Switching the guard off and on again does not say it again.
    TAppSettings s = form_->Settings();
    s.Set(optMultiInstance, true);
    form_->ApplySettings(s);
    s.Set(optMultiInstance, false);
    form_->ApplySettings(s);
    Settle(300);
    EXPECT_EQ(answer.Answered, 1);
    form_.reset();
}

// Another program took the instance socket's name first: the window holds the guard, says
// once that a second start cannot reach it, and a second real start says so and ends with 1.
TEST(SingleInstanceProgram, ATakenSocketNameIsToldByBothStarts)
{
    QTemporaryDir runtime, config;
    const TFileVersionInfo version(FK_FERROVAN_KEST_PATH);
    ASSERT_FALSE(version.Data().empty());
    String socketName;
    {
        const RuntimeFolderOverride folder(runtime.path());
        socketName = SingleInstance::SocketPath(version.InstanceName);
    }
    const int squatter = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::copy(socketName.begin() + 1, socketName.end(), addr.sun_path + 1);
    ASSERT_EQ(::bind(squatter, reinterpret_cast<sockaddr*>(&addr),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socketName.size())),
              0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess first, second;
    for (QProcess* p : {&first, &second})
        p->setProcessEnvironment(env);
    const QString trace = runtime.filePath(QStringLiteral("first.trace"));
    first.start(QStringLiteral(FK_FERROVAN_KEST_PATH), {QStringLiteral("--trace"), trace});
    ASSERT_TRUE(first.waitForStarted(10000));
    ASSERT_TRUE(WaitFor([&] {
        QFile f(trace);
        return f.open(QIODevice::ReadOnly) && f.readAll().contains("A second start of the program cannot reach this window");
    }, 20000));
    second.start(QStringLiteral(FK_FERROVAN_KEST_PATH), {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("could not be reached to bring its window forward"));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(20000));
    ::close(squatter);
}

// Two real programs: the second start finds the first, asks it to come forward and ends with
// exit status 0; with "Run multiple instances" stored, both run.
TEST(SingleInstanceProgram, SecondStartRaisesTheFirstOrRunsBesideIt)
{
    QTemporaryDir runtime, config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const TFileVersionInfo version(FK_FERROVAN_KEST_PATH);
    ASSERT_FALSE(version.Data().empty());
    const auto start = [&env](QProcess& p) {
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(FK_FERROVAN_KEST_PATH), {});
        return p.waitForStarted(10000);
    };
    const auto running = [&](const QString& dir) {
        const QByteArray old = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", dir.toUtf8());
        const bool exists = SingleInstance::InstanceExists(version.InstanceName);
        qputenv("XDG_RUNTIME_DIR", old);
        return exists;
    };

    QProcess first;
    ASSERT_TRUE(start(first));
    ASSERT_TRUE(WaitFor([&] { return running(runtime.path()); }, 20000)) << first.readAllStandardError().toStdString();
    QProcess second;
    ASSERT_TRUE(start(second));
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate(); // closes as the close button does, saving the settings
    ASSERT_TRUE(first.waitForFinished(20000));

    // "Run multiple instances" stored: the second runs beside the first.
    {
        const QByteArray old = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        TAppSettings s;
        TStoredPlaces places;
        LoadSettings(s, places);
        s.Set(optMultiInstance, true);
        ASSERT_TRUE(SaveSettings(s, places));
        qputenv("XDG_CONFIG_HOME", old);
    }
    QProcess a, b;
    ASSERT_TRUE(start(a));
    ASSERT_TRUE(start(b));
    Settle(1500);
    EXPECT_EQ(a.state(), QProcess::Running);
    EXPECT_EQ(b.state(), QProcess::Running);
    a.terminate();
    b.terminate();
    EXPECT_TRUE(a.waitForFinished(20000));
    EXPECT_TRUE(b.waitForFinished(20000));
}

// Two starts at the same moment: the guard is taken before either builds its window, so one
// runs and the other ends after asking it to come forward.
TEST(SingleInstanceProgram, TwoStartsAtTheSameMomentLeaveOneRunning)
{
    QTemporaryDir runtime, config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess a, b;
    for (QProcess* p : {&a, &b})
        p->setProcessEnvironment(env);
    a.start(QStringLiteral(FK_FERROVAN_KEST_PATH), {});
    b.start(QStringLiteral(FK_FERROVAN_KEST_PATH), {});
    ASSERT_TRUE(a.waitForStarted(10000));
    ASSERT_TRUE(b.waitForStarted(10000));
    ASSERT_TRUE(WaitFor([&] { return a.state() != QProcess::Running || b.state() != QProcess::Running; }, 20000));
    Settle(1000);
    EXPECT_NE(a.state() == QProcess::Running, b.state() == QProcess::Running); // exactly one runs
    QProcess& ended = a.state() == QProcess::Running ? b : a;
    EXPECT_EQ(ended.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(ended.exitCode(), 0);
    QProcess& running = &ended == &a ? b : a;
    running.terminate();
    EXPECT_TRUE(running.waitForFinished(20000));
}

TEST(SingleInstanceProgram, VersionPrintsProductAndVersion)
{
    QProcess p;
    p.start(QStringLiteral(FK_FERROVAN_KEST_PATH), { QStringLiteral("--version") });
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0);
    const TFileVersionInfo version(FK_FERROVAN_KEST_PATH);
    EXPECT_EQ(p.readAllStandardOutput().toStdString(), version.ProductAndVersion() + "\n");
    EXPECT_EQ(version.Strings[TVersionInfo::siOriginalFileName], "ferrovan-kest");
}

} // namespace fk::test
