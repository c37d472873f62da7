#pragma once
// TWindowStatus: what the main window's status bar says about the device session, in the
// language shown: the session's status with the hint that goes with it (why a port did not
// open, who holds a busy port, other programs on a lost connection, a modem manager that
// wrote to the device, a stale lock file named in the user's language), the adapter that came
// back under another name, an identity that fits several ports, and the port in use with its
// description and icon.
#include "platform/Types.h"
#include "session/SessionView.h"

#include <QString>
#include <QStringList>

namespace fk {

class TConnectionPorts;
class TDeviceSession;
class TLanguageTexts;
class TStatusLine;

class TWindowStatus {
public:
    TWindowStatus(TDeviceSession& session, TStatusLine& line, TLanguageTexts& texts);
    TWindowStatus(const TWindowStatus&) = delete;
    TWindowStatus& operator=(const TWindowStatus&) = delete;

    // The port list's owner, once there is one (the port in use is shown only then).
    void SetPorts(TConnectionPorts* ports) noexcept { ports_ = ports; }

    // The session's status (a message index) with its hint.
    void Show(int index, TIconClass iconClass, const String& portSuffix);
    // The status says why the window connects by itself, and to what; returns that text.
    QString ShowAdapterReturned(const QString& oldName, const QString& newName);
    // Several ports fit the identity: the status says which, and the user picks.
    void ShowIdentityAmbiguous(const QString& identity, const QStringList& names);
    void ShowPortInStatusBar();

private:
    QString Text(const char* key, const char* english) const;
    QString ErrorReason(u32 error) const;
    // Connection lost while other programs have the port open: named in the status; false for none.
    bool ShowOtherOpeners(TIconClass iconClass);
    void ShowPortHolderHint();
    String StatusSuffix(int index, const String& portSuffix) const;

    TDeviceSession& session_;
    TStatusLine& line_;
    TLanguageTexts& texts_;
    TConnectionPorts* ports_ = nullptr;
};

} // namespace fk
