#include "app/JournalDialog.h"

#include "app/Accelerators.h"
#include "app/LanguageTexts.h"
#include "app/ObjectNames.h"
#include "app/TracedMessageBox.h"
#include "session/DeviceSession.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace fk {

namespace {

// Control characters of a device's text are shown, not acted on (as the tool shows them).
String Escaped(const String& text)
{
    String out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

QString Q(const String& s) { return QString::fromStdString(Escaped(s)); }

using TText = std::function<QString(const char* key, const char* english)>;

// A record in the user's language, from its stored fields; a record of a kind this window
// does not know keeps the journal's own one-line description.
QString RecordText(const TJournalEntry& e, const TText& text)
{
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(e.Line)).object();
    const auto field = [&](const char* name) { return Q(o.value(QLatin1String(name)).toString().toStdString()); };
    const auto number = [&](const char* name) { return o.value(QLatin1String(name)).toInt(); };
    const auto known = [&](const char* name) {
        const QString v = field(name);
        return v.isEmpty() ? QStringLiteral("?") : v;
    };
    const int step = TParameterWrites::BreakTimeSeconds;
    if (e.Event == "identified")
        return text("jrn_identified", "connected: %1 (model %2), firmware %3 (%4), open time %5 ms, break time %6 s")
            .arg(field("identifier"))
            .arg(number("model"))
            .arg(field("firmware_version"), field("build_date"))
            .arg(number("open_time"))
            .arg(number("break_time_seconds"));
    if (e.Event == "parameter" && number("offset") == 0)
        return text("jrn_open-time", "open time %1 ms -> %2 ms").arg(number("old")).arg(number("new"));
    if (e.Event == "parameter" && number("offset") == 1)
        return text("jrn_break-time", "break time %1 s -> %2 s").arg(number("old") * step).arg(number("new") * step);
    if (e.Event == "venting")
        return text("jrn_venting", "venting toggled");
    if (e.Event == "restart")
        return text("jrn_restart", "restarted");
    const auto result = [&] {
        const QString r = field("result");
        if (r == QLatin1String("ok"))
            return text("jrn_result-ok", "ok");
        if (r == QLatin1String("failed"))
            return text("jrn_result-failed", "failed");
        if (r == QLatin1String("aborted"))
            return text("jrn_result-aborted", "aborted");
        return r;
    };
    const auto withMessage = [&](QString line) {
        if (const QString message = field("message"); !message.isEmpty())
            line += QStringLiteral(" (") + message + QStringLiteral(")");
        return line;
    };
    if (e.Event == "upload")
        return withMessage(text("jrn_upload", "firmware upload %1: image %2 (MD5 %3), firmware %4 -> %5")
                               .arg(result(), field("image_identifier"), field("image_digest"),
                                    known("firmware_before"), known("firmware_after")));
    if (e.Event == "settings-applied") {
        QString line = text("jrn_settings", "settings file %1 applied: %2").arg(field("file"), result());
        if (const QString changes = field("changes"); !changes.isEmpty())
            line += QStringLiteral(" (") + changes + QStringLiteral(")");
        return withMessage(line);
    }
    return Q(e.Description);
}

} // namespace

TJournalDialog::TJournalDialog(QWidget* parent, const String& journalPath, const String& device, TLanguageTexts& texts)
    : QDialog(parent)
    , texts_(texts)
{
    setObjectName(QLatin1String(names::JournalDialog));
    const auto text = [&](const char* key, const char* english) {
        const String t = texts_.Translate(key);
        return t.empty() ? QString::fromUtf8(english) : QString::fromStdString(t);
    };
    setWindowTitle(text("dlg_journal", "Service Journal"));
    for (TJournalEntry& e : TServiceJournal::Read(journalPath))
        if (device.empty() || e.Device == device)
            entries_.push_back(std::move(e));
    std::reverse(entries_.begin(), entries_.end());

    auto* table = new QTableWidget(static_cast<int>(entries_.size()), 5, this);
    table->setObjectName(QLatin1String(names::JournalTable));
    table->setHorizontalHeaderLabels({text("col_jrn-time", "Time (UTC)"), text("col_jrn-program", "Program"),
                                      text("col_jrn-port", "Port"), text("col_jrn-user", "User"),
                                      text("col_jrn-record", "Record")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (std::size_t row = 0; row < entries_.size(); ++row) {
        const TJournalEntry& e = entries_[row];
        String time = e.Time.substr(0, 19);
        if (time.size() > 10)
            time[10] = ' ';
        QString record = RecordText(e, text);
        if (device.empty() && !e.Device.empty())
            record = Q(e.Device) + QStringLiteral(": ") + record;
        const QString cells[5] = {Q(time), Q(e.Program), Q(e.Port), Q(e.User), record};
        for (int column = 0; column < 5; ++column)
            table->setItem(static_cast<int>(row), column, new QTableWidgetItem(cells[column]));
    }
    table->resizeColumnsToContents();

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* exportButton = buttons->addButton(text("btn_jrn-export", "Export CSV...") , QDialogButtonBox::ActionRole);
    exportButton->setObjectName(QLatin1String(names::JournalExportButton));
    exportButton->setEnabled(!entries_.empty());
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setText(text("btn_jrn-close", "Close"));
    connect(exportButton, &QPushButton::clicked, this, [this] { ExportClick(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addWidget(buttons);
    resize(720, 360);
    table->setAccessibleName(windowTitle());
    TAccelerators::Apply(this);

    ChooseCsvFile = [this, text] {
        return QFileDialog::getSaveFileName(this, text("btn_jrn-export", "Export CSV..."), QString(),
                                            text("txt_filter-csv", "CSV files") + QStringLiteral(" (*.csv)"));
    };
}

bool TJournalDialog::ExportCsv(const QString& path, QString& error) const
{
    String csv = TServiceJournal::CsvHeader;
    for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
        const String cells[7] = {e->Time, e->Program, e->Port, e->User, e->Device, e->Event, e->Description};
        for (int i = 0; i < 7; ++i)
            csv += (i ? "," : "") + TServiceJournal::CsvCell(Escaped(cells[i]));
        csv += "\r\n";
    }
    QSaveFile file(path);
    const QByteArray bytes = QByteArray::fromStdString(csv);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

void TJournalDialog::ExportClick()
{
    const QString path = ChooseCsvFile ? ChooseCsvFile() : QString();
    if (path.isEmpty())
        return;
    QString error;
    if (ExportCsv(path, error))
        return;
    const String format = texts_.Translate("msg_jrn-export-fail");
    const QString text = (format.empty() ? QStringLiteral("The journal cannot be written to %1: %2")
                                         : QString::fromStdString(format))
                             .arg(path, error);
    QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box.setObjectName(QLatin1String(names::SettingsFileBox));
    TTracedMessageBox::Exec(box);
}

} // namespace fk
