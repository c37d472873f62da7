#pragma once
// The service record in the window: three items added to the Options menu below what is there
// ("Save Controller Settings...", "Apply Settings File...", "Service Journal..."), and the
// window's service journal, attached to the device session for the window's whole life: the
// session must go first (what it does while it closes is still recorded).
//
// Apply reads the file, refuses one made for another model or holding a value outside the
// controller's range (nothing is written), shows the differences in a Yes/No question, writes
// on Yes through the session's WriteParameters and checks the read-back: the controller must
// hold the file's values, or the user is told what it holds instead.
#include "platform/Types.h"
#include "session/ServiceJournal.h"
#include "session/SettingsFile.h"

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QTimer;
class QWidget;

namespace fk {

class TDeviceSession;
class TLanguageTexts;

class TServiceRecordMenu : public QObject {
public:
    TServiceRecordMenu(QWidget* window, QMenu* menu, TDeviceSession& session, TLanguageTexts& texts);
    ~TServiceRecordMenu() override;

    // The texts of the items in the window's language.
    void ApplyTexts();

    void SaveSettingsClick();
    void ApplySettingsClick();
    void JournalClick();

    // Chooses a settings file (save: a file to write). Empty: cancelled. Tests replace it.
    std::function<QString(bool save, const QString& folder, const QString& name)> ChooseFile;
    // The window's caption for its message boxes.
    std::function<QString()> Caption;

    TServiceJournal& Journal() noexcept { return journal_; }
    // The folder of settings files: $XDG_DATA_HOME/ferrovan-kest (made when needed).
    static QString SettingsFolder();

private:
    QString Text(const char* key, const char* english) const;
    // A message box (warning or information) or a Yes/No question; true for Yes.
    bool Box(int icon, const QString& text, bool question = false);
    bool Connected();
    // A difference as the question shows it: "Open Time: 30 ms -> 22 ms".
    QString DifferenceLine(const TSettingsDifference& d) const;
    // Why a file is refused, in the user's language.
    QString RefusalText(const TSettingsFile::TRefusal& refusal) const;
    void CheckApplied();

    QWidget* window_;
    TDeviceSession& session_;
    TLanguageTexts& texts_;
    TServiceJournal journal_;
    QAction* save_ = nullptr;
    QAction* apply_ = nullptr;
    QAction* journalItem_ = nullptr;
    // An apply under way: the file, its values and what it changes, until the read-back.
    QTimer* applyCheck_ = nullptr;
    int applyChecks_ = 0;
    QString applyPath_;
    TSettingsFile applyFile_;
    String applyChanges_;
};

} // namespace fk
