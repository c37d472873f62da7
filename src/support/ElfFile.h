#pragma once
// Reads one named section out of an ELF file (32- or 64-bit, either byte order), for the version
// block that the build embeds in its executables. Every offset and size is checked against the
// file, so a truncated or damaged file gives no section instead of a wild read.
#include "platform/Types.h"

#include <string_view>

namespace fk {

class TElfFile {
public:
    // Sections larger than this are not read (the version block is a few hundred bytes).
    static constexpr u64 MaxSectionSize = 1u << 20;

    // True with the section's bytes in out; false (out empty, last error set) when the file
    // cannot be read (2 not found, 5 denied), is not ELF or is damaged (13 invalid data), or
    // has no section of that name (1813, no version resource).
    static bool ReadSection(const String& fileName, std::string_view sectionName, TByteString& out);
    // The same over bytes already in memory.
    static bool FindSection(const TByteString& file, std::string_view sectionName, TByteString& out);
};

} // namespace fk
