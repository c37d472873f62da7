#include "app/WindowNotices.h"

#include "app/LanguageTexts.h"
#include "app/ObjectNames.h"
#include "app/TracedMessageBox.h"
#include "platform/Registry.h"
#include "support/TraceSink.h"

#include <QMessageBox>

#include <cstdio>

namespace fk {

TWindowNotices::TWindowNotices(QWidget& window, TLanguageTexts& texts, const QString& caption)
    : window_(window)
    , texts_(texts)
    , caption_(caption)
{
}

QString TWindowNotices::Text(const char* key, const char* english) const
{
    const QString text = QString::fromStdString(texts_.Translate(key));
    return text.isEmpty() ? QString::fromUtf8(english) : text;
}

bool TWindowNotices::SettingsSetAside(const String& copy, bool stopping)
{
    const QString text = Text("msg_settings-setaside", "The settings file was too large to read. It was set aside as %1; "
                                                       "the program starts with its default settings.")
                             .arg(QString::fromStdString(copy));
    if (stopping) {
        std::fprintf(stderr, "ferrovan-kest: %s\n", text.toLocal8Bit().constData());
        return false;
    }
    QMessageBox box(QMessageBox::Warning, caption_, text, QMessageBox::Ok, &window_);
    box.setObjectName(QLatin1String(names::SettingsSetAsideBox));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    TTracedMessageBox::Exec(box);
    return true;
}

bool TWindowNotices::SettingsNotSaved(const String& problem, bool stopping)
{
    // Once per run: the user knows from then on that what they change is not kept.
    if (settingsFailureShown_)
        return false;
    settingsFailureShown_ = true;
    QString format = QString::fromStdString(texts_.Translate("msg_settings-nosave"));
    if (format.isEmpty())
        format = QStringLiteral("The settings cannot be saved to %1 (%2). What you change now is lost when the "
                                "program ends.");
    const QString text = format.arg(QString::fromStdString(TRegistry::StorePath()), QString::fromStdString(problem));
    if (stopping) {
        // Ended by a signal: nobody is there to answer a message box.
        std::fprintf(stderr, "ferrovan-kest: %s\n", text.toLocal8Bit().constData());
        return false;
    }
    QMessageBox box(QMessageBox::Warning, caption_, text, QMessageBox::Ok, &window_);
    box.setObjectName(QLatin1String(names::SettingsNotSavedBox));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    TTracedMessageBox::Exec(box);
    return true;
}

void TWindowNotices::GuardProblem(const QString& problem, bool guardHolds)
{
    QString text;
    if (guardHolds) // the guard holds, but a second start cannot reach this window
        text = Text("msg_single-instance-socket", "A second start of the program cannot reach this window: %s. "
                                                  "It will say so and end, without raising this window.");
    else
        text = Text("msg_single-instance-off", "One instance of the program at a time cannot be ensured: %s. "
                                               "Another start may run beside this one and take the same port or "
                                               "module traffic.");
    auto* box = new QMessageBox(QMessageBox::Warning, caption_, text.replace(QStringLiteral("%s"), problem),
                                QMessageBox::Ok, &window_);
    box->setObjectName(QLatin1String(names::InstanceGuardOffBox));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    if (TTraceSink::Enabled())
        TTraceSink::Message(box->text().toStdString());
}

} // namespace fk
