#include "support/AnsiCodePage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <strings.h>

namespace fk {

TAnsiCodePage::TAnsiCodePage()
    : TAnsiCodePage(0)
{
}

TAnsiCodePage::TAnsiCodePage(unsigned codePage)
    : codePage_(codePage != 0 ? codePage : CodePageFromEnvironment())
{
    Build();
}

unsigned TAnsiCodePage::CodePageForLocale(const char* locale) noexcept
{
    if (!locale)
        return Western;
    // The language is what comes before the territory, the code set and the modifier.
    const std::size_t length = std::strcspn(locale, "_.@");
    auto is = [&](const char* language) {
        return length == std::strlen(language) && strncasecmp(locale, language, length) == 0;
    };
    if (is("pl"))
        return CentralEuropean;
    if (is("ru"))
        return Cyrillic;
    return Western;
}

unsigned TAnsiCodePage::CodePageFromEnvironment() noexcept
{
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return CodePageForLocale(value);
    }
    return Western;
}

void TAnsiCodePage::Build()
{
    for (unsigned i = 0; i < high_.size(); ++i)
        high_[i] = 0x80 + i;
    const std::string name = "CP" + std::to_string(codePage_);
    iconv_t cd = iconv_open("UTF-32LE", name.c_str());
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        available_ = true;
        for (unsigned i = 0; i < high_.size(); ++i) {
            char in = static_cast<char>(0x80 + i);
            unsigned char out[8] = {};
            char* inPtr = &in;
            char* outPtr = reinterpret_cast<char*>(out);
            std::size_t inLeft = 1, outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr); // fresh state for every byte
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)
                && sizeof out - outLeft == 4) {
                high_[i] = char32_t(out[0]) | char32_t(out[1]) << 8 | char32_t(out[2]) << 16 | char32_t(out[3]) << 24;
            }
            // Otherwise the code page leaves the byte undefined: it keeps U+0080 + i.
        }
        iconv_close(cd);
    }
    reverse_.clear();
    reverse_.reserve(high_.size());
    for (unsigned i = 0; i < high_.size(); ++i)
        reverse_.emplace_back(high_[i], static_cast<u8>(0x80 + i));
    std::sort(reverse_.begin(), reverse_.end());
}

String TAnsiCodePage::Decode(const AnsiString& text) const
{
    String out;
    out.reserve(text.size() + text.size() / 2);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            out += c;
        else
            AppendUtf8(out, high_[byte - 0x80]);
    }
    return out;
}

bool TAnsiCodePage::Encode(const String& text, AnsiString& out, char32_t* badCharacter) const
{
    AnsiString result;
    result.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        std::size_t count = 1;
        if (!NextCodePoint(text, pos, cp, count)) {
            if (badCharacter)
                *badCharacter = 0xFFFD;
            return false;
        }
        pos += count;
        if (cp < 0x80) {
            result += static_cast<char>(cp);
            continue;
        }
        const auto it = std::lower_bound(reverse_.begin(), reverse_.end(), std::make_pair(cp, u8(0)));
        if (it == reverse_.end() || it->first != cp) {
            if (badCharacter)
                *badCharacter = cp;
            return false;
        }
        result += static_cast<char>(it->second);
    }
    out = std::move(result);
    return true;
}

bool TAnsiCodePage::NextCodePoint(const String& text, std::size_t pos, char32_t& codePoint,
                                  std::size_t& count) noexcept
{
    count = 1;
    if (pos >= text.size())
        return false;
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        codePoint = lead;
        return true;
    }
    std::size_t n;
    char32_t cp;
    char32_t min;
    if ((lead & 0xE0) == 0xC0) {
        n = 2, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        n = 3, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        n = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (pos + n > text.size())
        return false;
    for (std::size_t i = 1; i < n; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80)
            return false;
        cp = cp << 6 | (next & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    codePoint = cp;
    count = n;
    return true;
}

void TAnsiCodePage::AppendUtf8(String& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace fk
