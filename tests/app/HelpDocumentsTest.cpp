#include "app/HelpDocuments.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace fk {
namespace {

const QStringList kCodes = {"EN", "PL", "RU"};

class HelpDocumentsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(base_.isValid());
        ASSERT_TRUE(QDir(base_.path()).mkdir("Docs"));
    }
    void Add(const QString& name)
    {
        QFile file(base_.path() + "/Docs/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void Remove(const QString& name) { ASSERT_TRUE(QFile::remove(base_.path() + "/Docs/" + name)); }
    QString Found(const QString& kind, int language)
    {
        const THelpLookup lookup = THelpDocuments(base_.path()).Find(kind, language, kCodes);
        return lookup.Found() ? QFileInfo(lookup.Path).fileName() : QString();
    }
    QTemporaryDir base_;
};

TEST_F(HelpDocumentsTest, PolishManualFallsBackToEnglishThenAllThenAny)
{
    Add("Ferrovan-Kest (man-PL).pdf");
    Add("Ferrovan-Kest (man-EN).pdf");
    Add("Ferrovan-Kest (man-all).pdf");
    Add("Ferrovan-Kest (man-DE).pdf");
    Add("Ferrovan-Kest (diagram-PL).pdf");
    EXPECT_EQ(Found(HelpManual, 1), "Ferrovan-Kest (man-PL).pdf");
    EXPECT_EQ(Found(HelpWiring, 1), "Ferrovan-Kest (diagram-PL).pdf");
    EXPECT_EQ(Found(HelpManual, 2), "Ferrovan-Kest (man-EN).pdf"); // no Russian manual
    Remove("Ferrovan-Kest (man-PL).pdf");
    EXPECT_EQ(Found(HelpManual, 1), "Ferrovan-Kest (man-EN).pdf");
    Remove("Ferrovan-Kest (man-EN).pdf");
    EXPECT_EQ(Found(HelpManual, 1), "Ferrovan-Kest (man-all).pdf");
    EXPECT_EQ(Found(HelpManual, 0), "Ferrovan-Kest (man-all).pdf");
    Remove("Ferrovan-Kest (man-all).pdf");
    EXPECT_EQ(Found(HelpManual, 1), "Ferrovan-Kest (man-DE).pdf");
    EXPECT_EQ(Found(HelpWiring, 0), "Ferrovan-Kest (diagram-PL).pdf");
    Remove("Ferrovan-Kest (man-DE).pdf");
    EXPECT_EQ(Found(HelpManual, 1), "");
}

TEST_F(HelpDocumentsTest, PatternsFollowTheLanguageAndSkipWhatIsNotAFile)
{
    const THelpDocuments docs(base_.path());
    EXPECT_EQ(docs.Find(HelpManual, 1, kCodes).Patterns,
              QStringList({"Ferrovan* (man-PL).pdf", "Ferrovan* (man-EN).pdf", "Ferrovan* (man-all).pdf",
                           "Ferrovan* (man*).pdf"}));
    // English is not tried twice; a language outside the menu skips its own code.
    EXPECT_EQ(docs.Find(HelpManual, 0, kCodes).Patterns.size(), 3);
    EXPECT_EQ(docs.Find(HelpManual, 5, kCodes).Patterns.first(), "Ferrovan* (man-EN).pdf");

    ASSERT_TRUE(QDir(base_.path() + "/Docs").mkdir("Ferrovan-Kest (man-EN).pdf"));
    Add("Other (man-EN).pdf");
    Add("Ferrovan-Kest (man-EN).txt");
    EXPECT_EQ(Found(HelpManual, 0), "");
    Add("FERROVAN-KEST (MAN-en).PDF"); // letter case does not matter
    EXPECT_EQ(Found(HelpManual, 0), "FERROVAN-KEST (MAN-en).PDF");
}

TEST(HelpDocuments, NoDocsFolderFindsNothingAndSaysWhatWasLookedFor)
{
    QTemporaryDir base;
    const THelpLookup lookup = THelpDocuments(base.path()).Find(HelpWiring, 2, kCodes);
    EXPECT_FALSE(lookup.Found());
    EXPECT_FALSE(lookup.FolderExists);
    EXPECT_EQ(lookup.Folder, base.path() + "/Docs");
    const QStringList lines = lookup.LookedFor().split('\n');
    ASSERT_EQ(lines.size(), 8); // beside the program, then where an installed program keeps them
    EXPECT_EQ(lines.first(), base.path() + "/Docs/Ferrovan* (diagram-RU).pdf");
    EXPECT_EQ(lines[3], base.path() + "/Docs/Ferrovan* (diagram*).pdf");
    EXPECT_EQ(lines.last(), QDir::cleanPath(base.path() + "/../share/doc/ferrovan-kest") + "/Ferrovan* (diagram*).pdf");
    // Without a folder given, the executable's folder is the base.
    EXPECT_EQ(THelpDocuments().BaseFolder(), QCoreApplication::applicationDirPath());
}

// An installed program (PREFIX/bin) finds them in PREFIX/share/doc/ferrovan-kest; a Docs folder
// beside the program comes first.
TEST(HelpDocuments, InstalledProgramFindsThemUnderShareDocAfterItsOwnDocsFolder)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath("bin") && QDir(prefix.path()).mkpath("share/doc/ferrovan-kest"));
    const auto add = [&prefix](const QString& name) {
        QFile file(prefix.path() + "/" + name);
        return file.open(QIODevice::WriteOnly);
    };
    ASSERT_TRUE(add("share/doc/ferrovan-kest/Ferrovan-Kest (man-PL).pdf"));
    const THelpDocuments docs(prefix.path() + "/bin");
    THelpLookup lookup = docs.Find(HelpManual, 1, kCodes);
    EXPECT_EQ(lookup.Path, prefix.path() + "/share/doc/ferrovan-kest/Ferrovan-Kest (man-PL).pdf");
    EXPECT_EQ(lookup.Folder, prefix.path() + "/share/doc/ferrovan-kest");

    ASSERT_TRUE(QDir(prefix.path()).mkpath("bin/Docs") && add("bin/Docs/Ferrovan-Kest (man-EN).pdf"));
    lookup = docs.Find(HelpManual, 1, kCodes);
    EXPECT_EQ(lookup.Path, prefix.path() + "/bin/Docs/Ferrovan-Kest (man-EN).pdf");
}

} // namespace
} // namespace fk
