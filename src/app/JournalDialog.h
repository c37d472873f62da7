#pragma once
// The service journal's dialog: the records of one controller (all records when none is
// connected), newest first, with an export to CSV for a service report.
#include "session/ServiceJournal.h"

#include <QDialog>

#include <functional>
#include <vector>

class QTableWidget;

namespace fk {

class TLanguageTexts;

class TJournalDialog : public QDialog {
public:
    // device: the serial number whose records are shown; empty: every record.
    TJournalDialog(QWidget* parent, const String& journalPath, const String& device, TLanguageTexts& texts);

    const std::vector<TJournalEntry>& Entries() const noexcept { return entries_; }
    // Writes the records shown (oldest first, as the tool's CSV) to path. False with error set.
    bool ExportCsv(const QString& path, QString& error) const;
    // Chooses the CSV file to write; empty: cancelled. Tests replace it.
    std::function<QString()> ChooseCsvFile;

private:
    void ExportClick();

    std::vector<TJournalEntry> entries_; // newest first
    TLanguageTexts& texts_;
};

} // namespace fk
