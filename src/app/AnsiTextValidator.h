#pragma once
// A line edit's filter for texts that travel to a wireless module as 8-bit bytes (an SSID, a
// pass phrase): it refuses an edit that would put in a character the user's code page cannot
// carry, or one of the characters that cut a module command apart (",", CR, LF, NUL). A refused
// edit leaves the box as it was, and OnRefused names the first refused character so the owner
// can show why. Texts set by the program (setText) are not reported while Quiet is on.
#include <QValidator>

#include <functional>

namespace fk {

class TAnsiCodePage;

class TAnsiTextValidator : public QValidator {
    Q_OBJECT
public:
    TAnsiTextValidator(const TAnsiCodePage& codePage, QObject* parent = nullptr);

    // Characters no module text may hold, whatever the code page.
    static bool IsSeparator(char32_t c) noexcept { return c == U',' || c == U'\r' || c == U'\n' || c == 0; }

    // The first character of text that may not go to a module, or 0 when every one may
    // (a text with a NUL reports U+0000 through found).
    bool FindRefused(const QString& text, char32_t& found) const;

    State validate(QString& input, int& pos) const override;

    std::function<void(char32_t refused)> OnRefused;
    bool Quiet = false;

private:
    const TAnsiCodePage& codePage_;
};

} // namespace fk
