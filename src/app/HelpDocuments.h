#pragma once
// Finds the help documents (user manual, wiring diagram): in the Docs folder next to the
// executable (a build folder), then in ../share/doc/ferrovan-kest/ relative to it (an installed
// program). Files are named "Ferrovan-Kest (<kind>-<language code>).pdf", for example
// "Ferrovan-Kest (man-EN).pdf" or "Ferrovan-Kest (diagram-PL).pdf". For a language the lookup
// tries, in order: that language's code, the first language's code (English), "all", and then
// any document of the kind. Opening the found file is the window's business.
#include <QString>
#include <QStringList>

namespace fk {

// The document kinds of the Help menu.
inline const QString HelpManual = QStringLiteral("man");
inline const QString HelpWiring = QStringLiteral("diagram");

struct THelpLookup {
    QString Path;          // the document found, empty when none
    QString Folder;        // the folder the document was found in, else the first one looked in
    bool FolderExists = false; // whether any of the folders exists
    QStringList Folders;   // the folders looked in, in order
    QStringList Patterns;  // the file name patterns tried, in order

    bool Found() const { return !Path.isEmpty(); }
    // What was looked for, one full pattern per line (for each folder in turn), for the message
    // shown when nothing matched.
    QString LookedFor() const;
};

class THelpDocuments {
public:
    // baseFolder: the folder holding Docs/ (or share/ beside it); by default the executable's
    // folder.
    explicit THelpDocuments(QString baseFolder = QString());

    const QString& BaseFolder() const { return base_; }
    QString DocsFolder() const;      // base/Docs
    QString InstalledFolder() const; // base/../share/doc/ferrovan-kest

    // kind: HelpManual or HelpWiring. language: index into codes (the Language menu's codes,
    // "EN", "PL", "RU"); the current language's code is tried only when it is a valid index.
    THelpLookup Find(const QString& kind, int language, const QStringList& codes) const;

private:
    QString base_;
};

} // namespace fk
