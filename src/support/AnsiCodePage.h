#pragma once
// The 8-bit code page of the texts the device and the wireless modules carry (serial number,
// firmware information, module names, SSIDs, pass phrases), and their conversion to and from
// the program's UTF-8 text. This is the one place where such texts change encoding: the window,
// the tool's text and JSON output and the module dialog's SSID filter all go through it.
//
// The code page is the Windows code page of the user's language: 1250 for Polish, 1251 for
// Russian, 1252 for every other language, taken from the locale (LC_ALL, else LC_CTYPE, else
// LANG). A caller may name the code page instead.
//
// The byte tables are built once, with glibc iconv, when the object is made; afterwards the
// object is read-only and may be shared between threads. A byte the code page leaves
// undefined (0x81 in 1252, for instance) stands for the control character of the same value
// (U+0081), as Windows converts it, so decoding never fails and every text survives a round trip.
#include "platform/Types.h"

#include <array>
#include <utility>
#include <vector>

namespace fk {

class TAnsiCodePage {
public:
    static constexpr unsigned CentralEuropean = 1250; // Polish
    static constexpr unsigned Cyrillic = 1251;        // Russian
    static constexpr unsigned Western = 1252;         // every other language

    // The code page of the user's locale.
    TAnsiCodePage();
    // A named code page (any single-byte "CPnnnn" that iconv knows); 0 is the user's locale's.
    // When iconv cannot provide it, Available() is false and bytes 0x80..0xFF stand for
    // U+0080..U+00FF.
    explicit TAnsiCodePage(unsigned codePage);

    unsigned CodePage() const noexcept { return codePage_; }
    bool Available() const noexcept { return available_; }

    // The code page of a locale name ("pl_PL.UTF-8", "ru", "C"); empty or null gives 1252.
    static unsigned CodePageForLocale(const char* locale) noexcept;
    // The code page of the environment's locale: LC_ALL, else LC_CTYPE, else LANG.
    static unsigned CodePageFromEnvironment() noexcept;

    // 8-bit text to UTF-8. Never fails: every byte has a character.
    String Decode(const AnsiString& text) const;
    // UTF-8 text to 8-bit. False, with out unchanged, when text is not valid UTF-8 or holds a
    // character the code page cannot carry; badCharacter (when given) then receives that
    // character's code point (or 0xFFFD for malformed UTF-8).
    bool Encode(const String& text, AnsiString& out, char32_t* badCharacter = nullptr) const;

    // Decodes one UTF-8 character at text[pos]: its code point and byte count. False for a
    // malformed, overlong or surrogate sequence (count is then 1).
    static bool NextCodePoint(const String& text, std::size_t pos, char32_t& codePoint, std::size_t& count) noexcept;
    // Appends the UTF-8 form of a code point.
    static void AppendUtf8(String& out, char32_t codePoint);

private:
    void Build();

    unsigned codePage_;
    bool available_ = false;
    std::array<char32_t, 128> high_{};                // bytes 0x80..0xFF
    std::vector<std::pair<char32_t, u8>> reverse_;    // sorted by character
};

} // namespace fk
