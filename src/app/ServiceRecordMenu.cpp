#include "app/ServiceRecordMenu.h"

#include "app/JournalDialog.h"
#include "app/LanguageTexts.h"
#include "app/ObjectNames.h"
#include "app/TracedMessageBox.h"
#include "session/DeviceSession.h"
#include "support/AnsiCodePage.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

namespace fk {

namespace {

constexpr int ApplyCheckInterval = 100; // ms between looks at the read-back
constexpr int ApplyCheckLimit = 100;    // ... and how many: the apply fails after 10 s

QString Q(const String& s) { return QString::fromStdString(s); }

} // namespace

TServiceRecordMenu::TServiceRecordMenu(QWidget* window, QMenu* menu, TDeviceSession& session, TLanguageTexts& texts)
    : QObject(window)
    , window_(window)
    , session_(session)
    , texts_(texts)
    , journal_("ferrovan-kest")
{
    journal_.Attach(session_);
    // Once per run, and never from inside the session's own handling of a reply.
    journal_.SetOnFailure([this](const String& reason) {
        QString text = Q(reason);
        if (!text.isEmpty())
            text[0] = text[0].toUpper();
        QTimer::singleShot(0, this, [this, text] {
            Box(QMessageBox::Warning, Text("msg_jrn-nowrite", "%1. The work goes on; the changes are not recorded.").arg(text));
        });
    });
    menu->addSeparator();
    save_ = menu->addAction(QStringLiteral("Save Controller Settings..."));
    save_->setObjectName(QLatin1String(names::SaveSettingsItem));
    apply_ = menu->addAction(QStringLiteral("Apply Settings File..."));
    apply_->setObjectName(QLatin1String(names::ApplySettingsItem));
    journalItem_ = menu->addAction(QStringLiteral("Service Journal..."));
    journalItem_->setObjectName(QLatin1String(names::JournalItem));
    connect(save_, &QAction::triggered, this, [this] { SaveSettingsClick(); });
    connect(apply_, &QAction::triggered, this, [this] { ApplySettingsClick(); });
    connect(journalItem_, &QAction::triggered, this, [this] { JournalClick(); });

    applyCheck_ = new QTimer(this);
    applyCheck_->setInterval(ApplyCheckInterval);
    connect(applyCheck_, &QTimer::timeout, this, [this] { CheckApplied(); });

    Caption = [this] { return window_->windowTitle(); };
    ChooseFile = [this](bool save, const QString& folder, const QString& name) {
        const QString filter = Text("txt_filter-settings", "Settings files") + QStringLiteral(" (*.json)");
        return save ? QFileDialog::getSaveFileName(window_, save_->text(), folder + QLatin1Char('/') + name, filter)
                    : QFileDialog::getOpenFileName(window_, apply_->text(), folder, filter);
    };
}

TServiceRecordMenu::~TServiceRecordMenu() = default;

QString TServiceRecordMenu::SettingsFolder()
{
    const QString folder = QFileInfo(Q(TServiceJournal::DefaultPath())).absolutePath();
    QDir().mkpath(folder);
    return folder;
}

QString TServiceRecordMenu::Text(const char* key, const char* english) const
{
    const String text = texts_.Translate(key);
    return text.empty() ? QString::fromUtf8(english) : Q(text);
}

void TServiceRecordMenu::ApplyTexts()
{
    save_->setText(Text("men_settings-save", "Save Controller Settings") + QStringLiteral("..."));
    apply_->setText(Text("men_settings-apply", "Apply Settings File") + QStringLiteral("..."));
    journalItem_->setText(Text("men_journal", "Service Journal") + QStringLiteral("..."));
}

bool TServiceRecordMenu::Box(int icon, const QString& text, bool question)
{
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), Caption(), text,
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, window_);
    box.setObjectName(QLatin1String(names::SettingsFileBox));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (question)
        box.setDefaultButton(QMessageBox::No);
    return TTracedMessageBox::Exec(box) == QMessageBox::Yes;
}

bool TServiceRecordMenu::Connected()
{
    if (session_.DeviceState() == dsConnected)
        return true;
    Box(QMessageBox::Warning, Text("msg_noconn", "Device not connected."));
    return false;
}

QString TServiceRecordMenu::DifferenceLine(const TSettingsDifference& d) const
{
    if (d.Offset == 0)
        return Text("lbl_set-tmopen", "Open Time")
            + QStringLiteral(": %1 %3 -> %2 %3").arg(d.From).arg(d.To).arg(Text("txt_unit-ms", "ms"));
    const int step = TParameterWrites::BreakTimeSeconds;
    return Text("lbl_set-tmbreak", "Break Time")
        + QStringLiteral(": %1 %3 -> %2 %3").arg(d.From * step).arg(d.To * step).arg(Text("txt_unit-s", "s"));
}

QString TServiceRecordMenu::RefusalText(const TSettingsFile::TRefusal& r) const
{
    const auto hex = [](u32 v) { return QStringLiteral("0x") + QString::number(v, 16).rightJustified(8, u'0').toUpper(); };
    const QString ms = Text("txt_unit-ms", "ms");
    const QString s = Text("txt_unit-s", "s");
    switch (r.Kind) {
    case TSettingsFile::TRefusal::srModel:
        return Text("txt_settings-other-model", "the file was saved from a model %1 controller (%2); this controller is model %3 (%4)")
            .arg(r.FileModel).arg(hex(r.FileIdentifier)).arg(r.DeviceModel).arg(hex(r.DeviceIdentifier));
    case TSettingsFile::TRefusal::srOpenTime:
        return Text("txt_settings-open-range", "open time %1 %4 is outside this controller's range %2..%3 %4")
            .arg(r.Value).arg(r.Min).arg(r.Max).arg(ms);
    case TSettingsFile::TRefusal::srBreakTime:
        return Text("txt_settings-break-range", "break time %1 %4 is outside this controller's range %2..%3 %4 (firmware %5)")
            .arg(r.Value).arg(r.Min).arg(r.Max).arg(s, Q(r.Firmware));
    case TSettingsFile::TRefusal::srNone: break;
    }
    return {};
}

void TServiceRecordMenu::SaveSettingsClick()
{
    if (!Connected())
        return;
    const TSettingsFile settings = TSettingsFile::FromSession(session_, TAnsiCodePage());
    QString name = Q(settings.SerialNumber);
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    const QString path = ChooseFile(true, SettingsFolder(), (name.isEmpty() ? QStringLiteral("controller") : name)
                                                                + QStringLiteral(".json"));
    if (path.isEmpty())
        return;
    String error;
    if (!settings.Save(path.toStdString(), error))
        Box(QMessageBox::Warning, Text("msg_settings-nowrite", "The settings cannot be written to %1: %2")
                                      .arg(path, Q(error)));
}

void TServiceRecordMenu::ApplySettingsClick()
{
    if (applyCheck_->isActive() || !Connected())
        return;
    const QString path = ChooseFile(false, SettingsFolder(), QString());
    if (path.isEmpty())
        return;
    TSettingsFile file;
    String error;
    const QString refused = Text("msg_settings-refused", "%1 cannot be applied: %2. Nothing was written.");
    if (!TSettingsFile::Load(path.toStdString(), file, error)) {
        Box(QMessageBox::Warning, refused.arg(path, Q(error)));
        return;
    }
    if (const QString refusal = RefusalText(file.Refusal(session_)); !refusal.isEmpty()) {
        Box(QMessageBox::Warning, refused.arg(path, refusal));
        return;
    }
    const std::vector<TSettingsDifference> changes = file.Differences(session_);
    if (changes.empty()) {
        Box(QMessageBox::Information,
            Text("msg_settings-same", "The controller holds the settings of %1 already.").arg(path));
        return;
    }
    QString lines;
    for (const TSettingsDifference& d : changes)
        lines += QStringLiteral("\n") + DifferenceLine(d);
    if (!Box(QMessageBox::Question, Text("msg_settings-apply-ask", "Apply %1 to this controller?%2").arg(path, lines),
             true))
        return;
    if (session_.DeviceState() != dsConnected) { // lost while the question was open
        Connected();
        return;
    }
    applyPath_ = path;
    applyFile_ = file;
    applyChanges_ = TSettingsFile::DifferencesText(changes);
    applyChecks_ = 0;
    session_.WriteParameters(file.OpenTime, file.BreakTime);
    applyCheck_->start();
}

// The writes are acknowledged and read back when nothing is on its way any more and the
// controller holds the file's values; a device lost or a read-back that differs fails it.
void TServiceRecordMenu::CheckApplied()
{
    const bool settled = session_.Requests().Empty();
    const std::vector<TSettingsDifference> left = applyFile_.Differences(session_);
    const bool lost = session_.DeviceState() != dsConnected;
    if (!lost && (!settled || !left.empty()) && ++applyChecks_ < ApplyCheckLimit)
        return;
    applyCheck_->stop();
    const String file = applyPath_.toStdString();
    if (!lost && left.empty()) {
        session_.NoteSettingsApplied(file, "ok", applyChanges_, {});
        Box(QMessageBox::Information, Text("msg_settings-applied", "The controller holds the settings of %1.")
                                          .arg(applyPath_));
        return;
    }
    const String reason = lost ? String("the device was lost")
                               : "the controller did not take the file's values (read back: "
            + TSettingsFile::DifferencesText(left) + ")";
    session_.NoteSettingsApplied(file, "failed", applyChanges_, reason);
    Box(QMessageBox::Warning, Text("msg_settings-notapplied", "The controller did not take the settings of %1: %2")
                                  .arg(applyPath_, Q(reason)));
}

void TServiceRecordMenu::JournalClick()
{
    const String device = session_.DeviceState() > dsNone ? TAnsiCodePage().Decode(session_.DeviceInfo().SerialNumber())
                                                          : String();
    TJournalDialog dialog(window_, journal_.File().Path(), device, texts_);
    dialog.exec();
}

} // namespace fk
