#include "app/ExitFarewell.h"

#include "connection/KestConnection.h"
#include "platform/MainThreadQueue.h"
#include "platform/Thread.h"
#include "ports/SerialPort.h"
#include "session/DeviceSession.h"
#include "support/TraceSink.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>

namespace fk {

namespace {

// The armed farewell; the exit handler cannot be given an argument.
std::atomic<TExitFarewell*> g_armed{nullptr};
// Qt's message handler before ours.
QtMessageHandler g_previousHandler = nullptr;
// Set once the farewell has been said (another thread may wait for it).
struct {
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Saying = false; // taken by a thread that says it
    bool Done = false;
} g_said;

// Main thread, without the event loop: runs the workers' hand-overs until done() or the
// deadline. Each wait for a hand-over is short, so done() is looked at again soon.
bool WaitUntil(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline)
{
    using namespace std::chrono;
    while (!done()) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0)
            return false;
        TThread::CheckSynchronize(int(std::min<long long>(left, 20)));
    }
    return true;
}

} // namespace

TExitFarewell::TExitFarewell(TDeviceSession& session)
    : session_(session)
{
    static const bool registered = std::atexit(AtExit) == 0;
    if (!registered)
        return;
    g_armed.store(this);
    static const QtMessageHandler previous = qInstallMessageHandler(OnQtMessage);
    g_previousHandler = previous;
}

TExitFarewell::~TExitFarewell()
{
    TExitFarewell* self = this;
    g_armed.compare_exchange_strong(self, nullptr);
}

void TExitFarewell::AtExit()
{
    if (!TMainThreadQueue::IsMainThread() || !SayFarewellOnce())
        TMainThreadQueue::Instance().Leave(std::chrono::steady_clock::now());
}

bool TExitFarewell::SayFarewellOnce()
{
    std::unique_lock said(g_said.Mutex);
    TExitFarewell* armed = g_armed.exchange(nullptr);
    if (!armed)
        return false;
    g_said.Saying = true;
    said.unlock();
    const TFarewellOutcome outcome = armed->Run();
    const String text = Text("the window's display connection was lost", outcome);
    std::fprintf(stderr, "ferrovan-kest: %s\n", text.c_str());
    std::fflush(stderr);
    TTraceSink::Ending(text);
    TTraceSink::Exit(1);
    {
        std::lock_guard lock(g_said.Mutex);
        g_said.Done = true;
    }
    g_said.Changed.notify_all();
    return true;
}

void TExitFarewell::OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (g_previousHandler)
        g_previousHandler(type, context, text);
    // Qt's Wayland plugin ends the program with _exit right after this warning, from its own
    // event thread: no exit handler runs. The main thread says the farewell meanwhile (it
    // does not need the event loop once it runs); this thread waits for it, at most the
    // farewell's budget and a little more.
    if (type != QtWarningMsg || !text.startsWith(QLatin1String("The Wayland connection")))
        return;
    if (TMainThreadQueue::IsMainThread()) {
        SayFarewellOnce();
        return;
    }
    std::unique_lock lock(g_said.Mutex);
    if (!g_said.Saying && !g_armed.load())
        return; // none armed
    QCoreApplication* app = QCoreApplication::instance();
    if (!g_said.Saying && app)
        QMetaObject::invokeMethod(app, [] { SayFarewellOnce(); }, Qt::QueuedConnection);
    // Also when the main thread is saying it already (it saw the warning first).
    g_said.Changed.wait_for(lock, Budget + std::chrono::milliseconds(300), [] { return g_said.Done; });
}

TFarewellOutcome TExitFarewell::Run()
{
    using namespace std::chrono;
    const auto start = steady_clock::now();
    const auto deadline = start + Budget;
    TMainThreadQueue::Instance().Leave(deadline);
    session_.SetView(nullptr); // the widgets may have lost their display

    TFarewellOutcome outcome;
    TKestConnection* connection = session_.Serial();
    if (!connection || !connection->IsValid())
        return outcome;
    outcome.Port = connection->CurrentPortName();
    outcome.Upload = session_.UploadState() != usNone;
    outcome.Sent = session_.SayFarewell();
    if (outcome.Sent)
        outcome.Answered = WaitUntil([this] { return !session_.FarewellPending(); },
                                     start + milliseconds(TSessionClosing::FarewellTime));
    connection->Close();
    TSerialPort* port = session_.SerialPort1();
    outcome.Released = !port || connection->CommPort() != port
        || WaitUntil([port] { return port->Released(); }, deadline);
    return outcome;
}

String TExitFarewell::Text(const String& cause, const TFarewellOutcome& outcome)
{
    String text = cause;
    if (outcome.Port.empty())
        return text + "; no port was open";
    if (outcome.Sent && outcome.Answered)
        text += outcome.Upload ? "; the upload was aborted and the device restarted"
                               : "; the device was restarted out of its bootloader";
    else if (outcome.Sent)
        text += "; the device did not answer its restart in time"
            + String(outcome.Upload ? " (the upload was aborted)" : "");
    text += outcome.Released ? "; the port " + outcome.Port + " was released"
                             : "; the port " + outcome.Port + " is released as the program ends";
    return text;
}

} // namespace fk
