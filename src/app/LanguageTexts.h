#pragma once
// The texts of the user interface in the chosen language. Each language is a table compiled
// into the program (resources 1 English, 2 Polish, 3 Russian): UTF-16LE text after a byte-order
// mark, lines ending in CR LF, each a key, one or more TABs, "=" and the text. Blank lines
// separate groups. Loading a table sets the keys it carries and keeps the others, so a table
// that lacks a key leaves that text as it was; the 22 message texts fall back to English.
// Plain logic: the windows take their captions from here.
#include "platform/Types.h"
#include "session/MessageTable.h"
#include "support/LanguageTable.h"

#include <map>

namespace fk {

class TLanguageTexts {
public:
    using TLines = TLanguageTable::TLines;

    static constexpr int LanguageCount = 3;
    // Windows language identifiers of the languages, by index (English, Polish, Russian).
    static constexpr u16 LanguageIds[LanguageCount] = { 0x0409, 0x0415, 0x0419 };
    // The codes of the languages, as the help documents' names carry them.
    static constexpr const char* LanguageCodes[LanguageCount] = { "EN", "PL", "RU" };

    // Reads the compiled-in table with that id (1..3). False when it is missing or empty.
    static bool LoadLanguageTable(int id, TLines& lines);

    // Sets every key of lines and refreshes the message texts.
    void Apply(const TLines& lines);
    // Loads table index + 1 and applies it; false (nothing changed) when it cannot be loaded.
    bool SetLanguage(int index);

    // The text of a key; a key not seen before is added with an empty text.
    const String& Translate(const String& key);
    // The message text of an index (English when the table has none; empty beyond 0..21).
    const String& MessageText(int index) const { return messages_.MessageText(index); }
    const TMessageTable& Messages() const noexcept { return messages_; }

private:
    std::map<String, String> texts_;
    TMessageTable messages_;
};

} // namespace fk
