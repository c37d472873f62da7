#include "cli/DeviceText.h"

#include <cstdio>

namespace fk {

String TDeviceText::Escaped(const String& utf8)
{
    String out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t cp = 0;
        std::size_t count = 1;
        char buffer[12];
        if (!TAnsiCodePage::NextCodePoint(utf8, pos, cp, count)) {
            std::snprintf(buffer, sizeof buffer, "\\x%02X", static_cast<unsigned char>(utf8[pos]));
            out += buffer;
        } else if (cp == '\\') {
            out += "\\\\";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp == 0x1B) {
            out += "\\e";
        } else if (cp < 0x20 || cp == 0x7F) {
            std::snprintf(buffer, sizeof buffer, "\\x%02X", static_cast<unsigned>(cp));
            out += buffer;
        } else if (cp >= 0x80 && cp <= 0x9F) {
            std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(cp));
            out += buffer;
        } else {
            out.append(utf8, pos, count);
        }
        pos += count;
    }
    return out;
}

} // namespace fk
