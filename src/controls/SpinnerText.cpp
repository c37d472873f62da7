#include "controls/SpinnerText.h"

#include "support/MyString.h"

#include <charconv>
#include <cmath>
#include <string>

namespace fk {

namespace {

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool IsSign(QChar c)
{
    return c == QLatin1Char('+') || c == QLatin1Char('-');
}

// Where the characters that arrived with the last change lie in newText: [begin, end).
// An edit replaces a run of oldText by a run of newText; the caret sits behind the new run
// when the user typed or pasted, so that reading is tried first.
void ArrivedRun(const QString& oldText, const QString& newText, int caret, int& begin, int& end)
{
    const int oldLen = static_cast<int>(oldText.size());
    const int newLen = static_cast<int>(newText.size());
    int tail = newLen - caret;
    if (caret < 0 || caret > newLen || tail > oldLen ||
        QStringView(newText).mid(caret) != QStringView(oldText).mid(oldLen - tail)) {
        // No run ends at the caret: take the longest common tail.
        tail = 0;
        while (tail < oldLen && tail < newLen && oldText[oldLen - 1 - tail] == newText[newLen - 1 - tail])
            ++tail;
    }
    int head = 0;
    const int headLimit = std::min(newLen - tail, oldLen - tail);
    while (head < headLimit && oldText[head] == newText[head])
        ++head;
    begin = head;
    end = newLen - tail;
}

} // namespace

TSpinnerText::TEdit TSpinnerText::Filter(const QString& oldText, const QString& newText, int caret,
                                         bool decimalsAllowed, const QString& decimalSeparator)
{
    TEdit out{newText, caret, false};
    int begin = 0, end = 0;
    ArrivedRun(oldText, newText, caret, begin, end);
    if (begin >= end)
        return out; // only removed characters

    QString& text = out.text;
    const QString& sep = decimalSeparator.isEmpty() ? QStringLiteral(".") : decimalSeparator;
    int i = begin;
    while (i < end) {
        const QChar c = text[i];
        // The text without the character looked at.
        const QString rest = QString(text).remove(i, 1);
        const bool restHasSign = rest.contains(QLatin1Char('+')) || rest.contains(QLatin1Char('-'));
        const bool restHasSeparator = rest.contains(sep);
        const bool isSeparator = sep.size() == 1 && c == sep[0];
        bool keep = IsDigit(c) || (IsSign(c) && i == 0 && !restHasSign) ||
                    (isSeparator && decimalsAllowed && !restHasSeparator);
        if (keep) {
            ++i;
            continue;
        }
        int removed = 1;
        // A surrogate pair is one character: take both halves away.
        if (c.isHighSurrogate() && i + 1 < end && text[i + 1].isLowSurrogate())
            removed = 2;
        out.changed = true;
        if (decimalsAllowed && !restHasSeparator && (c == QLatin1Char('.') || c == QLatin1Char(','))) {
            text.replace(i, removed, sep);
            const int grown = static_cast<int>(sep.size()) - removed;
            end += grown;
            if (out.caret > i)
                out.caret += grown;
            i += static_cast<int>(sep.size());
            continue;
        }
        text.remove(i, removed);
        end -= removed;
        if (out.caret > i)
            out.caret = std::max(i, out.caret - removed);
    }
    return out;
}

bool TSpinnerText::Parse(const QString& text, const QString& decimalSeparator, double& value)
{
    const QString trimmed = text.trimmed();
    const QString& sep = decimalSeparator.isEmpty() ? QStringLiteral(".") : decimalSeparator;
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(trimmed.size()));
    for (qsizetype i = 0; i < trimmed.size();) {
        if (QStringView(trimmed).mid(i).startsWith(sep)) {
            ascii += '.';
            i += sep.size();
            continue;
        }
        const QChar c = trimmed[i];
        // Digits, sign and exponent only; a full stop only where it is the separator.
        if (!(IsDigit(c) || IsSign(c) || c == QLatin1Char('e') || c == QLatin1Char('E')))
            return false;
        ascii += static_cast<char>(c.unicode());
        ++i;
    }
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    const bool plus = first != last && *first == '+';
    if (plus)
        ++first;
    if (first == last || *first == '+' || (plus && *first == '-'))
        return false;
    double parsed = 0;
    const auto [ptr, ec] = std::from_chars(first, last, parsed);
    if (ec != std::errc() || ptr != last || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

QString TSpinnerText::Format(const String& pattern, double value, const QString& decimalSeparator,
                             const QString& groupSeparator)
{
    // The formatter writes one byte per separator; two control characters stand in for the
    // locale's separators, which may be longer than a byte, and are replaced afterwards.
    constexpr char DecimalMark = '\x1f';
    constexpr char GroupMark = '\x1e';
    TFormatSettings marks;
    marks.DecimalSeparator = DecimalMark;
    marks.ThousandSeparator = GroupMark;
    QString text = QString::fromStdString(MyString::SprintFloat(pattern, value, marks));
    text.replace(QLatin1Char(DecimalMark), decimalSeparator.isEmpty() ? QStringLiteral(".") : decimalSeparator);
    text.replace(QLatin1Char(GroupMark), groupSeparator);
    return text;
}

} // namespace fk
