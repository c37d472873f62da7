#include "platform/Registry.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace fk;

namespace {
const char* kKey = "Software\\NORDVEL\\Ferrovan-Kest";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        const char* old = std::getenv("XDG_CONFIG_HOME");
        saved_ = old ? old : "";
        hadOld_ = old != nullptr;
        setenv("XDG_CONFIG_HOME", dir_.path().toStdString().c_str(), 1);
    }
    void TearDown() override
    {
        if (hadOld_)
            setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    QTemporaryDir dir_;
    std::string saved_;
    bool hadOld_ = false;
};
} // namespace

TEST_F(RegistryTest, StoreLivesUnderTheConfigFolder)
{
    EXPECT_EQ(TRegistry::StorePath(), dir_.path().toStdString() + "/ferrovan-kest/registry.ini");
}

TEST_F(RegistryTest, TypedValuesSurviveAReopen)
{
    const std::uint8_t blob[] = {0, 1, 0xFE, 0xFF, 0x55};
    {
        TRegistry reg;
        EXPECT_FALSE(reg.OpenKeyReadOnly(kKey)); // nothing stored yet
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        EXPECT_TRUE(reg.WriteDword("LanguageID", 0x0415));
        EXPECT_TRUE(reg.WriteDword("Max", 0xFFFFFFFFu));
        EXPECT_TRUE(reg.WriteString("CurrentPort", "ttyUSB0 — Zażółć"));
        EXPECT_TRUE(reg.WriteString("Padded", "  a=b;c  "));
        EXPECT_TRUE(reg.WriteBinary("Options", blob, sizeof blob));
        EXPECT_TRUE(reg.WriteBinary("Empty", blob, 0));
        reg.CloseKey();
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
    DWORD d = 0;
    EXPECT_TRUE(reg.ReadDword("LanguageID", d));
    EXPECT_EQ(d, 0x0415u);
    EXPECT_TRUE(reg.ReadDword("Max", d));
    EXPECT_EQ(d, 0xFFFFFFFFu);
    std::string s;
    EXPECT_TRUE(reg.ReadString("CurrentPort", s));
    EXPECT_EQ(s, "ttyUSB0 — Zażółć");
    EXPECT_TRUE(reg.ReadString("Padded", s));
    EXPECT_EQ(s, "  a=b;c  ");
    std::vector<std::uint8_t> b;
    EXPECT_TRUE(reg.ReadBinary("Options", b));
    EXPECT_EQ(b, std::vector<std::uint8_t>(blob, blob + sizeof blob));
    EXPECT_EQ(reg.GetDataSize("Options"), 5);
    EXPECT_TRUE(reg.ReadBinary("Empty", b));
    EXPECT_TRUE(b.empty());

    std::uint8_t small[4];
    EXPECT_EQ(reg.ReadBinaryData("Options", small, sizeof small), -1);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    std::uint8_t big[8];
    EXPECT_EQ(reg.ReadBinaryData("Options", big, sizeof big), 5);
    std::uint8_t exact[5] = {};
    EXPECT_EQ(reg.ReadBinaryData("Options", exact, sizeof exact), 5);
    EXPECT_EQ(std::vector<std::uint8_t>(exact, exact + 5), std::vector<std::uint8_t>(blob, blob + sizeof blob));

    // A read-only key refuses writes and keeps what it has.
    EXPECT_FALSE(reg.WriteDword("LanguageID", 1));
    EXPECT_TRUE(reg.ReadDword("LanguageID", d));
    EXPECT_EQ(d, 0x0415u);
}

TEST_F(RegistryTest, AValueOfAnotherTypeReadsAsAbsent)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString("AlphaBlend", "200");
    reg.WriteDword("ThemeStyle", 3);
    DWORD d = 7;
    EXPECT_FALSE(reg.ReadDword("AlphaBlend", d));
    EXPECT_EQ(d, 7u); // untouched
    std::string s = "keep";
    EXPECT_FALSE(reg.ReadString("ThemeStyle", s));
    EXPECT_EQ(s, "keep");
    std::vector<std::uint8_t> b;
    EXPECT_FALSE(reg.ReadBinary("ThemeStyle", b));
    EXPECT_EQ(reg.GetDataType("ThemeStyle"), TRegDataType::rdInteger);
    EXPECT_EQ(reg.GetDataType("Missing"), TRegDataType::rdUnknown);
    EXPECT_EQ(reg.GetDataSize("Missing"), -1);
}

TEST_F(RegistryTest, HandEditedGarbageIsIgnoredAndDeleteRemovesOnlyOneValue)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteDword("Options", 1);
        reg.WriteDword("AlphaBlend", 255);
        reg.CloseKey();
    }
    // Damage one value by hand, the way a user editing the file might.
    std::ifstream in(TRegistry::StorePath());
    std::stringstream all;
    all << in.rdbuf();
    std::string text = all.str();
    const auto pos = text.find("dword:ff");
    ASSERT_NE(pos, std::string::npos);
    text.replace(pos, 8, "dword:-12x");
    std::ofstream(TRegistry::StorePath()) << text;

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    DWORD d = 0;
    EXPECT_FALSE(reg.ReadDword("AlphaBlend", d));
    EXPECT_FALSE(reg.ValueExists("AlphaBlend"));
    EXPECT_TRUE(reg.ReadDword("Options", d));
    EXPECT_EQ(d, 1u);
    EXPECT_TRUE(reg.DeleteValue("Options"));
    EXPECT_FALSE(reg.DeleteValue("Options"));
    EXPECT_FALSE(reg.ValueExists("Options"));
}

TEST_F(RegistryTest, WritesLeaveNoTemporaryFilesBehind)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(reg.WriteDword("Counter", DWORD(i)));
    QDir folder(dir_.path() + "/ferrovan-kest");
    EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden), QStringList{"registry.ini"});
}

TEST_F(RegistryTest, ADamagedFileReadsAsEmptyAndTheNextWriteReplacesIt)
{
    const QString path = QString::fromStdString(TRegistry::StorePath());
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Binary junk with one line that still parses: QSettings reports a format error.
    std::ofstream(TRegistry::StorePath(), std::ios::binary)
        << "Software\\NORDVEL\\Other\\Kept=sz:yes\n"
        << "\x01\x02junk\n[[[\n=bar\nSoftware\\NORDVEL\\Ferrovan-Kest\\Options=hex:zz\n";
    {
        TRegistry reg;
        EXPECT_FALSE(reg.OpenKeyReadOnly(kKey));
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        EXPECT_TRUE(reg.WriteDword("LanguageID", 0x0419)); // reported as written
        reg.CloseKey();
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
    DWORD d = 0;
    EXPECT_TRUE(reg.ReadDword("LanguageID", d));
    EXPECT_EQ(d, 0x0419u);
    EXPECT_TRUE(QFileInfo::exists(path + ".damaged")); // the old file is kept for a look
    std::ifstream in(TRegistry::StorePath());
    std::stringstream all;
    all << in.rdbuf();
    EXPECT_EQ(all.str().find("junk"), std::string::npos);
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\NORDVEL\\Other"));
    std::string s;
    EXPECT_TRUE(reg.ReadString("Kept", s)); // what did parse survives
    EXPECT_EQ(s, "yes");
}

TEST_F(RegistryTest, AnUnreadableStoreIsReplacedByTheNextWrite)
{
    // A folder where the file should be cannot be read by anyone, root included.
    const QString path = QString::fromStdString(TRegistry::StorePath());
    ASSERT_TRUE(QDir().mkpath(path));
    {
        TRegistry reg;
        EXPECT_FALSE(reg.KeyExists(kKey));
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        EXPECT_TRUE(reg.WriteString("CurrentPort", "ttyS0"));
    }
    EXPECT_TRUE(QFileInfo(path).isFile());
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
    std::string s;
    EXPECT_TRUE(reg.ReadString("CurrentPort", s));
    EXPECT_EQ(s, "ttyS0");
}

TEST_F(RegistryTest, AnOversizedFileIsSetAsideUnreadAndNoDamagedCopyIsEverOverwritten)
{
    const QString path = QString::fromStdString(TRegistry::StorePath());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    {
        std::ofstream huge(TRegistry::StorePath(), std::ios::binary);
        huge << "[Software]\nNORDVEL\\Ferrovan-Kest\\LanguageID=dword:419\n";
        huge << std::string(TRegistry::MaxStoreSize, ';') << "\n";
    }
    {
        TRegistry reg;
        EXPECT_FALSE(reg.KeyExists(kKey)); // not read at all
        EXPECT_EQ(reg.SetAside(), TRegistry::StorePath() + ".damaged");
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        EXPECT_TRUE(reg.WriteDword("LanguageID", 0x0415));
    }
    EXPECT_GT(QFileInfo(path + ".damaged").size(), TRegistry::MaxStoreSize);
    EXPECT_LT(QFileInfo(path).size(), 1000);

    // A second damaged file goes beside the first, which stays as it was.
    std::ofstream(TRegistry::StorePath(), std::ios::binary) << "\x01\x02junk\n[[[\n";
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        EXPECT_TRUE(reg.WriteDword("LanguageID", 0x0419));
    }
    EXPECT_GT(QFileInfo(path + ".damaged").size(), TRegistry::MaxStoreSize);
    EXPECT_TRUE(QFileInfo(path + ".damaged.2").isFile());
}

TEST_F(RegistryTest, TheWritesOfAnUpdateReachTheFileTogether)
{
    const QString path = QString::fromStdString(TRegistry::StorePath());
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.BeginUpdate();
    EXPECT_TRUE(reg.WriteDword("LanguageID", 0x0415));
    EXPECT_TRUE(reg.WriteString("CurrentPort", "ttyS0"));
    EXPECT_FALSE(QFileInfo::exists(path)); // nothing written value by value
    EXPECT_TRUE(reg.EndUpdate());
    TRegistry other;
    ASSERT_TRUE(other.OpenKeyReadOnly(kKey));
    std::string s;
    EXPECT_TRUE(other.ReadString("CurrentPort", s));
    EXPECT_EQ(s, "ttyS0");
}
