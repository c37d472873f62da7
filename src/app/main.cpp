// ferrovan-kest: the configurator's window.
#include "app/AppCommandLine.h"
#include "app/AppSettings.h"
#include "app/AppTrace.h"
#include "app/ConnectionPorts.h"
#include "app/DisplayProbe.h"
#include "app/ExitFarewell.h"
#include "app/MainForm.h"
#include "app/SignalWatch.h"
#include "app/StatusLine.h"
#include "platform/LastError.h"
#include "support/SingleInstance.h"
#include "support/VersionInfo.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

// --screenshot-to: pictures of the window before and after connecting; the program ends
// once the connection is made or has failed (or after 15 s).
void RunScreenshots(fk::TMainForm& form, const fk::TAppCommandLine& args, int& exitCode)
{
    QDir().mkpath(QString::fromStdString(args.ScreenshotDir));
    const QString dir = QDir(QString::fromStdString(args.ScreenshotDir)).absolutePath();
    const auto save = [&form, dir](const char* name) {
        const QString path = dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
        if (form.grab().save(path, "PNG"))
            std::cout << "screenshot: " << path.toStdString() << std::endl;
        else
            std::cerr << "ferrovan-kest: could not write " << path.toStdString() << std::endl;
    };
    QTimer::singleShot(0, &form, [&form, &args, &exitCode, save] {
        save("main-before-connect");
        const auto finish = [&form, &exitCode, save](bool connected) {
            save(connected ? "main-connected" : "main-not-connected");
            std::cout << "status: " << form.StatusLine().StatusText().toStdString() << std::endl;
            exitCode = connected ? 0 : 1;
            form.close();
        };
        QObject::connect(&form, &fk::TMainForm::StatusChanged, &form, [&form, finish](int index) {
            if (index == fk::staConnected)
                QTimer::singleShot(50, &form, [finish] { finish(true); });
            else if (index >= fk::staConnectionLost && index != fk::staUploading)
                QTimer::singleShot(50, &form, [finish] { finish(false); });
        });
        QTimer::singleShot(std::max(15000, args.ConnectTimeoutMs + 5000), &form, [finish] { finish(false); });
        if (args.Connect)
            form.Ports().SetConnectName(*args.Connect, args.ConnectTimeoutMs); // waits for it to be listed
        else
            form.Session().ButtonClick(fk::sbConnect);
    });
}

// Qt's own options, which QApplication takes off the command line (those in the first list
// take a value).
bool IsQtOption(const std::string& arg, bool& takesValue)
{
    static const char* const withValue[] = {"-platform", "-platformpluginpath", "-platformtheme", "-plugin",
                                            "-qwindowgeometry", "-qwindowtitle", "-qwindowicon", "-display",
                                            "-style", "-stylesheet", "-session", "-geometry", "-title"};
    static const char* const alone[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
    takesValue = false;
    for (const char* name : withValue)
        if (arg == name || arg.rfind(std::string(name) + "=", 0) == 0) {
            takesValue = arg == name;
            return true;
        }
    for (const char* name : alone)
        if (arg == name)
            return true;
    return arg.rfind("-qmljsdebugger=", 0) == 0;
}

// The program's own arguments: everything after the program name but Qt's options.
std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        bool takesValue = false;
        if (IsQtOption(argv[i], takesValue)) {
            i += takesValue ? 1 : 0;
            continue;
        }
        words.emplace_back(argv[i]);
    }
    return words;
}

enum TGuardOutcome { igTaken, igOtherInstance, igUnreachable, igOff };

// The guard is taken before any window exists, so that of two starts at the same moment
// exactly one goes on. With "Run multiple instances" stored there is no guard. When another
// instance holds it, that one is asked to come forward; it may still be building its window
// and answers only once its event loop runs, so it is asked for a while.
TGuardOutcome TakeInstanceGuard(const fk::String& name, fk::String& settingsSetAside)
{
    fk::u8 options = 0;
    if (fk::ReadStoredOptions(options, &settingsSetAside) && (options & fk::optMultiInstance) != 0)
        return igOff;
    if (fk::SingleInstance::SetState(true, name))
        return igTaken;
    if (fk::GetLastError() != fk::SingleInstance::ErrorOtherInstance)
        return igOff; // the window tells the user why there is no guard
    for (int attempt = 0; attempt < 10 && fk::SingleInstance::InstanceExists(name); ++attempt) {
        if (fk::SingleInstance::ShowWindow(fk::SingleInstance::GetWindow(name)))
            return igOtherInstance;
    }
    if (fk::SingleInstance::InstanceExists(name)) {
        // It runs, but does not answer (its socket is missing or another program has its name).
        std::cerr << "ferrovan-kest: another instance is running (it holds " << fk::SingleInstance::LockPath(name)
                  << "), but it could not be reached to bring its window forward; this start ends" << std::endl;
        return igUnreachable;
    }
    return igOtherInstance;
}

} // namespace

int main(int argc, char** argv)
{
    // The command line is read before the GUI starts, so --version, --help and wrong arguments
    // need no display.
    fk::TAppCommandLine args;
    std::string error;
    if (!fk::TAppCommandLine::Parse(ProgramArguments(argc, argv), args, error)) {
        std::cerr << "ferrovan-kest: " << error << "\n" << fk::TAppCommandLine::Usage();
        return 2;
    }
    if (args.Help) {
        std::cout << fk::TAppCommandLine::Usage();
        return 0;
    }
    const fk::TFileVersionInfo version;
    if (args.Version) {
        const std::string text = version.ProductAndVersion();
        std::cout << (text.empty() ? std::string("ferrovan-kest (this build carries no version information)") : text)
                  << std::endl;
        return 0;
    }
    // A display that is set but cannot be reached would end inside Qt with an abort.
    if (const std::string problem =
            fk::TDisplayProbe::Problem(fk::TDisplayProbe::FromProcess(argc, argv), fk::TDisplayProbe::RunsInstalled());
        !problem.empty()) {
        std::cerr << "ferrovan-kest: " << problem << std::endl;
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ferrovan-Kest"));
    // The launcher's name: Wayland compositors match the window to it (and so to its icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("example.nordvel.FerrovanKest"));
    // One window at a time: a second start brings the first forward and ends. Runs that take
    // pictures or measure start-up stand alone.
    const bool standalone = !args.ScreenshotDir.empty() || args.ExitWhenShown || args.QuitAfterConnect;
    fk::String settingsSetAside; // the first reader of the settings sets an oversized file aside
    if (!standalone) {
        const TGuardOutcome guard = TakeInstanceGuard(version.InstanceName, settingsSetAside);
        if (guard == igOtherInstance)
            return 0;
        if (guard == igUnreachable)
            return 1;
    }

    // The trace starts before the window so that it sees the window's first status.
    fk::TAppTrace trace;
    if (!args.TraceFile.empty() && !trace.Open(args.TraceFile, version.ProductAndVersion()))
        std::cerr << "ferrovan-kest: " << trace.Error().toStdString() << std::endl;

    fk::TMainFormSetup setup;
    setup.SettingsSetAside = settingsSetAside;
    setup.ExtraPorts = args.Ports;
    if (!standalone)
        setup.InstanceName = version.InstanceName;
    setup.ModuleTCPPort = args.ModuleTCPPort;
    setup.ModuleUDPPort = args.UDPPort;
    const bool screenshots = !args.ScreenshotDir.empty();
    if (!screenshots)
        setup.ConnectName = args.Connect; // with screenshots the connection waits for the first picture
    setup.ConnectTimeoutMs = args.ConnectTimeoutMs;
    fk::TMainForm form(setup);
    // The display connection lost: Qt's platform plugin ends the program through exit().
    fk::TExitFarewell exitFarewell(form.Session());
    int exitCode = 0;
    fk::TSignalWatch stopSignals([&form, &exitCode](int signal) {
        const fk::String text = form.StopOnSignal(signal);
        if (text.empty())
            return;
        std::cerr << "ferrovan-kest: " << text << std::endl;
        exitCode = 128 + signal;
        QCoreApplication::exit(exitCode); // also ends the loop of a question that was open
    });
    if (screenshots)
        RunScreenshots(form, args, exitCode);
    else if (args.QuitAfterConnect)
        QObject::connect(&form, &fk::TMainForm::StatusChanged, &form, [&form, &exitCode, decided = false](int index) mutable {
            // The first outcome counts: closing the window afterwards changes the status again.
            if (!decided && (index == fk::staConnected || index >= fk::staConnectionLost)) {
                decided = true;
                exitCode = index == fk::staConnected ? 0 : 1;
                QTimer::singleShot(0, &form, [&form] { form.close(); });
            }
        });
    form.show();
    // Runs that take pictures or measure end by themselves: no box waits for an answer there.
    if (!trace.Error().isEmpty() && !standalone)
        QTimer::singleShot(0, &form, [&form, &trace] { trace.ShowFailure(&form); });
    if (args.ExitWhenShown) {
        // The window is shown once its platform window is exposed and has painted.
        auto* check = new QTimer(&form);
        QObject::connect(check, &QTimer::timeout, &form, [&form, check] {
            if (!form.windowHandle() || !form.windowHandle()->isExposed())
                return;
            check->stop();
            form.repaint();
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            std::cout << "shown " << std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() << std::endl;
            QTimer::singleShot(0, &form, [&form] { form.close(); });
        });
        check->start(1);
    }
    const int loop = app.exec();
    const int status = loop != 0 ? loop : exitCode;
    fk::TTraceSink::Exit(status);
    return status;
}
