#include "cli/ToolView.h"

#include "connection/KestConnection.h"
#include "module/UDPServer.h"
#include "platform/LastError.h"
#include "ports/CommPort.h"
#include "session/ModuleSession.h"
#include "session/PortHolderText.h"
#include "support/TraceSink.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

namespace fk {

void TToolView::ShowStatus(int index, TIconClass, const String& portSuffix)
{
    if (TTraceSink::Enabled()) {
        // The status as the window would show it in English, the tool's language.
        String text = TMessageTable::DefaultText(index);
        if (!portSuffix.empty())
            text += ": " + portSuffix;
        TTraceSink::Status(text);
    }
    status_ = index;
    Changed();
}

void TToolView::ClearStatus()
{
    TTraceSink::Status("");
    status_ = -1;
    Changed();
}

void TToolView::EnableDisconnect(bool enabled)
{
    // Disconnect is enabled from the opening event to the closed event of the port.
    if (enabled) {
        opened_ = true;
        closed_ = false;
    } else if (opened_) {
        closed_ = true;
    }
    Changed();
}

void TToolView::ShowProgress(bool, int, bool) { Changed(); }

void TToolView::ShowMessage(int index)
{
    TTraceSink::Message(TMessageTable::DefaultText(index));
    message_ = index;
    Changed();
}

void TToolView::Changed()
{
    if (OnChange)
        OnChange();
}

bool TToolView::PortFailed(const TDeviceSession& session) const
{
    if (session.Diagnosis().LastOpenError() != ERROR_SUCCESS) {
        // The session shows the status of an open failure right after noting it; until then
        // the failure is not told apart (inactive, in use, ...).
        return closed_ || (status_ >= staPortOpenFailed && status_ <= staTargetInactive);
    }
    if (closed_)
        return true;
    const TCommPort* port = session.Serial() ? session.Serial()->CommPort() : nullptr;
    return opened_ && port && (port->State() == cStateClosing || port->State() == cStateClosed);
}

String TToolView::PortFailureText(const TDeviceSession* session) const
{
    const u32 error = session ? session->Diagnosis().LastOpenError() : 0;
    if (session && error == ERROR_SUCCESS && opened_)
        return session->Messages().MessageText(staConnectionLost)
            + ": the port was lost (the line hung up, or the device was unplugged or closed)"
            + (session->Diagnosis().ModemCommandBytes() > 0 ? ". " + TPortHolderText::ModemManagerTouched(session->Diagnosis().ModemCommandBytes())
                                               : String());
    String text = status_ >= staPortOpenFailed && status_ <= staTargetInactive && session
        ? session->Messages().MessageText(status_)
        : String(TMessageTable::DefaultText(staPortOpenFailed));
    if (const String listener = ModuleListenerError(session); !listener.empty())
        text += ": " + listener;
    else if (error == ERROR_PORT_PERMISSION)
        text += ": permission denied. Add your user to the \"dialout\" group "
                "(sudo usermod -aG dialout $USER) and log in again.";
    else if (error == ERROR_PORT_STALE_LOCK && !session->Diagnosis().OpenFailureReason().empty())
        text += ": " + session->Diagnosis().OpenFailureReason() + " (its program has ended; that user or root can remove it)";
    else if (const String holder = TPortHolderText::Hint(session ? session->Diagnosis().PortHolder() : TPortHolderReport());
             !holder.empty())
        text += ": " + holder;
    else if (error != ERROR_SUCCESS)
        text += " (" + ErrorText(error) + ")";
    return text;
}

String TToolView::ModuleListenerError(const TDeviceSession* session)
{
    // A link through a module also needs the UDP port the module's data arrive on.
    const auto* modules = dynamic_cast<const TModuleSession*>(session);
    const TKestLANPort* lan = modules ? modules->KestLANPort1() : nullptr;
    if (!lan || !lan->ConnectComm || modules->Serial()->CommPort() != lan)
        return {};
    const TUDPServer* listener = lan->ConnectComm->UDPServer();
    return listener && !listener->Active() ? listener->ActivationError() : String();
}

void TToolView::Release(TDeviceSession& session, int guardMs)
{
    session.OnDeviceMessage = nullptr;
    if (opened_ && !closed_) {
        QEventLoop closing;
        OnChange = [this, &closing] {
            if (closed_)
                closing.quit();
        };
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &closing, &QEventLoop::quit);
        guard.start(guardMs);
        if (session.Serial()->Close() && !closed_)
            closing.exec();
    }
    OnChange = nullptr;
}

} // namespace fk
