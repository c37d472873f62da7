#pragma once
// How the tool shows text that it does not control: the 8-bit texts of the device and the
// wireless modules (serial number, firmware information, module names, SSIDs), decoded with
// the user's code page, and any text from outside (port descriptions read from udev, names
// given on the command line). JSON gets UTF-8 (the JSON writer escapes what JSON needs); a
// terminal gets every control character shown as an escape, so that a device or module named
// with an escape sequence cannot act on the terminal.
#include "platform/Types.h"
#include "support/AnsiCodePage.h"

namespace fk {

class TDeviceText {
public:
    explicit TDeviceText(const TAnsiCodePage& codePage)
        : codePage_(codePage)
    {
    }

    // 8-bit text as UTF-8.
    String Utf8(const AnsiString& text) const { return codePage_.Decode(text); }
    // 8-bit text for the terminal: decoded, with its control characters escaped.
    String Printable(const AnsiString& text) const { return Escaped(Utf8(text)); }

    // UTF-8 text for the terminal: C0 controls, DEL and C1 controls are shown as \t, \n, \r,
    // \e or \xHH (C1 as \u00HH), a backslash as \\, and a byte that is not UTF-8 as \xHH.
    static String Escaped(const String& utf8);

private:
    const TAnsiCodePage& codePage_;
};

} // namespace fk
