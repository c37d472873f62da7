#include "app/WindowStatus.h"

#include "app/ConnectionPorts.h"
#include "app/LanguageTexts.h"
#include "app/StatusLine.h"
#include "connection/KestConnection.h"
#include "platform/LastError.h"
#include "ports/PortImageList.h"
#include "ports/SerialPort.h"
#include "session/DeviceSession.h"
#include "session/PortHolderText.h"

#include <QIcon>

namespace fk {

TWindowStatus::TWindowStatus(TDeviceSession& session, TStatusLine& line, TLanguageTexts& texts)
    : session_(session)
    , line_(line)
    , texts_(texts)
{
}

QString TWindowStatus::Text(const char* key, const char* english) const
{
    const QString text = QString::fromStdString(texts_.Translate(key));
    return text.isEmpty() ? QString::fromUtf8(english) : text;
}

QString TWindowStatus::ErrorReason(u32 error) const
{
    // The system's reason in the language shown; a reason without a text of its own stays English.
    const QString text = QString::fromStdString(texts_.Translate("err_" + std::to_string(error)));
    return text.isEmpty() ? QString::fromStdString(ErrorText(error)) : text;
}

void TWindowStatus::Show(int index, TIconClass iconClass, const String& portSuffix)
{
    line_.ShowStatus(session_.Messages(), index, iconClass, StatusSuffix(index, portSuffix));
    if (index == staUploadFailed || index == staUploadInterrupted) // what happened, in any language
        line_.SetSuffixMessage(session_.Messages(), session_.Upload().Report().FailCause);
    const u32 error = session_.Diagnosis().LastOpenError();
    if (index >= staPortOpenFailed && index <= staTargetInactive && error != ERROR_SUCCESS) {
        if (error == ERROR_PORT_PERMISSION)
            line_.SetStatusHint(Text("txt_port-dialout", "Permission denied: your user may not use this port. Add it to "
                                                         "the \"dialout\" group (sudo usermod -aG dialout $USER) and "
                                                         "log in again."));
        else
            line_.SetStatusHint(ErrorReason(error));
    }
    if (index == staPortInUse)
        ShowPortHolderHint();
    else if (index == staConnectionLost && ShowOtherOpeners(iconClass)) {
        // another program on the port may have taken the replies: said in the status and its tool tip
    } else if (index >= staConnectionLost && session_.Diagnosis().ModemCommandBytes() > 0)
        line_.SetStatusHint(QString::fromStdString(TPortHolderText::ModemManagerTouched(
            session_.Diagnosis().ModemCommandBytes(), [this](const String& key) { return texts_.Translate(key); })));
}

QString TWindowStatus::ShowAdapterReturned(const QString& oldName, const QString& newName)
{
    // The status says why the window connects by itself, and to what.
    QString text = QString::fromStdString(texts_.Translate("sta_port-returned"));
    if (text.isEmpty())
        text = QStringLiteral("the adapter of %s came back as %n");
    text.replace(QStringLiteral("%s"), oldName).replace(QStringLiteral("%n"), newName);
    if (session_.StatusIndex() == staPortOpening)
        line_.ShowStatus(session_.Messages(), staPortOpening, icInformation,
                         (newName + QStringLiteral(" (") + text + QLatin1Char(')')).toStdString());
    line_.SetStatusHint(text);
    return text;
}

void TWindowStatus::ShowIdentityAmbiguous(const QString& identity, const QStringList& names)
{
    // Several ports fit the identity: none is taken; the status says which, and the user picks.
    QString text = Text("sta_identity-ambiguous", "%s fits more than one port: %n; choose one in the list");
    text.replace(QStringLiteral("%s"), identity).replace(QStringLiteral("%n"), names.join(QStringLiteral(", ")));
    line_.ShowStatus(session_.Messages(), staNoPortSelected, icWarning, text.toStdString());
    line_.SetStatusHint(text);
}

bool TWindowStatus::ShowOtherOpeners(TIconClass iconClass)
{
    const auto others = session_.Diagnosis().OtherOpeners();
    if (others.empty())
        return false;
    const auto lookup = [this](const String& key) { return texts_.Translate(key); };
    line_.ShowStatus(session_.Messages(), staConnectionLost, iconClass,
                     TPortHolderText::AlsoOpenShort(others, lookup));
    line_.SetStatusHint(QString::fromStdString(TPortHolderText::AlsoOpen(others, lookup)));
    return true;
}

void TWindowStatus::ShowPortHolderHint()
{
    // Who keeps the port busy, and what to do about it, in the window's language.
    const String hint = TPortHolderText::Hint(session_.Diagnosis().PortHolder(), [this](const String& key) {
        return texts_.Translate(key);
    });
    if (!hint.empty())
        line_.SetStatusHint(QString::fromStdString(hint));
}

String TWindowStatus::StatusSuffix(int index, const String& portSuffix) const
{
    // The session names a stale lock file in English; the window says it in the user's language.
    if (index != staPortOpenFailed || portSuffix.empty() || session_.Diagnosis().LastOpenError() != ERROR_PORT_STALE_LOCK ||
        !session_.SerialPort1() || session_.SerialPort1()->StaleLockFile().empty())
        return portSuffix;
    return Text("txt_stale-lock", "a stale lock file of another user blocks the port").toStdString() + ": " +
        session_.SerialPort1()->StaleLockFile();
}

void TWindowStatus::ShowPortInStatusBar()
{
    if (!ports_)
        return;
    const int row = session_.Ports().ConnectedIndex();
    const auto& list = session_.Ports().List();
    if (row < 0 || static_cast<std::size_t>(row) >= list.size()) {
        line_.ShowPort(QString(), QString(), QIcon());
        return;
    }
    const auto& entry = list[static_cast<std::size_t>(row)];
    line_.ShowPort(QString::fromStdString(entry.PortName), ports_->ShownDescription(entry.GetDeviceDescription()),
                   ports_->Images().Icon(entry.ImageIndex));
}

} // namespace fk
