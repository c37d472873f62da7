#pragma once
// TModuleReply: the small text helpers of the module's command channel: cutting a field list
// at its commas, and reading a decimal field with a default.
#include "platform/Types.h"

#include <cstdint>
#include <vector>

namespace fk {

class TModuleReply {
public:
    // The comma-separated fields of text; always at least one (possibly empty) field.
    static std::vector<AnsiString> Fields(const u8* text, std::size_t size);
    // A decimal integer with an optional sign filling the whole field, or def.
    static std::int32_t IntDef(const AnsiString& field, std::int32_t def) noexcept;
    // True when text can travel as one field: no comma, CR, LF or NUL.
    static bool FieldSafe(const AnsiString& text) noexcept;
};

} // namespace fk
