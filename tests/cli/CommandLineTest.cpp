#include "cli/CommandLine.h"
#include "cli/JsonWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace fk;

namespace {
const std::vector<TOptionSpec> kOptions = {{"json", false}, {"timeout", true}, {"open-time", true}};
}

TEST(CommandLine, PositionalsOptionsAndInlineValues)
{
    TCommandLine cl;
    ASSERT_TRUE(cl.Parse({"ttyUSB0", "--json", "--timeout", "2.5", "--open-time=25", "--", "--odd-name"}, kOptions));
    EXPECT_EQ(cl.Positional(), (std::vector<std::string>{"ttyUSB0", "--odd-name"}));
    EXPECT_TRUE(cl.Has("json"));
    EXPECT_EQ(cl.Value("timeout").value(), "2.5");
    long long n = 0;
    EXPECT_TRUE(cl.Integer("open-time", 10, 50, n));
    EXPECT_EQ(n, 25);
    double s = 0;
    EXPECT_TRUE(cl.Seconds("timeout", 3600, s));
    EXPECT_DOUBLE_EQ(s, 2.5);
}

TEST(CommandLine, UsageErrorsNameTheArgument)
{
    TCommandLine cl;
    EXPECT_FALSE(cl.Parse({"--bogus"}, kOptions));
    EXPECT_NE(cl.Error().find("--bogus"), std::string::npos);
    EXPECT_FALSE(cl.Parse({"--timeout"}, kOptions));
    EXPECT_NE(cl.Error().find("needs a value"), std::string::npos);
    EXPECT_FALSE(cl.Parse({"--json=yes"}, kOptions));

    ASSERT_TRUE(cl.Parse({"--open-time", "9", "--timeout", "0"}, kOptions));
    long long n = 77;
    EXPECT_FALSE(cl.Integer("open-time", 10, 50, n));
    EXPECT_EQ(n, 77);
    EXPECT_NE(cl.Error().find("10 to 50"), std::string::npos);
    double s = 0;
    EXPECT_FALSE(cl.Seconds("timeout", 3600, s));
    for (const char* bad : {"", "1e", "x", "25x", "-", "99999999999999999999"}) {
        ASSERT_TRUE(cl.Parse({"--open-time", bad}, kOptions));
        EXPECT_FALSE(cl.Integer("open-time", 0, 1000, n)) << bad;
    }
}

// Both ends of a range are values the user may give; one step beyond either is refused.
TEST(CommandLine, RangesIncludeTheirEnds)
{
    TCommandLine cl;
    const struct {
        const char* text;
        bool accepted;
    } seconds[] = {{"3600", true}, {"3600.0", true}, {"0.001", true}, {"3600.001", false}, {"0", false}, {"-1", false},
                   {"nan", false}, {"inf", false}};
    for (const auto& c : seconds) {
        ASSERT_TRUE(cl.Parse({"--timeout", c.text}, kOptions));
        double s = -1;
        EXPECT_EQ(cl.Seconds("timeout", 3600, s), c.accepted) << c.text;
        EXPECT_EQ(cl.Error().empty(), c.accepted) << c.text;
    }
    const struct {
        const char* text;
        bool accepted;
    } integers[] = {{"10", true}, {"50", true}, {"9", false}, {"51", false}, {"-10", false}};
    for (const auto& c : integers) {
        ASSERT_TRUE(cl.Parse({"--open-time", c.text}, kOptions));
        long long n = -1;
        EXPECT_EQ(cl.Integer("open-time", 10, 50, n), c.accepted) << c.text;
        EXPECT_EQ(n, c.accepted ? std::atoll(c.text) : -1) << c.text;
    }
}

TEST(JsonWriter, NestedDocumentsWithEscapedText)
{
    TJsonWriter w;
    w.BeginObject()
        .Member("port", std::string("tty\"USB\\0\n"))
        .Member("ok", true)
        .Member("n", 42)
        .Key("range")
        .BeginArray()
        .Number(std::int64_t(1))
        .Number(std::int64_t(2))
        .EndArray()
        .Key("nested")
        .BeginObject()
        .Member("x", 0.5)
        .Key("none")
        .Null()
        .EndObject()
        .Member("ctl", std::string("\x01"))
        .EndObject();
    EXPECT_EQ(w.Text(),
              R"({"port":"tty\"USB\\0\n","ok":true,"n":42,"range":[1,2],"nested":{"x":0.5,"none":null},"ctl":"\u0001"})");
}

TEST(CommandLine, HelpWinsWhereverItStandsAsAnOption)
{
    TCommandLine cl;
    ASSERT_TRUE(cl.Parse({"/dev/ttyUSB0", "-h"}, kOptions));
    EXPECT_TRUE(cl.HelpRequested());
    ASSERT_TRUE(cl.Parse({"--bogus", "--help", "--timeout"}, kOptions)); // errors do not count
    EXPECT_TRUE(cl.HelpRequested());
    EXPECT_TRUE(cl.Error().empty());
    // As an option's value or after "--" it is an argument like any other.
    ASSERT_TRUE(cl.Parse({"--timeout", "-h", "--", "--help"}, kOptions));
    EXPECT_FALSE(cl.HelpRequested());
    EXPECT_EQ(cl.Value("timeout").value(), "-h");
    EXPECT_EQ(cl.Positional(), (std::vector<std::string>{"--help"}));
    // Without help the first error is the one reported.
    EXPECT_FALSE(cl.Parse({"--bogus", "--json=1"}, kOptions));
    EXPECT_NE(cl.Error().find("--bogus"), std::string::npos);
}

TEST(JsonWriter, AlwaysValidUtf8WithControlCharactersEscaped)
{
    // Bytes that are not UTF-8 (an 8-bit text that was not decoded, a truncated sequence, an
    // overlong form) become U+FFFD; C1 controls and DEL are escaped like C0 ones.
    EXPECT_EQ(TJsonWriter::Escape("a\xE9z\xC3"), "\"a\\ufffdz\\ufffd\"");
    EXPECT_EQ(TJsonWriter::Escape("\xC0\xAF"), "\"\\ufffd\\ufffd\"");
    EXPECT_EQ(TJsonWriter::Escape("\x1B[2J\x7F\u0085"), "\"\\u001b[2J\\u007f\\u0085\"");
    EXPECT_EQ(TJsonWriter::Escape("łódź €"), "\"łódź €\"");
}
