#pragma once
// Qt's own texts (the buttons of the questions, the file dialog, the context menus of edit
// boxes) in the language of the user interface, from the translations Qt installs
// ("qtbase_pl.qm", "qtbase_ru.qm"; Debian's qt6-translations-l10n). English needs none.
// Switching removes the previous language's translator and installs the new one, so windows
// that are open follow at once.
#include <QString>

#include <memory>

class QTranslator;

namespace fk {

class TQtTranslations {
public:
    TQtTranslations();
    ~TQtTranslations();
    TQtTranslations(const TQtTranslations&) = delete;
    TQtTranslations& operator=(const TQtTranslations&) = delete;

    // Shows Qt's texts in the language with that code ("EN", "PL", "RU"). False when Qt has no
    // translation installed for it: its texts are then English.
    bool SetLanguage(const QString& code);
    // The folder Qt's translations are read from.
    static QString Folder();

private:
    std::unique_ptr<QTranslator> translator_;
};

} // namespace fk
