#include "app/LanguageTexts.h"

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>

namespace fk {
namespace {

QByteArray Utf16(const QString& text, QByteArray bom = QByteArray("\xFF\xFE", 2))
{
    QByteArray out = bom;
    for (QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
}

bool Parse(const QByteArray& bytes, TLanguageTexts::TLines& lines)
{
    return TLanguageTable::Parse(reinterpret_cast<const u8*>(bytes.constData()), static_cast<std::size_t>(bytes.size()),
                                 lines);
}

} // namespace

TEST(LanguageTexts, EveryTableCarriesTheSameKeysAndEveryMessage)
{
    TLanguageTexts::TLines en, pl, ru;
    ASSERT_TRUE(TLanguageTexts::LoadLanguageTable(1, en));
    ASSERT_TRUE(TLanguageTexts::LoadLanguageTable(2, pl));
    ASSERT_TRUE(TLanguageTexts::LoadLanguageTable(3, ru));
    ASSERT_EQ(en.size(), pl.size());
    ASSERT_EQ(en.size(), ru.size());
    for (std::size_t i = 0; i < en.size(); ++i) {
        EXPECT_EQ(en[i].first, pl[i].first);
        EXPECT_EQ(en[i].first, ru[i].first);
        for (const auto* lines : { &en, &pl, &ru }) {
            const String& text = (*lines)[i].second;
            EXPECT_FALSE(text.empty()) << (*lines)[i].first;
            EXPECT_EQ(QString::fromStdString(text).trimmed().toStdString(), text) << (*lines)[i].first;
        }
    }
    // The English table says what the built-in defaults say.
    TLanguageTexts texts;
    texts.Apply(en);
    for (int i = 0; i < TMessageTable::Count; ++i)
        EXPECT_EQ(texts.Translate(TMessageTable::MessageKey(i)), TMessageTable::DefaultText(i)) << i;
    TLanguageTexts::TLines missing;
    EXPECT_FALSE(TLanguageTexts::LoadLanguageTable(4, missing));
    EXPECT_FALSE(TLanguageTexts::LoadLanguageTable(0, missing));
}

TEST(LanguageTexts, SwitchingLanguagesReplacesTextsAndMessagesAndBackAgain)
{
    TLanguageTexts texts;
    EXPECT_EQ(texts.MessageText(staConnected), "Connected");
    ASSERT_TRUE(texts.SetLanguage(1));
    EXPECT_EQ(texts.MessageText(staConnected), "Połączono");
    EXPECT_EQ(texts.Translate("btn_upload"), "Wgraj oprogramowanie");
    ASSERT_TRUE(texts.SetLanguage(2));
    EXPECT_EQ(texts.Translate("men_preferences"), "Настройки");
    EXPECT_EQ(texts.MessageText(msgNoConnection), "Устройство не подключено.");
    ASSERT_TRUE(texts.SetLanguage(0));
    EXPECT_EQ(texts.MessageText(staConnected), "Connected");
    EXPECT_EQ(texts.Translate("btn_upload"), "Upload Firmware");
    EXPECT_EQ(texts.MessageText(TMessageTable::Count), "");
    // A language that cannot be loaded changes nothing.
    EXPECT_FALSE(texts.SetLanguage(7));
    EXPECT_FALSE(texts.SetLanguage(-1));
    EXPECT_EQ(texts.Translate("btn_upload"), "Upload Firmware");
}

TEST(LanguageTexts, TablesLoadCumulativelyAndMissingMessagesFallBackToEnglish)
{
    TLanguageTexts texts;
    TLanguageTexts::TLines lines;
    ASSERT_TRUE(Parse(Utf16(u"btn_ok\t=Fine\r\nsta_connected\t=Up\r\n"_qs), lines));
    texts.Apply(lines);
    ASSERT_TRUE(Parse(Utf16(u"btn_apply\t=Use\r\nsta_connected\t=\r\n"_qs), lines));
    texts.Apply(lines);
    EXPECT_EQ(texts.Translate("btn_ok"), "Fine"); // kept from the first table
    EXPECT_EQ(texts.Translate("btn_apply"), "Use");
    EXPECT_EQ(texts.MessageText(staConnected), "Connected"); // emptied: the English default
    EXPECT_EQ(texts.Translate("never_seen"), "");
}

TEST(LanguageTexts, ParserToleratesTheLayoutsPeopleWrite)
{
    TLanguageTexts::TLines lines;
    const QString table = u"\r\nmen_help\t\t\t=Help\r\n\r\n  lbl_x \t = a=b \r\nno separator here\r\n\t=orphan\r\nlast\t=end"_qs;
    for (const QByteArray& bom : { QByteArray("\xFF\xFE", 2), QByteArray("\xFE\xFF", 2), QByteArray("\xEF\xBB\xBF", 3),
                                   QByteArray("\xFF\xFE\x00\x00", 4), QByteArray() }) {
        ASSERT_TRUE(Parse(Utf16(table, bom), lines));
        ASSERT_EQ(lines.size(), 3u) << bom.toHex().toStdString();
        EXPECT_EQ(lines[0], (std::pair<String, String>{ "men_help", "Help" }));
        EXPECT_EQ(lines[1], (std::pair<String, String>{ "lbl_x", " a=b " })); // text after the first "="
        EXPECT_EQ(lines[2], (std::pair<String, String>{ "last", "end" }));
    }
    EXPECT_FALSE(Parse(QByteArray(), lines));
    EXPECT_TRUE(lines.empty());
    // An odd trailing byte is not read past.
    EXPECT_TRUE(Parse(Utf16(u"k\t=v"_qs) + QByteArray(1, 'x'), lines));
}

} // namespace fk
