#include "app/AppSettings.h"
#include "app/FirmwareFolder.h"
#include "ConfigHome.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace fk {
namespace {

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home_.Valid()); }

    // Writes raw values under the configurator's key.
    void Store(const std::function<void(TRegistry&)>& write)
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(AppSettingsKey, true));
        write(reg);
    }
    void StoreOptions(const TByteString& bytes)
    {
        Store([&](TRegistry& r) { r.WriteBinary("Options", bytes.data(), bytes.size()); });
    }
    bool Has(const char* name)
    {
        TRegistry reg;
        return reg.OpenKeyReadOnly(AppSettingsKey) && reg.ValueExists(name);
    }

    test::TConfigHome home_;
    TAppSettings settings_;
    TStoredPlaces places_;
};

TEST_F(AppSettingsTest, RoundTripKeepsEveryValue)
{
    QTemporaryDir firmware;
    TAppSettings saved;
    saved.Language = lngRussian;
    saved.Opacity = 180;
    saved.Set(optConnectAtStartup, true);
    saved.Set(optScreenSnap, true);
    TStoredPlaces places;
    places.CurrentPort = "ttyUSB1";
    places.ConnectedPort = "ttyUSB0 — Zażółć";
    places.FirmwareDir = firmware.path().toStdString();
    places.ThemeStyle = "Graphite";
    ASSERT_TRUE(SaveSettings(saved, places));

    TAppSettings loaded;
    loaded.Skin = 4; // not persisted by itself: the skin comes back by name
    TStoredPlaces back;
    ASSERT_TRUE(LoadSettings(loaded, back));
    EXPECT_EQ(loaded.Language, lngRussian);
    EXPECT_EQ(loaded.Opacity, 180);
    EXPECT_EQ(loaded.Options, optConnectAtStartup | optScreenSnap);
    EXPECT_EQ(loaded.Skin, 4);
    EXPECT_EQ(back.CurrentPort, places.CurrentPort);
    EXPECT_EQ(back.ConnectedPort, places.ConnectedPort);
    EXPECT_EQ(back.FirmwareDir, places.FirmwareDir);
    EXPECT_EQ(back.ThemeStyle, places.ThemeStyle);

    // Empty values are deleted, opaque windows store no AlphaBlend, a vanished folder is not kept.
    saved.Opacity = 255;
    places = {};
    places.FirmwareDir = "/nonexistent/firmware";
    ASSERT_TRUE(SaveSettings(saved, places));
    for (const char* name : {"CurrentPort", "ConnectedPort", "FirmwareDir", "ThemeStyle", "AlphaBlend"})
        EXPECT_FALSE(Has(name)) << name;
    back.FirmwareDir = "/kept";
    loaded.Opacity = 100;
    ASSERT_TRUE(LoadSettings(loaded, back));
    EXPECT_EQ(loaded.Opacity, 255);
    EXPECT_EQ(back.CurrentPort, "");
    EXPECT_EQ(back.FirmwareDir, "/kept"); // nothing stored: the start folder stays
    EXPECT_FALSE(back.ThemeStyle.has_value());
}

TEST_F(AppSettingsTest, NoKeyLeavesEverythingAsItWas)
{
    settings_.Language = lngPolish;
    places_.CurrentPort = "ttyS0";
    EXPECT_FALSE(LoadSettings(settings_, places_));
    EXPECT_EQ(settings_.Language, lngPolish);
    EXPECT_EQ(places_.CurrentPort, "ttyS0");
    u8 flags = 0x12;
    EXPECT_FALSE(ReadStoredOptions(flags));
    EXPECT_EQ(flags, 0x12);
}

TEST_F(AppSettingsTest, OptionsTakenOnlyInTheFormTheirBitCountNeeds)
{
    struct Case {
        TByteString value;
        u8 before;
        u8 after;
        bool taken;
    };
    const Case cases[] = {
        {{7, 0x7F}, 0x00, 0x7F, true},        // the written form
        {{7, 0x05}, 0x80 | 0x18, 0x85, true}, // bits 0..6 replaced, bit 7 kept
        {{7, 0xFF}, 0x00, 0x7F, true},        // a stored bit 7 is not taken
        {{7, 0x05, 0x00}, 0x00, 0x00, false}, // 3 bytes for 7 bits: refused, all flags clear
        {{0, 0x05}, 0x00, 0x00, false},       // bit count 0: refused
        {{7}, 0x10, 0x10, false},             // no flag byte: refused
        {{9, 0x01}, 0x00, 0x00, false},       // 9 bits need two flag bytes
        {{9, 0x21, 0x01}, 0x80, 0x21, true},  // a longer form: its first byte gives all eight flags
        {{3, 0x2F}, 0x40, 0x47, true},        // a shorter form: the bits beyond it keep their value
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.value));
        StoreOptions(c.value);
        TAppSettings s;
        s.Options = c.before;
        TStoredPlaces places;
        ASSERT_TRUE(LoadSettings(s, places));
        EXPECT_EQ(s.Options, c.after);
        u8 flags = c.before;
        EXPECT_EQ(ReadStoredOptions(flags), c.taken);
        EXPECT_EQ(flags, c.after);
    }
    TByteString tooLong(34, 0xFF);
    tooLong[0] = 255; // 255 bits would fit 32 bytes, 33 are too many
    u8 flags = 0;
    EXPECT_FALSE(DecodeOptions(tooLong, flags));
    tooLong.resize(33);
    EXPECT_TRUE(DecodeOptions(tooLong, flags));
    EXPECT_EQ(flags, 0xFF);
}

TEST_F(AppSettingsTest, AlphaBlendIsRaisedTo96AndOtherSizesAreIgnored)
{
    const std::pair<TByteString, int> cases[] = {
        {{200}, 200}, {{95}, 96}, {{0}, 96}, {{96}, 96}, {{255}, 255},
        {{100, 100}, 150}, // two bytes: Opacity unchanged
        {{}, 150},         // empty: unchanged
    };
    for (const auto& [bytes, opacity] : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        Store([&value = bytes](TRegistry& r) { r.WriteBinary("AlphaBlend", value.data(), value.size()); });
        TAppSettings s;
        s.Opacity = 150;
        ASSERT_TRUE(LoadSettings(s, places_));
        EXPECT_EQ(s.Opacity, opacity);
    }
    // A value of another type counts as absent: opaque.
    Store([](TRegistry& r) { r.WriteDword("AlphaBlend", 120); });
    settings_.Opacity = 150;
    ASSERT_TRUE(LoadSettings(settings_, places_));
    EXPECT_EQ(settings_.Opacity, 255);
}

TEST_F(AppSettingsTest, OnlyTheThreeLanguageIdentifiersAreTaken)
{
    const std::pair<DWORD, int> cases[] = {
        {0x0409, lngEnglish}, {0x0415, lngPolish}, {0x0419, lngRussian},
        {0x0407, lngPolish}, // German: ignored, the default stays
        {0x0809, lngPolish}, // English (UK): not one of the three
        {0, lngPolish},
    };
    for (const auto& [id, language] : cases) {
        Store([value = id](TRegistry& r) { r.WriteDword("LanguageID", value); });
        TAppSettings s;
        s.Language = lngPolish;
        ASSERT_TRUE(LoadSettings(s, places_));
        EXPECT_EQ(s.Language, language) << std::hex << id;
    }
    // A language outside the menu is not written.
    TAppSettings none;
    none.Language = -1;
    Store([](TRegistry& r) { r.DeleteValue("LanguageID"); });
    ASSERT_TRUE(SaveSettings(none, places_));
    EXPECT_FALSE(Has("LanguageID"));
}

TEST_F(AppSettingsTest, GarbageFileLeavesDefaultsAndTheNextSaveRewritesIt)
{
    const QString path = QString::fromStdString(TRegistry::StorePath());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    std::ofstream(path.toStdString(), std::ios::binary)
        << "\xff\xfe garbage\n[Software]\nNORDVEL\\Ferrovan-Kest\\AlphaBlend=\"x\n[[\n\x01";

    TAppSettings defaults;
    defaults.Language = lngRussian;
    TAppSettings s = defaults;
    LoadSettings(s, places_);
    EXPECT_EQ(s, defaults);

    TAppSettings saved;
    saved.Opacity = 120;
    saved.Options = optPreview;
    places_.ThemeStyle = "Fusion";
    ASSERT_TRUE(SaveSettings(saved, places_));
    TAppSettings loaded;
    TStoredPlaces back;
    ASSERT_TRUE(LoadSettings(loaded, back));
    EXPECT_EQ(loaded, saved);
    EXPECT_EQ(back.ThemeStyle, std::optional<String>("Fusion"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("garbage"));
}

TEST_F(AppSettingsTest, ASaveThatFailsSaysWhy)
{
    // A file where the settings folder should be: no one can write there, root included.
    const QString folder = QFileInfo(QString::fromStdString(TRegistry::StorePath())).absolutePath();
    std::ofstream(folder.toStdString()) << "not a folder";
    String problem;
    EXPECT_FALSE(SaveSettings(settings_, places_, &problem));
    EXPECT_NE(problem.find("Not a directory"), String::npos) << problem;
    EXPECT_NE(problem.find(folder.toStdString()), String::npos) << problem;
}

TEST(AppLanguage, LocalesMapToTheirLanguageOrEnglish)
{
    EXPECT_EQ(LanguageOfLocale(QLocale(QLocale::Polish, QLocale::Poland)), lngPolish);
    EXPECT_EQ(LanguageOfLocale(QLocale(QLocale::Russian, QLocale::Russia)), lngRussian);
    EXPECT_EQ(LanguageOfLocale(QLocale(QLocale::Russian, QLocale::Ukraine)), lngRussian);
    EXPECT_EQ(LanguageOfLocale(QLocale(QLocale::Ukrainian, QLocale::Ukraine)), lngEnglish);
    EXPECT_EQ(LanguageOfLocale(QLocale(QLocale::German, QLocale::Germany)), lngEnglish);
    EXPECT_EQ(LanguageOfLocale(QLocale::c()), lngEnglish);
    const int language = DefaultLanguage();
    EXPECT_TRUE(language >= 0 && language < lngCount);
    for (int i = 0; i < lngCount; ++i)
        EXPECT_EQ(LanguageOfId(IdOfLanguage(i)), i);
    EXPECT_EQ(IdOfLanguage(3), 0u);
    EXPECT_EQ(IdOfLanguage(-1), 0u);
}

TEST(FirmwareFolder, ImagesInFirmwareThenTheRememberedFolder)
{
    QTemporaryDir work, remembered;
    const String cwd = work.path().toStdString();
    EXPECT_EQ(TFirmwareFolder::StartFolder(cwd), ""); // no Firmware folder
    ASSERT_TRUE(QDir(work.path()).mkdir("Firmware"));
    EXPECT_EQ(TFirmwareFolder::StartFolder(cwd), ""); // empty folder
    QFile(work.path() + "/Firmware/readme.txt").open(QIODevice::WriteOnly);
    ASSERT_TRUE(QDir(work.path() + "/Firmware").mkdir("old.img")); // a folder is not an image
    EXPECT_EQ(TFirmwareFolder::StartFolder(cwd), "");
    QFile(work.path() + "/Firmware/APP.IMG").open(QIODevice::WriteOnly);
    const String firmware = QDir(work.path() + "/Firmware").canonicalPath().toStdString();
    EXPECT_EQ(TFirmwareFolder::StartFolder(cwd), firmware);

    EXPECT_EQ(TFirmwareFolder::InitialFolder(cwd, ""), firmware);
    EXPECT_EQ(TFirmwareFolder::InitialFolder(cwd, "/nonexistent/dir"), firmware);
    EXPECT_EQ(TFirmwareFolder::InitialFolder(cwd, remembered.path().toStdString()),
              remembered.path().toStdString());
    EXPECT_FALSE(TFirmwareFolder::Usable((work.path() + "/Firmware/APP.IMG").toStdString()));
}

} // namespace
} // namespace fk
