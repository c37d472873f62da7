#pragma once
// The version information of an executable file: the version block the build embeds in its own
// ELF section (see VersionBlock.h), its fixed version numbers and its translations; and, for
// this program's own executable, the twelve standard strings and the single-instance name.
#include "platform/Types.h"
#include "support/VersionBlock.h"

#include <array>
#include <optional>

namespace fk {

class TVersionInfo {
public:
    // The section the build puts the block in.
    static constexpr const char* SectionName = ".fk_version";
    // Translation used when the block lists none: language 0x0409 (English), code page 1252.
    static constexpr u32 DefaultTranslation = 0x04E40409;

    static constexpr int StringCount = 12;
    // Names of the standard strings, in the order of a string array.
    static const std::array<const char*, StringCount> StringNames;
    using TStrings = std::array<String, StringCount>;
    enum : int {
        siCompanyName, siFileDescription, siFileVersion, siInternalName, siLegalCopyright,
        siLegalTrademarks, siOriginalFileName, siProductName, siProductVersion, siComments,
        siPrivateBuild, siSpecialBuild,
    };

    explicit TVersionInfo(const String& fileName);
    virtual ~TVersionInfo() = default;

    // (Re)reads the block of FileName. False (no fixed information, no translations, empty
    // Data) when the file cannot be read or has no block.
    bool Load();

    const String& FileName() const noexcept { return fileName_; }
    const TByteString& Data() const noexcept { return data_; }
    // The fixed information when the root value is present, more than 51 bytes long and valid.
    const std::optional<TFixedFileInfo>& FixedInfo() const noexcept { return fixedInfo_; }
    const std::vector<u32>& Translations() const noexcept { return translations_; }
    int TranslationCount() const noexcept { return static_cast<int>(translations_.size()); }

    // The twelve strings of translation t (low 16 bits language, high 16 bits code page);
    // a string that is absent or only its terminating zero is empty.
    void ReadStrings(TStrings& strings, u32 translation) const;
    // The same with the first translation, or DefaultTranslation when the block lists none.
    void ReadDefaultStrings(TStrings& strings) const;

private:
    String fileName_;
    TByteString data_;
    std::optional<TFixedFileInfo> fixedInfo_;
    std::vector<u32> translations_;
};

// The version information of the running executable, with its strings and instance name.
class TFileVersionInfo : public TVersionInfo {
public:
    // The GUID that starts every instance name of this program.
    static constexpr const char* InstanceGuid = "{C231D6E0-AD2B-4F08-ADA5-D3FC27275460}";

    // For the running executable (/proc/self/exe).
    TFileVersionInfo();
    // For another file (tests, tools that describe an executable).
    explicit TFileVersionInfo(const String& fileName);

    TStrings Strings;
    String InstanceName;

    // The instance name built from strings: GUID "-" CompanyName "-" '"' OriginalFileName
    // "-v" ProductVersion '"'.
    static String MakeInstanceName(const TStrings& strings);
    // Product name and version as the program shows them: ProductName and the first three
    // numbers of the fixed file version ("Ferrovan-Kest 0.1.0"), or ProductName, a space and
    // ProductVersion when there is no fixed information; empty without a version block.
    String ProductAndVersion() const;
    // The executable's full path ("" when it cannot be found).
    static String ExecutablePath();
};

} // namespace fk
