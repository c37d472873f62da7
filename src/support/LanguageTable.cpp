#include "support/LanguageTable.h"

#include <QString>
#include <QStringList>
#include <initializer_list>

namespace fk {

namespace {

// Length of the byte-order mark at the start of the data, 0 when there is none.
std::size_t ByteOrderMarkLength(const u8* data, std::size_t size)
{
    auto starts = [data, size](std::initializer_list<u8> mark) {
        if (size < mark.size())
            return false;
        std::size_t i = 0;
        for (u8 c : mark)
            if (data[i++] != c)
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

} // namespace

bool TLanguageTable::Parse(const u8* data, std::size_t size, TLines& lines)
{
    lines.clear();
    if (!data || size == 0)
        return false;
    const std::size_t skip = ByteOrderMarkLength(data, size);
    // Assembled byte by byte: the text may start at an odd offset.
    QString text;
    text.reserve(static_cast<qsizetype>((size - skip) / 2));
    for (std::size_t i = skip; i + 1 < size; i += 2)
        text.append(QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8))));
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

} // namespace fk
