#include "app/AnsiTextValidator.h"

#include "support/AnsiCodePage.h"

namespace fk {

TAnsiTextValidator::TAnsiTextValidator(const TAnsiCodePage& codePage, QObject* parent)
    : QValidator(parent)
    , codePage_(codePage)
{
}

bool TAnsiTextValidator::FindRefused(const QString& text, char32_t& found) const
{
    for (const char32_t c : text.toUcs4()) {
        if (IsSeparator(c)) {
            found = c;
            return true;
        }
    }
    String utf8 = text.toStdString();
    AnsiString bytes;
    char32_t bad = 0;
    if (!codePage_.Encode(utf8, bytes, &bad)) {
        found = bad;
        return true;
    }
    return false;
}

QValidator::State TAnsiTextValidator::validate(QString& input, int&) const
{
    char32_t refused = 0;
    if (!FindRefused(input, refused))
        return Acceptable;
    if (!Quiet && OnRefused)
        OnRefused(refused);
    return Invalid;
}

} // namespace fk
