#include "module/ModuleReply.h"

#include <charconv>

namespace fk {

std::vector<AnsiString> TModuleReply::Fields(const u8* text, std::size_t size)
{
    std::vector<AnsiString> fields(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] == ',')
            fields.emplace_back();
        else
            fields.back().push_back(char(text[i]));
    }
    return fields;
}

std::int32_t TModuleReply::IntDef(const AnsiString& field, std::int32_t def) noexcept
{
    const char* first = field.data();
    const char* last = first + field.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-')
            return def;
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value, 10);
    if (error != std::errc() || end != last || first == last)
        return def;
    return value;
}

bool TModuleReply::FieldSafe(const AnsiString& text) noexcept
{
    return text.find_first_of(std::string_view(",\r\n\0", 4)) == AnsiString::npos;
}

} // namespace fk
