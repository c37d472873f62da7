#pragma once
// The reader of the user interface's language tables: UTF-16LE text after a byte-order mark,
// lines ending in CR LF, each a key, one or more TABs, "=" and the text; blank lines separate
// groups. Plain logic over bytes, so it can be fed anything.
#include "platform/Types.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace fk {

class TLanguageTable {
public:
    using TLines = std::vector<std::pair<String, String>>;

    // Splits a table into (key, text) lines in UTF-8. A byte-order mark at the start (UTF-8,
    // UTF-16 of either order, UTF-32) is skipped and the rest is read as UTF-16LE (an odd last
    // byte is ignored); the key is what stands before the first "=", trimmed of spaces and
    // TABs; lines without a key are dropped. False (no lines) for empty input.
    static bool Parse(const u8* data, std::size_t size, TLines& lines);
};

} // namespace fk
