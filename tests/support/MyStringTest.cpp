#include "support/MyString.h"

#include <gtest/gtest.h>
#include <limits>

using namespace fk;
using namespace fk::MyString;

// ---- tokenisers -------------------------------------------------------------------------

TEST(MyStringToken0, EmptyFieldBetweenSeparatorsThenFalse)
{
    const String s = "a,,b";
    int pos = 0;
    String out = "x";
    ASSERT_TRUE(StringToken0(s, out, pos, ','));
    EXPECT_EQ(out, "a");
    EXPECT_EQ(pos, 2);
    ASSERT_TRUE(StringToken0(s, out, pos, ','));
    EXPECT_EQ(out, "");
    EXPECT_EQ(pos, 3);
    ASSERT_TRUE(StringToken0(s, out, pos, ','));
    EXPECT_EQ(out, "b");
    EXPECT_EQ(pos, 5); // one past the end: length + 1
    out = "untouched";
    EXPECT_FALSE(StringToken0(s, out, pos, ','));
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(pos, 5);
}

TEST(MyStringToken0, LengthFormAndPositions)
{
    const String s = "ab;cde;";
    int pos = 0;
    EXPECT_EQ(StringLengthToken0(s, pos, ';'), 2);
    EXPECT_EQ(pos, 3);
    EXPECT_EQ(StringLengthToken0(s, pos, ';'), 3);
    EXPECT_EQ(pos, 7); // equals the length: the trailing separator yields no further token
    EXPECT_EQ(StringLengthToken0(s, pos, ';'), 0);
    EXPECT_EQ(pos, 7);
    String out = "keep";
    EXPECT_FALSE(StringToken0(s, out, pos, ';'));
    EXPECT_EQ(out, "keep");

    pos = -1;
    EXPECT_EQ(StringLengthToken0(s, pos, ';'), 0);
    EXPECT_EQ(pos, -1);
    EXPECT_EQ(StringToken0(s, pos, ';'), "");
    EXPECT_FALSE(StringToken0(s, out, pos, ';'));

    pos = 0;
    EXPECT_EQ(StringLengthToken0(String(), pos, ';'), 0);
    EXPECT_EQ(pos, 0);
    EXPECT_FALSE(StringToken0(String(), out, pos, ';'));
}

TEST(MyStringToken0, StringForm)
{
    const String s = "COM3\tUSB Serial\tFTDI";
    int pos = 0;
    EXPECT_EQ(StringToken0(s, pos, '\t'), "COM3");
    EXPECT_EQ(StringToken0(s, pos, '\t'), "USB Serial");
    EXPECT_EQ(StringToken0(s, pos, '\t'), "FTDI");
    EXPECT_EQ(pos, static_cast<int>(s.size()) + 1);
    EXPECT_EQ(StringToken0(s, pos, '\t'), "");
    EXPECT_EQ(pos, static_cast<int>(s.size()) + 1);
    pos = 1; // from inside a token
    EXPECT_EQ(StringToken0(s, pos, '\t'), "OM3");
}

TEST(MyStringToken1, PosZeroDoesNothing)
{
    int pos = 0;
    EXPECT_EQ(StringToken1("a,b", pos, ','), "");
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(StringLengthToken1("a,b", pos, ','), 0);
    EXPECT_EQ(pos, 0);
    String out = "keep";
    EXPECT_FALSE(StringToken1("a,b", out, pos, ','));
    EXPECT_EQ(out, "keep");
    pos = -3;
    EXPECT_FALSE(StringToken1("a,b", out, pos, ','));
    EXPECT_EQ(pos, -3);
}

TEST(MyStringToken1, WalksWithOneBasedPositions)
{
    const String s = "a,,bc";
    int pos = 1;
    String out;
    ASSERT_TRUE(StringToken1(s, out, pos, ','));
    EXPECT_EQ(out, "a");
    EXPECT_EQ(pos, 3);
    ASSERT_TRUE(StringToken1(s, out, pos, ','));
    EXPECT_EQ(out, "");
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(StringLengthToken1(s, pos, ','), 2);
    EXPECT_EQ(pos, 7);
    EXPECT_FALSE(StringToken1(s, out, pos, ','));
    EXPECT_EQ(out, "");

    pos = 5; // the last character
    EXPECT_EQ(StringToken1(s, pos, ','), "c");
    EXPECT_EQ(pos, 7);
    pos = 6; // past the end
    EXPECT_EQ(StringToken1(s, pos, ','), "");
    EXPECT_EQ(pos, 6);
}

TEST(MyStringToken, FirstToken)
{
    EXPECT_EQ(StringLengthToken("", ','), 0);
    EXPECT_EQ(StringLengthToken("abc", ','), 3);
    EXPECT_EQ(StringLengthToken("ab,c", ','), 2);
    EXPECT_EQ(StringLengthToken(",c", ','), 0);
    EXPECT_EQ(StringToken("ab,c,d", ','), "ab");
    EXPECT_EQ(StringToken("abc", ','), "abc");
    EXPECT_EQ(StringToken(",x", ','), "");
    String out = "keep";
    EXPECT_FALSE(StringToken("", out, ','));
    EXPECT_EQ(out, "keep");
    EXPECT_TRUE(StringToken(",x", out, ','));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(StringToken("1.2.3", out, '.'));
    EXPECT_EQ(out, "1");
}

TEST(MyStringToken, Utf8TextPassesThrough)
{
    const String s = "Zażółć;gęślą";
    int pos = 0;
    EXPECT_EQ(StringToken0(s, pos, ';'), "Zażółć");
    EXPECT_EQ(StringToken0(s, pos, ';'), "gęślą");
}

// ---- StringCompare ----------------------------------------------------------------------

TEST(MyStringCompare, DesignEdgeCases)
{
    EXPECT_EQ(StringCompare("COM2", "COM10", 8), 1);
    EXPECT_EQ(StringCompare("COM2", "COM10", 0), 3);
    EXPECT_EQ(StringCompare("com1", "COM1", 0), 1);
    EXPECT_EQ(StringCompare("com1", "COM1", 1), 2);
    EXPECT_EQ(StringCompare("COM1", "COM", 0), 3);
}

TEST(MyStringCompare, PlainOrder)
{
    EXPECT_EQ(StringCompare("", "", 0), 2);
    EXPECT_EQ(StringCompare("", "a", 0), 1);
    EXPECT_EQ(StringCompare("a", "", 0), 3);
    EXPECT_EQ(StringCompare("abc", "abc", 0), 2);
    EXPECT_EQ(StringCompare("abc", "abd", 0), 1);
    EXPECT_EQ(StringCompare("abd", "abc", 0), 3);
    // Compared through the lower-case forms: '_' (0x5F) lies between the upper and lower
    // case letters, so "a_" < "aB" because 'b' (0x62) > '_'.
    EXPECT_EQ(StringCompare("a_", "aB", 0), 1);
    EXPECT_EQ(StringCompare("COM1", "com", 0), 3); // 'C' vs 'c': upper case sorts after
    EXPECT_EQ(StringCompare("COM1", "com", 1), 3); // equal up to the end of b
}

TEST(MyStringCompare, CaseRules)
{
    EXPECT_EQ(StringCompare("ABC", "abc", 0), 3);
    EXPECT_EQ(StringCompare("abc", "ABC", 0), 1);
    EXPECT_EQ(StringCompare("ABC", "abc", 0x01), 2);
    EXPECT_EQ(StringCompare("ABC", "abc", 0x10), 2);
    EXPECT_EQ(StringCompare("ABC", "abc", 0x08), 3);
    EXPECT_EQ(StringCompare("ABC", "abc", 0x18), 2);
    // A real difference wins over a case difference earlier in the text.
    EXPECT_EQ(StringCompare("Ab", "ac", 1), 1);
    // Without ignore-case the first case difference decides.
    EXPECT_EQ(StringCompare("aB", "Ab", 0), 1);
    // Non-ASCII bytes compare by value.
    EXPECT_EQ(StringCompare("\xC3\xB3", "\xC3\x93", 1), 3);
}

TEST(MyStringCompare, NumericRuns)
{
    EXPECT_EQ(StringCompare("COM10", "COM10", 8), 2);
    EXPECT_EQ(StringCompare("COM10", "COM9", 8), 3);
    EXPECT_EQ(StringCompare("ttyUSB2", "ttyUSB11", 8), 1);
    EXPECT_EQ(StringCompare("a2b10", "a2b9", 8), 3);
    EXPECT_EQ(StringCompare("a2b", "a02b", 8), 2); // 2 and octal 02 are equal
    EXPECT_EQ(StringCompare("x10y", "x10z", 8), 1);
    EXPECT_EQ(StringCompare("10", "10a", 8), 1);
    // A number sorts before text.
    EXPECT_EQ(StringCompare("a1", "ab", 8), 1);
    EXPECT_EQ(StringCompare("ab", "a1", 8), 3);
}

TEST(MyStringCompare, NumberSyntax)
{
    // Hexadecimal and octal by prefix.
    EXPECT_EQ(StringCompare("v0x10", "v16", 8), 2);
    EXPECT_EQ(StringCompare("v0X1f", "v31", 8), 2);
    EXPECT_EQ(StringCompare("v010", "v8", 8), 2);
    EXPECT_EQ(StringCompare("v010", "v10", 8), 1);
    // "0x" without a hexadecimal digit is the number 0 followed by 'x'.
    EXPECT_EQ(StringCompare("0xg", "0xg", 8), 2);
    EXPECT_EQ(StringCompare("0xg", "0yg", 8), 1);
    // Octal stops at 8: "08" is 0 then 8.
    EXPECT_EQ(StringCompare("08", "0 8", 8), 2);
    // Signs and leading blanks belong to the number.
    EXPECT_EQ(StringCompare("t-5", "t3", 8), 1);
    EXPECT_EQ(StringCompare("t+5", "t5", 8), 2);
    EXPECT_EQ(StringCompare("t  7", "t7", 8), 2);
    EXPECT_EQ(StringCompare("t\t-7", "t-7", 8), 2);
    // A sign or blank alone is not a number.
    EXPECT_EQ(StringCompare("t-", "t-", 8), 2);
    EXPECT_EQ(StringCompare("t- ", "t-a", 8), 1);
    // Without the flag the same texts compare character by character.
    EXPECT_EQ(StringCompare("v0x10", "v16", 0), 1);
}

TEST(MyStringCompare, NumbersClampTo64Bits)
{
    // Both beyond the largest value: both clamp to it and compare equal.
    EXPECT_EQ(StringCompare("n99999999999999999999", "n9223372036854775807", 8), 2);
    EXPECT_EQ(StringCompare("n9223372036854775806", "n99999999999999999999", 8), 1);
    EXPECT_EQ(StringCompare("n-99999999999999999999", "n-9223372036854775808", 8), 2);
    EXPECT_EQ(StringCompare("n-9223372036854775808", "n-9223372036854775807", 8), 1);
    EXPECT_EQ(StringCompare("n0xFFFFFFFFFFFFFFFFFF", "n9223372036854775807", 8), 2);
    // The whole run of digits is consumed even after clamping.
    EXPECT_EQ(StringCompare("n99999999999999999999a", "n9223372036854775807a", 8), 2);
}

// ---- SprintFloat ------------------------------------------------------------------------

namespace {
const TFormatSettings us{'.', ','};
const TFormatSettings pl{',', ' '};
} // namespace

TEST(MyStringSprintFloat, Placeholders)
{
    EXPECT_EQ(SprintFloat("0", 1234.5, us), "1235"); // halves away from zero
    EXPECT_EQ(SprintFloat("0", 2.5, us), "3");
    EXPECT_EQ(SprintFloat("0.00", 1234.567, us), "1234.57");
    EXPECT_EQ(SprintFloat("0.00", 0.5, us), "0.50");
    EXPECT_EQ(SprintFloat("#.##", 0.5, us), ".5");
    EXPECT_EQ(SprintFloat("#.##", 12, us), "12");
    EXPECT_EQ(SprintFloat("#", 0, us), "");
    EXPECT_EQ(SprintFloat("000", 7, us), "007");
    EXPECT_EQ(SprintFloat("#0", 7, us), "7");
    EXPECT_EQ(SprintFloat("0.0#", 1.5, us), "1.5");
    EXPECT_EQ(SprintFloat("0.0#", 1.25, us), "1.25");
    EXPECT_EQ(SprintFloat("0.0#", 1.256, us), "1.26");
    EXPECT_EQ(SprintFloat("0.#0", 1.5, us), "1.50"); // mandatory up to the last 0
    EXPECT_EQ(SprintFloat("0.00", 0.125, us), "0.13");
    EXPECT_EQ(SprintFloat("0.00", 9.999, us), "10.00");
    EXPECT_EQ(SprintFloat("0", 0.4, us), "0");
    EXPECT_EQ(SprintFloat("0", 999.5, us), "1000");
    // Integer digits beyond the placeholders all go to the first one.
    EXPECT_EQ(SprintFloat("0.0", 123456.78, us), "123456.8");
    EXPECT_EQ(SprintFloat("'<'0'>'0", 12345, us), "<1234>5");
    // Without integer placeholders the integer digits stand before the point.
    EXPECT_EQ(SprintFloat(".00", 12.5, us), "12.50");
    EXPECT_EQ(SprintFloat(".00", 0.5, us), ".50");
}

TEST(MyStringSprintFloat, BlankPlaceholder)
{
    EXPECT_EQ(SprintFloat("___0", 5, us), "   5");
    EXPECT_EQ(SprintFloat("___0", 12345, us), "12345");
    EXPECT_EQ(SprintFloat("0.0__", 1.5, us), "1.5  ");
    EXPECT_EQ(SprintFloat("0.___", 2, us), "2    "); // a blank also for the separator
    EXPECT_EQ(SprintFloat("_,__0", 5, us), "    5");
    EXPECT_EQ(SprintFloat("_,__0", 1234, us), "1,234");
}

TEST(MyStringSprintFloat, SeparatorsAndGrouping)
{
    EXPECT_EQ(SprintFloat("#,##0.00", 1234567.891, us), "1,234,567.89");
    EXPECT_EQ(SprintFloat("#,##0.00", 1234567.891, pl), "1 234 567,89");
    EXPECT_EQ(SprintFloat("#,##0", 999, us), "999");
    EXPECT_EQ(SprintFloat("#,##0", 1000, us), "1,000");
    EXPECT_EQ(SprintFloat("#,##0", 0, us), "0");
    EXPECT_EQ(SprintFloat("0,000", 12, us), "0,012");
    EXPECT_EQ(SprintFloat("0.0,", 1234.5, us), "1,234.5"); // ',' anywhere in the mantissa
    EXPECT_EQ(SprintFloat("0.00", 3.25, pl), "3,25");
}

TEST(MyStringSprintFloat, QuotesAndLiterals)
{
    EXPECT_EQ(SprintFloat("'Total: '0.0' kg'", 2.25, us), "Total: 2.3 kg");
    EXPECT_EQ(SprintFloat("\"a;b\"0", 3, us), "a;b3");
    EXPECT_EQ(SprintFloat("0 'x", 3, us), "3 x"); // unclosed quote runs to the end
    EXPECT_EQ(SprintFloat("$0.00", -1, us), "-$1.00");
    EXPECT_EQ(SprintFloat("0 ms", 250, us), "250 ms");
    EXPECT_EQ(SprintFloat("'0#_.,+'0", 1, us), "0#_.,+1");
}

TEST(MyStringSprintFloat, Signs)
{
    EXPECT_EQ(SprintFloat("0.0", -1.25, us), "-1.3");
    EXPECT_EQ(SprintFloat("0.0", -0.01, us), "0.0"); // shows as zero: no sign
    EXPECT_EQ(SprintFloat("+0.0", 1.25, us), "+1.3");
    EXPECT_EQ(SprintFloat("+0.0", -1.25, us), "-1.3");
    EXPECT_EQ(SprintFloat("+0", 0, us), "+0");
    EXPECT_EQ(SprintFloat("'x='+0", 4, us), "x=+4");
}

TEST(MyStringSprintFloat, Sections)
{
    const String f2 = "0.00;(0.00)";
    EXPECT_EQ(SprintFloat(f2, 1.5, us), "1.50");
    EXPECT_EQ(SprintFloat(f2, -1.5, us), "(1.50)");
    EXPECT_EQ(SprintFloat(f2, 0, us), "0.00");
    // Shows as zero in the second section: the first one shows it, with its sign.
    EXPECT_EQ(SprintFloat("0.000;(0)", -0.25, us), "-0.250");
    EXPECT_EQ(SprintFloat("0.000;(0)", -0.75, us), "(1)");

    const String f3 = "0.0;'minus '0.0;'nothing'";
    EXPECT_EQ(SprintFloat(f3, 2, us), "2.0");
    EXPECT_EQ(SprintFloat(f3, -2, us), "minus 2.0");
    EXPECT_EQ(SprintFloat(f3, 0, us), "nothing");
    EXPECT_EQ(SprintFloat(f3, 0.01, us), "nothing");
    EXPECT_EQ(SprintFloat(f3, -0.01, us), "nothing");
    // An empty section falls back to the first.
    EXPECT_EQ(SprintFloat("0.0;;'zero'", -2, us), "-2.0");
    EXPECT_EQ(SprintFloat("0.0;;'zero'", 0, us), "zero");
    EXPECT_EQ(SprintFloat("0;", -3, us), "-3");
    // A section without placeholders shows only its text.
    EXPECT_EQ(SprintFloat("'pos';'neg'", -3, us), "neg");
    EXPECT_EQ(SprintFloat("'pos';'neg'", 3, us), "pos");
}

TEST(MyStringSprintFloat, Exponent)
{
    EXPECT_EQ(SprintFloat("0.00E+00", 1234, us), "1.23E+03");
    EXPECT_EQ(SprintFloat("0.00E+00", 0.001234, us), "1.23E-03");
    EXPECT_EQ(SprintFloat("0.00E-00", 1234, us), "1.23E03");
    EXPECT_EQ(SprintFloat("0.00E-00", 0.001234, us), "1.23E-03");
    EXPECT_EQ(SprintFloat("0.00e+000", 1234, us), "1.23e+003");
    EXPECT_EQ(SprintFloat("00.0E+0", 1234, us), "12.3E+2");
    EXPECT_EQ(SprintFloat("0.0E+0", 9.96, us), "1.0E+1");
    EXPECT_EQ(SprintFloat("0.###E+00", 1500, us), "1.5E+03");
    EXPECT_EQ(SprintFloat("0.00E+00", 0, us), "0.00E+00");
    EXPECT_EQ(SprintFloat("0.00E+00", -1234, us), "-1.23E+03");
    EXPECT_EQ(SprintFloat(".00E+00", 1234, us), ".12E+04");
    EXPECT_EQ(SprintFloat("0E+0", 1e123, us), "1E+123"); // extra exponent digits
    EXPECT_EQ(SprintFloat("0.0+00", 1234, us), "1.2+03"); // '+' after placeholders
    EXPECT_EQ(SprintFloat("0.00E+00", 1234, pl), "1,23E+03");
}

TEST(MyStringSprintFloat, SpecialValuesAndDefaults)
{
    EXPECT_EQ(SprintFloat("0.0", std::numeric_limits<long double>::infinity(), us), "INF");
    EXPECT_EQ(SprintFloat("0.0", -std::numeric_limits<long double>::infinity(), us), "-INF");
    EXPECT_EQ(SprintFloat("0.0", std::numeric_limits<long double>::quiet_NaN(), us), "NAN");
    EXPECT_EQ(SprintFloat("0", 1e20L, us), "100000000000000000000");
    EXPECT_EQ(SprintFloat("#,##0.00", 1234.5), SprintFloat("#,##0.00", 1234.5, DefaultFormatSettings()));
    EXPECT_EQ(SprintFloat("", 5, us), "");
}
