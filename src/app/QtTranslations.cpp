#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace fk {

TQtTranslations::TQtTranslations() = default;

TQtTranslations::~TQtTranslations()
{
    if (translator_)
        QCoreApplication::removeTranslator(translator_.get());
}

QString TQtTranslations::Folder() { return QLibraryInfo::path(QLibraryInfo::TranslationsPath); }

bool TQtTranslations::SetLanguage(const QString& code)
{
    if (translator_) {
        QCoreApplication::removeTranslator(translator_.get());
        translator_.reset();
    }
    const QString language = code.toLower();
    if (language == QLatin1String("en"))
        return true; // Qt's texts are English
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + language, Folder()))
        return false;
    QCoreApplication::installTranslator(translator.get());
    translator_ = std::move(translator);
    return true;
}

} // namespace fk
