#pragma once
// TWindowNotices: the main window's warnings about itself: the settings file that was set
// aside, settings that cannot be saved (told once per run), and a single-instance guard that
// does not hold. Each is a box on the window in the language shown; once the window is
// stopping (ended by a signal, nobody there to answer a box) the settings warnings go to
// standard error instead.
#include "platform/Types.h"

#include <QString>

class QWidget;

namespace fk {

class TLanguageTexts;

class TWindowNotices {
public:
    TWindowNotices(QWidget& window, TLanguageTexts& texts, const QString& caption);
    TWindowNotices(const TWindowNotices&) = delete;
    TWindowNotices& operator=(const TWindowNotices&) = delete;

    // True when a box was shown (and answered): keys held meanwhile are to be forgotten.
    bool SettingsSetAside(const String& copy, bool stopping);
    bool SettingsNotSaved(const String& problem, bool stopping);
    // The guard holds but a second start cannot reach the window (guardHolds), or one
    // instance at a time cannot be ensured; problem says why. Not modal.
    void GuardProblem(const QString& problem, bool guardHolds);

private:
    QString Text(const char* key, const char* english) const;

    QWidget& window_;
    TLanguageTexts& texts_;
    QString caption_;
    bool settingsFailureShown_ = false;
};

} // namespace fk
