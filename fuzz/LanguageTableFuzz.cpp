// Language tables: any bytes parse without a crash; every line has a key without surrounding
// blanks and no "=" in it, and the lines are never more than the table has line breaks + 1.
#include "support/LanguageTable.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fk::TLanguageTable::TLines lines;
    const bool ok = fk::TLanguageTable::Parse(data, size, lines);
    if (ok != (size > 0))
        std::abort();
    const std::size_t breaks = static_cast<std::size_t>(std::count(data, data + size, std::uint8_t('\n')));
    if (lines.size() > breaks + 1)
        std::abort();
    for (const auto& [key, text] : lines) {
        (void)text;
        if (key.empty() || key.find('=') != fk::String::npos || key.front() == ' ' || key.front() == '\t' ||
            key.back() == ' ' || key.back() == '\t')
            std::abort();
    }
    return 0;
}
