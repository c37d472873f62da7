#include "app/HelpDocuments.h"

#include <QCoreApplication>
#include <QDir>

#include <utility>

namespace fk {

QString THelpLookup::LookedFor() const
{
    QStringList full;
    for (const QString& pattern : Patterns)
        full << QDir(Folder).filePath(pattern);
    return full.join(QLatin1Char('\n'));
}

THelpDocuments::THelpDocuments(QString baseFolder)
    : base_(baseFolder.isEmpty() ? QCoreApplication::applicationDirPath() : std::move(baseFolder))
{
}

QString THelpDocuments::DocsFolder() const { return QDir(base_).filePath(QStringLiteral("Docs")); }

THelpLookup THelpDocuments::Find(const QString& kind, int language, const QStringList& codes) const
{
    THelpLookup lookup;
    lookup.Folder = DocsFolder();
    const QString prefix = QStringLiteral("Ferrovan* (") + kind;
    if (language >= 0 && language < codes.size())
        lookup.Patterns << prefix + QLatin1Char('-') + codes[language] + QStringLiteral(").pdf");
    if (language != 0 && !codes.isEmpty())
        lookup.Patterns << prefix + QLatin1Char('-') + codes.first() + QStringLiteral(").pdf");
    lookup.Patterns << prefix + QStringLiteral("-all).pdf") << prefix + QStringLiteral("*).pdf");

    const QDir docs(lookup.Folder);
    lookup.FolderExists = docs.exists();
    if (!lookup.FolderExists)
        return lookup;
    for (const QString& pattern : std::as_const(lookup.Patterns)) {
        // Names compare without regard to letter case, sorted so the choice does not depend
        // on the order the file system lists them in.
        const QStringList hits = docs.entryList({pattern}, QDir::Files | QDir::Readable, QDir::Name);
        if (!hits.isEmpty()) {
            lookup.Path = docs.filePath(hits.first());
            break;
        }
    }
    return lookup;
}

} // namespace fk
