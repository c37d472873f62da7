// Version information: any bytes taken as an executable file and as a version block are read
// without a crash or a read outside them; what a query finds lies inside the block.
#include "support/ElfFile.h"
#include "support/VersionBlock.h"
#include "support/VersionInfo.h"

#include <cstdlib>

namespace {

void QueryAll(const fk::TByteString& block)
{
    const char* paths[] = { "\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\ProductName",
                            "\\StringFileInfo\\040904E4\\LegalCopyright", "\\StringFileInfo", "\\\\x\\" };
    for (const char* path : paths) {
        const auto value = fk::TVersionBlock::Query(block, path);
        if (!value)
            continue;
        const std::size_t bytes = value->Text ? std::size_t(value->Length) * 2 : value->Length;
        if (value->Data < block.data() || value->Data + bytes > block.data() + block.size())
            std::abort();
        (void)fk::TVersionBlock::TextOf(*value);
        fk::TFixedFileInfo fixed;
        (void)fk::TFixedFileInfo::Parse(value->Data, value->Length, fixed);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fk::TByteString bytes(data, data + size);
    QueryAll(bytes);
    fk::TByteString section;
    if (fk::TElfFile::FindSection(bytes, fk::TVersionInfo::SectionName, section)) {
        if (section.size() > size || section.size() > fk::TElfFile::MaxSectionSize)
            std::abort();
        QueryAll(section);
    }
    return 0;
}
