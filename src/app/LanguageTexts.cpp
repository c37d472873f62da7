#include "app/LanguageTexts.h"

#include "support/LanguageTable.h"

#include <QByteArray>
#include <QFile>

// The tables are compiled into the library; a static library's resources must be registered.
static void InitLanguageResources()
{
    Q_INIT_RESOURCE(lang);
}

namespace fk {

namespace {

void InitResources()
{
    static const bool done = [] {
        InitLanguageResources();
        return true;
    }();
    (void)done;
}

} // namespace

bool TLanguageTexts::LoadLanguageTable(int id, TLines& lines)
{
    InitResources();
    QFile file(QStringLiteral(":/lang/%1").arg(id));
    if (!file.open(QIODevice::ReadOnly)) {
        lines.clear();
        return false;
    }
    const QByteArray bytes = file.readAll();
    return TLanguageTable::Parse(reinterpret_cast<const u8*>(bytes.constData()), static_cast<std::size_t>(bytes.size()),
                                 lines);
}

void TLanguageTexts::Apply(const TLines& lines)
{
    for (const auto& [name, text] : lines)
        texts_[name] = text;
    messages_.Translate([this](const String& key) {
        const auto it = texts_.find(key);
        return it == texts_.end() ? String() : it->second;
    });
}

bool TLanguageTexts::SetLanguage(int index)
{
    TLines lines;
    if (index < 0 || !LoadLanguageTable(index + 1, lines))
        return false;
    Apply(lines);
    return true;
}

const String& TLanguageTexts::Translate(const String& key)
{
    return texts_[key];
}

} // namespace fk
