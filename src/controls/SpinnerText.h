#pragma once
// The spinner's text rules, free of widgets: the filter that keeps what the user types a
// number, reading a typed number, and formatting the value with a pattern. The decimal and
// group separators are the user's locale's, handed in by the widget.
#include "platform/Types.h"

#include <QString>

namespace fk {

class TSpinnerText {
public:
    struct TEdit {
        QString text;
        int caret = 0;
        bool changed = false; // the filter removed or replaced something
    };

    // The edit's text went from oldText to newText with the caret at caret. Each character
    // that arrived (the run before the caret that is not in oldText) stays when it is a digit;
    // a '+' or '-' at the first position when the rest of the text has no sign; the decimal
    // separator when decimals are allowed and the rest of the text has none. Anything else is
    // removed, except that with decimals allowed a '.' or ',' becomes the separator when the
    // rest of the text has none yet. The caret keeps its place behind the run.
    static TEdit Filter(const QString& oldText, const QString& newText, int caret,
                        bool decimalsAllowed, const QString& decimalSeparator);

    // A number written with the locale's decimal separator (blanks around it, a sign and an
    // exponent allowed); false for anything else, also for a '.' where the separator is another
    // character, and for values that are not finite.
    static bool Parse(const QString& text, const QString& decimalSeparator, double& value);

    // value formatted with a float-format pattern ("0", "0.0", "#,##0.00", ...), with the
    // given separators.
    static QString Format(const String& pattern, double value, const QString& decimalSeparator,
                          const QString& groupSeparator);
};

} // namespace fk
