#include "app/LanguageTexts.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// The tables are compiled into the library; a static library's resources must be registered.
static void InitLanguageResources()
{
    Q_INIT_RESOURCE(lang);
}

namespace fk {

namespace {

// Length of the byte-order mark at the start of bytes, 0 when there is none.
int ByteOrderMarkLength(const QByteArray& b)
{
    auto starts = [&b](std::initializer_list<unsigned char> mark) {
        if (b.size() < static_cast<qsizetype>(mark.size()))
            return false;
        qsizetype i = 0;
        for (unsigned char c : mark)
            if (static_cast<unsigned char>(b[i++]) != c)
                return false;
        return true;
    };
    if (starts({ 0xFF, 0xFE, 0x00, 0x00 }) || starts({ 0x00, 0x00, 0xFE, 0xFF }))
        return 4;
    if (starts({ 0xEF, 0xBB, 0xBF }))
        return 3;
    if (starts({ 0xFF, 0xFE }) || starts({ 0xFE, 0xFF }))
        return 2;
    return 0;
}

String Trimmed(const QString& s)
{
    qsizetype begin = 0, end = s.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(s[begin]))
        ++begin;
    while (end > begin && blank(s[end - 1]))
        --end;
    return s.mid(begin, end - begin).toStdString();
}

void InitResources()
{
    static const bool done = [] {
        InitLanguageResources();
        return true;
    }();
    (void)done;
}

} // namespace

bool TLanguageTexts::ParseLanguageTable(const QByteArray& bytes, TLines& lines)
{
    lines.clear();
    if (bytes.isEmpty())
        return false;
    const int skip = ByteOrderMarkLength(bytes);
    const qsizetype units = (bytes.size() - skip) / 2;
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + skip), units);
    for (const QString& raw : text.split(u'\n')) {
        QString line = raw;
        if (line.endsWith(u'\r'))
            line.chop(1);
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        String name = Trimmed(line.left(eq));
        if (name.empty())
            continue;
        lines.emplace_back(std::move(name), line.mid(eq + 1).toStdString());
    }
    return true;
}

bool TLanguageTexts::LoadLanguageTable(int id, TLines& lines)
{
    InitResources();
    QFile file(QStringLiteral(":/lang/%1").arg(id));
    if (!file.open(QIODevice::ReadOnly)) {
        lines.clear();
        return false;
    }
    return ParseLanguageTable(file.readAll(), lines);
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
