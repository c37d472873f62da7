#include "platform/LastError.h"
#include "support/ElfFile.h"
#include "support/VersionBlock.h"
#include "support/VersionInfo.h"

#include <QTemporaryDir>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

namespace fk {
namespace {

// A minimal 64-bit little-endian ELF file: the header, the named sections' bytes, the section
// name table and the section headers (a null section first, the name table last).
TByteString MakeElf(const std::vector<std::pair<std::string, TByteString>>& sections)
{
    auto put = [](TByteString& b, std::size_t at, u64 v, unsigned size) {
        for (unsigned i = 0; i < size; ++i)
            b[at + i] = static_cast<u8>(v >> (8 * i));
    };
    TByteString file(64, 0);
    const u8 ident[] = { 0x7F, 'E', 'L', 'F', 2, 1, 1 };
    std::memcpy(file.data(), ident, sizeof ident);
    std::vector<std::pair<u64, u64>> places; // offset, size
    TByteString names(1, 0);
    std::vector<u64> nameOffsets;
    for (const auto& [name, bytes] : sections) {
        places.emplace_back(file.size(), bytes.size());
        file.insert(file.end(), bytes.begin(), bytes.end());
        nameOffsets.push_back(names.size());
        names.insert(names.end(), name.begin(), name.end());
        names.push_back(0);
    }
    const u64 shstrName = names.size();
    const std::string strtab = ".shstrtab";
    names.insert(names.end(), strtab.begin(), strtab.end());
    names.push_back(0);
    const u64 namesOffset = file.size();
    file.insert(file.end(), names.begin(), names.end());
    while (file.size() % 8)
        file.push_back(0);
    const u64 shoff = file.size();
    const u64 count = sections.size() + 2;
    file.resize(shoff + count * 64, 0);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::size_t h = shoff + (i + 1) * 64;
        put(file, h, nameOffsets[i], 4);
        put(file, h + 4, 1, 4); // PROGBITS
        put(file, h + 0x18, places[i].first, 8);
        put(file, h + 0x20, places[i].second, 8);
    }
    const std::size_t h = shoff + (count - 1) * 64;
    put(file, h, shstrName, 4);
    put(file, h + 4, 3, 4); // STRTAB
    put(file, h + 0x18, namesOffset, 8);
    put(file, h + 0x20, names.size(), 8);
    put(file, 0x28, shoff, 8);
    put(file, 0x3A, 64, 2);
    put(file, 0x3C, count, 2);
    put(file, 0x3E, count - 1, 2);
    return file;
}

TByteString SampleBlock(const String& productVersion, std::vector<u32> translations = { TVersionInfo::DefaultTranslation },
                        const String& table = "040904E4")
{
    TFixedFileInfo fixed;
    fixed.FileVersionMS = (1u << 16) | 2;
    fixed.FileVersionLS = (3u << 16) | 4;
    return TVersionBlock::Build(fixed, translations,
                                { { table, { { "CompanyName", "NORDVEL" },
                                             { "OriginalFileName", "ferrovan-kest" },
                                             { "ProductName", "Ferrovan-Kest" },
                                             { "ProductVersion", productVersion },
                                             { "LegalCopyright", "© NORDVEL — Łódź" },
                                             { "Comments", "" } } } });
}

class VersionFile : public ::testing::Test {
protected:
    String Write(const std::string& name, const TByteString& bytes)
    {
        const String path = dir_.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    QTemporaryDir dir_;
};

} // namespace

TEST(VersionBlock, QueriesFindTheRootValueTranslationsAndStrings)
{
    const TByteString block = SampleBlock("1.2.3");
    const auto root = TVersionBlock::Query(block, "\\");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->Length, TFixedFileInfo::Size);
    const auto name = TVersionBlock::Query(block, "\\StringFileInfo\\040904e4\\productname");
    ASSERT_TRUE(name);
    EXPECT_EQ(TVersionBlock::TextOf(*name), "Ferrovan-Kest");
    EXPECT_EQ(name->Length, 14u); // characters with the terminating zero
    const auto copyright = TVersionBlock::Query(block, "\\StringFileInfo\\040904E4\\LegalCopyright");
    ASSERT_TRUE(copyright);
    EXPECT_EQ(TVersionBlock::TextOf(*copyright), "© NORDVEL — Łódź");
    EXPECT_FALSE(TVersionBlock::Query(block, "\\StringFileInfo\\04150000\\ProductName"));
    EXPECT_FALSE(TVersionBlock::Query(block, "\\StringFileInfo\\040904E4\\Product"));
}

TEST(VersionBlock, DamagedBlocksGiveNoResultAndReadNothingOutside)
{
    const TByteString block = SampleBlock("1.2.3");
    // Every truncation and a length field pointing past the end must fail cleanly.
    for (std::size_t cut = 0; cut < block.size(); cut += 3) {
        const TByteString part(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(cut));
        (void)TVersionBlock::Query(part, "\\StringFileInfo\\040904E4\\ProductVersion");
        (void)TVersionBlock::Query(part, "\\VarFileInfo\\Translation");
    }
    TByteString bad = block;
    bad[0] = 0xFF, bad[1] = 0xFF;
    EXPECT_FALSE(TVersionBlock::Query(bad, "\\"));
}

TEST_F(VersionFile, ReadsFixedInformationTranslationsAndStrings)
{
    TVersionInfo info(Write("app", MakeElf({ { ".text", TByteString(40, 0x90) }, { ".fk_version", SampleBlock("1.2.3") } })));
    ASSERT_FALSE(info.Data().empty());
    ASSERT_TRUE(info.FixedInfo());
    EXPECT_EQ(info.FixedInfo()->FileVersionMS, (1u << 16) | 2);
    ASSERT_EQ(info.TranslationCount(), 1);
    EXPECT_EQ(info.Translations()[0], TVersionInfo::DefaultTranslation);
    TVersionInfo::TStrings s;
    info.ReadDefaultStrings(s);
    EXPECT_EQ(s[TVersionInfo::siCompanyName], "NORDVEL");
    EXPECT_EQ(s[TVersionInfo::siProductVersion], "1.2.3");
    EXPECT_EQ(s[TVersionInfo::siComments], ""); // only the terminating zero
    EXPECT_EQ(s[TVersionInfo::siSpecialBuild], "");
}

TEST_F(VersionFile, AnEmptyTranslationListReadsTheEnglishWesternTable)
{
    TFileVersionInfo info(Write("app", MakeElf({ { ".fk_version", SampleBlock("2.0.0", {}) } })));
    EXPECT_EQ(info.TranslationCount(), 0);
    EXPECT_EQ(info.Strings[TVersionInfo::siProductVersion], "2.0.0");
    TFileVersionInfo polish(Write("pl", MakeElf({ { ".fk_version", SampleBlock("2.0.0", {}, "041504E2") } })));
    EXPECT_EQ(polish.Strings[TVersionInfo::siProductVersion], ""); // no 040904E4 table
}

TEST_F(VersionFile, FilesWithoutABlockGiveEmptyStringsAndTheBareInstanceName)
{
    const String none = String(TFileVersionInfo::InstanceGuid) + "--\"-v\"";
    for (const String& path : { Write("plain", MakeElf({ { ".text", TByteString(8, 1) } })),
                                Write("text", TByteString{ 'h', 'e', 'l', 'l', 'o' }),
                                Write("empty", {}), String(dir_.path().toStdString() + "/missing") }) {
        TFileVersionInfo info(path);
        EXPECT_TRUE(info.Data().empty()) << path;
        EXPECT_FALSE(info.FixedInfo());
        EXPECT_EQ(info.TranslationCount(), 0);
        EXPECT_EQ(info.InstanceName, none);
        EXPECT_EQ(info.ProductAndVersion(), "");
    }
}

TEST_F(VersionFile, TruncatedFilesAreReadWithoutCrashing)
{
    const TByteString elf = MakeElf({ { ".fk_version", SampleBlock("1.2.3") } });
    for (std::size_t cut = 0; cut < elf.size(); cut += 7) {
        TByteString out;
        const TByteString part(elf.begin(), elf.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(TElfFile::FindSection(part, ".fk_version", out)) << cut;
        EXPECT_TRUE(out.empty());
    }
    TByteString out;
    EXPECT_TRUE(TElfFile::FindSection(elf, ".fk_version", out));
    EXPECT_FALSE(TElfFile::FindSection(elf, ".fk_versio", out));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

TEST(VersionInfo, InstanceNamesFollowTheProductVersion)
{
    TVersionInfo::TStrings a{}, b{};
    a[TVersionInfo::siCompanyName] = b[TVersionInfo::siCompanyName] = "NORDVEL";
    a[TVersionInfo::siOriginalFileName] = b[TVersionInfo::siOriginalFileName] = "ferrovan-kest";
    a[TVersionInfo::siProductVersion] = "0.1.0";
    b[TVersionInfo::siProductVersion] = "0.2.0";
    EXPECT_EQ(TFileVersionInfo::MakeInstanceName(a),
              "{C231D6E0-AD2B-4F08-ADA5-D3FC27275460}-NORDVEL-\"ferrovan-kest-v0.1.0\"");
    EXPECT_NE(TFileVersionInfo::MakeInstanceName(a), TFileVersionInfo::MakeInstanceName(b));
}

} // namespace fk
