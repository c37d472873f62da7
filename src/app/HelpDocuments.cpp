#include "app/HelpDocuments.h"

#include <QCoreApplication>
#include <QDir>

#include <utility>

namespace fk {

QString THelpLookup::LookedFor() const
{
    QStringList full;
    for (const QString& folder : Folders.isEmpty() ? QStringList{Folder} : Folders)
        for (const QString& pattern : Patterns)
            full << QDir(folder).filePath(pattern);
    return full.join(QLatin1Char('\n'));
}

THelpDocuments::THelpDocuments(QString baseFolder)
    : base_(baseFolder.isEmpty() ? QCoreApplication::applicationDirPath() : std::move(baseFolder))
{
}

QString THelpDocuments::DocsFolder() const { return QDir(base_).filePath(QStringLiteral("Docs")); }

QString THelpDocuments::InstalledFolder() const
{
    return QDir::cleanPath(QDir(base_).filePath(QStringLiteral("../share/doc/ferrovan-kest")));
}

THelpLookup THelpDocuments::Find(const QString& kind, int language, const QStringList& codes) const
{
    THelpLookup lookup;
    lookup.Folders = QStringList{DocsFolder(), InstalledFolder()};
    lookup.Folder = lookup.Folders.first();
    const QString prefix = QStringLiteral("Ferrovan* (") + kind;
    if (language >= 0 && language < codes.size())
        lookup.Patterns << prefix + QLatin1Char('-') + codes[language] + QStringLiteral(").pdf");
    if (language != 0 && !codes.isEmpty())
        lookup.Patterns << prefix + QLatin1Char('-') + codes.first() + QStringLiteral(").pdf");
    lookup.Patterns << prefix + QStringLiteral("-all).pdf") << prefix + QStringLiteral("*).pdf");

    for (const QString& folder : std::as_const(lookup.Folders)) {
        const QDir docs(folder);
        if (!docs.exists())
            continue;
        lookup.FolderExists = true;
        for (const QString& pattern : std::as_const(lookup.Patterns)) {
            // Names compare without regard to letter case, sorted so the choice does not depend
            // on the order the file system lists them in.
            const QStringList hits = docs.entryList({pattern}, QDir::Files | QDir::Readable, QDir::Name);
            if (!hits.isEmpty()) {
                lookup.Folder = folder;
                lookup.Path = docs.filePath(hits.first());
                return lookup;
            }
        }
    }
    return lookup;
}

} // namespace fk
