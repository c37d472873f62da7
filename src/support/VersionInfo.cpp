#include "support/VersionInfo.h"

#include "support/ElfFile.h"

#include <cstdio>
#include <unistd.h>

namespace fk {

const std::array<const char*, TVersionInfo::StringCount> TVersionInfo::StringNames = {
    "CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright", "LegalTrademarks",
    "OriginalFileName", "ProductName", "ProductVersion", "Comments", "PrivateBuild", "SpecialBuild",
};

TVersionInfo::TVersionInfo(const String& fileName) : fileName_(fileName)
{
    Load();
}

bool TVersionInfo::Load()
{
    fixedInfo_.reset();
    translations_.clear();
    if (!TElfFile::ReadSection(fileName_, SectionName, data_) || data_.empty()) {
        data_.clear();
        return false;
    }
    if (auto root = TVersionBlock::Query(data_, "\\"); root && !root->Text && root->Length > 51) {
        TFixedFileInfo fixed;
        if (TFixedFileInfo::Parse(root->Data, root->Length, fixed))
            fixedInfo_ = fixed;
    }
    if (auto list = TVersionBlock::Query(data_, "\\VarFileInfo\\Translation"); list && !list->Text && list->Length >= 4) {
        for (unsigned i = 0; i + 4 <= list->Length; i += 4) {
            const u8* p = list->Data + i;
            translations_.push_back(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<u32>(p[3]) << 24));
        }
    }
    return true;
}

void TVersionInfo::ReadStrings(TStrings& strings, u32 translation) const
{
    for (auto& s : strings)
        s.clear();
    char prefix[40];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%08X\\",
                  static_cast<unsigned>((translation << 16) | (translation >> 16)));
    for (int i = 0; i < StringCount; ++i) {
        const auto value = TVersionBlock::Query(data_, String(prefix) + StringNames[static_cast<std::size_t>(i)]);
        if (value && value->Text && value->Length > 1)
            strings[static_cast<std::size_t>(i)] = TVersionBlock::TextOf(*value);
    }
}

void TVersionInfo::ReadDefaultStrings(TStrings& strings) const
{
    ReadStrings(strings, translations_.empty() ? DefaultTranslation : translations_.front());
}

TFileVersionInfo::TFileVersionInfo() : TFileVersionInfo(ExecutablePath()) {}

TFileVersionInfo::TFileVersionInfo(const String& fileName) : TVersionInfo(fileName)
{
    ReadDefaultStrings(Strings);
    InstanceName = MakeInstanceName(Strings);
}

String TFileVersionInfo::MakeInstanceName(const TStrings& strings)
{
    return String(InstanceGuid) + "-" + strings[siCompanyName] + "-\"" + strings[siOriginalFileName] + "-v" +
           strings[siProductVersion] + "\"";
}

String TFileVersionInfo::ProductAndVersion() const
{
    if (Data().empty())
        return {};
    const String& name = Strings[siProductName];
    if (const auto& fixed = FixedInfo()) {
        char numbers[48];
        std::snprintf(numbers, sizeof numbers, " %u.%u.%u", fixed->FileVersionMS >> 16, fixed->FileVersionMS & 0xFFFF,
                      fixed->FileVersionLS >> 16);
        return name + numbers;
    }
    return name + " " + Strings[siProductVersion];
}

String TFileVersionInfo::ExecutablePath()
{
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? String(buf, static_cast<std::size_t>(n)) : String();
}

} // namespace fk
