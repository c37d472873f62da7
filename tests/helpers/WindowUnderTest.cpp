// The configurator's window wired as the program wires it (stop signals, the farewell at exit),
// for tests that end it from outside:
//
//   fk_window_under_test PORT [IMAGE [--ask]] [--trace FILE]
//
// connects to PORT and prints "status:N" for every status shown; with IMAGE, uploads it once
// connected and prints "transfer" when the blocks go out; with --ask it then clicks Abort and
// leaves the "Stop uploading?" question open (printing "asking" once it is on screen).
#include "app/AppTrace.h"
#include "app/ExitFarewell.h"
#include "app/MainForm.h"
#include "app/SignalWatch.h"
#include "app/StatusLine.h"
#include "session/DeviceSession.h"

#include <QApplication>
#include <QTimer>

#include <iostream>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    fk::TAppTrace trace;
    if (const auto at = args.indexOf(QStringLiteral("--trace")); at >= 0 && at + 1 < args.size()) {
        trace.Open(args.at(at + 1).toStdString(), "test");
        args.remove(at, 2);
    }
    const bool ask = args.removeAll(QStringLiteral("--ask")) > 0;
    if (args.isEmpty()) {
        std::cerr << "usage: fk_window_under_test PORT [IMAGE [--ask]] [--trace FILE]" << std::endl;
        return 2;
    }
    const std::string port = args.at(0).toStdString();
    const std::string image = args.size() > 1 ? args.at(1).toStdString() : std::string();

    fk::TMainFormSetup setup;
    setup.ExtraPorts.push_back({port, "Simulated controller"});
    setup.DiscoverPorts = false;
    setup.WatchPorts = false;
    setup.ConnectName = port;
    fk::TMainForm form(setup);
    fk::TExitFarewell exitFarewell(form.Session());
    int exitCode = 0;
    fk::TSignalWatch stopSignals([&form, &exitCode](int signal) {
        const fk::String text = form.StopOnSignal(signal);
        if (text.empty())
            return;
        std::cerr << "ferrovan-kest: " << text << std::endl;
        exitCode = 128 + signal;
        QCoreApplication::exit(exitCode);
    });
    bool started = false, told = false;
    QTimer questionShown; // prints "asking" once the question is on screen
    QObject::connect(&questionShown, &QTimer::timeout, &form, [&questionShown] {
        if (QApplication::activeModalWidget()) {
            questionShown.stop();
            std::cout << "asking" << std::endl;
        }
    });
    QObject::connect(&form, &fk::TMainForm::StatusChanged, &form, [&](int index) {
        std::cout << "status:" << index << std::endl;
        if (index == fk::staConnected && !started) {
            started = true;
            if (!image.empty())
                form.Session().StartUpload(image);
        } else if (index == fk::staUploading && !told && form.Session().UploadState() == fk::usTransfer) {
            told = true;
            std::cout << "transfer" << std::endl;
            if (ask)
                QTimer::singleShot(0, &form, [&form, &questionShown] {
                    questionShown.start(10);
                    form.Session().ButtonClick(fk::sbAbort);
                });
        }
    });
    form.show();
    const int loop = app.exec();
    return loop != 0 ? loop : exitCode;
}
