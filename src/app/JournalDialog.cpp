#include "app/JournalDialog.h"

#include "app/LanguageTexts.h"
#include "app/ObjectNames.h"
#include "app/TracedMessageBox.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
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
        String record = e.Description;
        if (device.empty() && !e.Device.empty())
            record = e.Device + ": " + record;
        const String cells[5] = {time, e.Program, e.Port, e.User, record};
        for (int column = 0; column < 5; ++column)
            table->setItem(static_cast<int>(row), column, new QTableWidgetItem(Q(cells[column])));
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
