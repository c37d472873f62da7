#include "support/AnsiCodePage.h"

#include <gtest/gtest.h>

using namespace fk;

TEST(AnsiCodePage, TheLocaleChoosesTheLanguagesCodePage)
{
    EXPECT_EQ(TAnsiCodePage::CodePageForLocale("pl_PL.UTF-8"), 1250u);
    EXPECT_EQ(TAnsiCodePage::CodePageForLocale("PL"), 1250u);
    EXPECT_EQ(TAnsiCodePage::CodePageForLocale("ru_RU.KOI8-R"), 1251u);
    EXPECT_EQ(TAnsiCodePage::CodePageForLocale("ru@latin"), 1251u);
    for (const char* other : {"de_DE.UTF-8", "C", "POSIX", "", "plx_XX", "p", "en_PL.UTF-8"})
        EXPECT_EQ(TAnsiCodePage::CodePageForLocale(other), 1252u) << other;
    EXPECT_EQ(TAnsiCodePage::CodePageForLocale(nullptr), 1252u);
}

TEST(AnsiCodePage, DecodesEveryByteOfEachCodePageToUtf8)
{
    const TAnsiCodePage polish(1250), russian(1251), western(1252);
    ASSERT_TRUE(polish.Available() && russian.Available() && western.Available());
    EXPECT_EQ(polish.Decode("\xB3\xF3" "d\x9F"), "łódź");
    EXPECT_EQ(russian.Decode("\xC6\xF3\xEA"), "Жук");
    EXPECT_EQ(western.Decode("caf\xE9 \x80"), "café €");
    // Bytes the code page leaves undefined stand for the control character of the same value.
    EXPECT_EQ(western.Decode("\x81\x9D"), "\u0081\u009D");
    EXPECT_EQ(russian.Decode("\x98"), "\u0098");
    // Control characters and zero bytes pass through as they are (escaping is the printer's job).
    EXPECT_EQ(western.Decode(std::string("\x1B[2J\0x", 6)), std::string("\x1B[2J\0x", 6));

    // Every byte string survives a round trip in every code page.
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    for (const TAnsiCodePage* cp : {&polish, &russian, &western}) {
        AnsiString back;
        ASSERT_TRUE(cp->Encode(cp->Decode(all), back)) << cp->CodePage();
        EXPECT_EQ(back, all) << cp->CodePage();
    }
}

TEST(AnsiCodePage, EncodeRefusesWhatTheCodePageCannotCarry)
{
    const TAnsiCodePage western(1252), russian(1251);
    AnsiString out = "unchanged";
    char32_t bad = 0;
    EXPECT_FALSE(western.Encode("Жук", out, &bad));
    EXPECT_EQ(bad, U'Ж');
    EXPECT_EQ(out, "unchanged");
    EXPECT_TRUE(russian.Encode("Жук", out));
    EXPECT_EQ(out, "\xC6\xF3\xEA");
    EXPECT_FALSE(russian.Encode("caf\u00E9", out, &bad)); // é is not in 1251
    EXPECT_EQ(bad, U'é');
    EXPECT_FALSE(western.Encode("\xF0\x9F\x98\x80", out, &bad)); // outside every 8-bit page
    EXPECT_EQ(bad, 0x1F600u);
    // Text that is not UTF-8 is refused as well: a lone continuation byte, a cut sequence, an
    // overlong form, a surrogate.
    for (const char* broken : {"a\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80"}) {
        EXPECT_FALSE(western.Encode(broken, out, &bad)) << broken;
        EXPECT_EQ(bad, 0xFFFDu);
    }
}

TEST(AnsiCodePage, UnknownCodePageKeepsTextsValid)
{
    const TAnsiCodePage none(99999);
    EXPECT_FALSE(none.Available());
    EXPECT_EQ(none.Decode("\xE9"), "é"); // bytes stand for U+0080..U+00FF
    AnsiString out;
    EXPECT_TRUE(none.Encode("é", out));
    EXPECT_EQ(out, "\xE9");
}
