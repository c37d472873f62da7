#pragma once
// The window's last word to the device when the program ends while the window is open.
//
// Qt's X11 platform plugin calls exit(1) from inside the event loop when the display
// connection breaks (an `ssh -X` session dropped, the X server ended); no window event comes
// first. Its Wayland plugin calls _exit(1) from its event thread when the compositor goes,
// right after its warning, which a message handler of ours sees first (that thread then waits
// for the main thread's farewell). The exit handler armed here runs before the exit handlers
// registered earlier (Qt's own among them) and, without the event loop:
//  - tells the main-thread queue that the main thread is leaving, with a deadline, so that
//    no worker and nothing later at exit waits beyond it;
//  - sends what Disconnect sends in the session's state (the upload's abort and restart, or
//    the restart of a device left in its bootloader) and waits for its answer up to the
//    farewell time, running the I/O thread's hand-overs itself;
//  - closes the port and waits (bounded) until the device and its lock are released;
//  - writes what happened to standard error and the trace.
// The widgets are not touched: the session's view is taken away first.
// One farewell is armed at a time; its destructor (the window's end through main's return)
// disarms it.
#include "platform/Types.h"

#include <QString>
#include <QtGlobal>

#include <chrono>

namespace fk {

class TDeviceSession;

// What a farewell did, told in one line by Text.
struct TFarewellOutcome {
    String Port;           // the port that was open (empty: none was)
    bool Sent = false;     // an abort's restart or a restart out of the bootloader was sent
    bool Upload = false;   // ... stopping an upload
    bool Answered = false; // the device answered it in time
    bool Released = false; // the port was released before the program went on
};

class TExitFarewell {
public:
    // The longest the device's answer and the release of the port are waited for, together.
    static constexpr std::chrono::milliseconds Budget{1200};

    explicit TExitFarewell(TDeviceSession& session);
    ~TExitFarewell();
    TExitFarewell(const TExitFarewell&) = delete;
    TExitFarewell& operator=(const TExitFarewell&) = delete;

    // The farewell as the exit handler runs it (main thread); its outcome.
    TFarewellOutcome Run();

    // "CAUSE: WHAT WAS DONE" for standard error and the trace.
    static String Text(const String& cause, const TFarewellOutcome& outcome);

private:
    static void AtExit();
    static bool SayFarewellOnce(); // main thread; false when none is armed (any more)
    static void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text);

    TDeviceSession& session_;
};

} // namespace fk
