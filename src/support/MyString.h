#pragma once
// Tokenising delimited text, a comparison with case and numeric modes, and a
// pattern-based number formatter. Text is UTF-8 in fk::String; separators are single bytes.
// No state; safe from any thread.
#include "platform/Types.h"
#include "support/FormatSettings.h"

namespace fk::MyString {

// "0" family: pos is 0-based. Returns the length of the token starting at pos (up to the
// next sep or the end) and moves pos behind the separator. When s is empty or pos lies
// outside 0..length-1 it returns 0 and leaves pos.
int StringLengthToken0(const String& s, int& pos, char sep);
String StringToken0(const String& s, int& pos, char sep);
// False (out untouched) when nothing is left (pos >= length); else the token in out.
bool StringToken0(const String& s, String& out, int& pos, char sep);

// "1" family: the same with 1-based positions (nothing happens for pos <= 0 or pos > length).
int StringLengthToken1(const String& s, int& pos, char sep);
String StringToken1(const String& s, int& pos, char sep);
bool StringToken1(const String& s, String& out, int& pos, char sep);

// The first token: the index of the first sep, or the length when there is none.
int StringLengthToken(const String& s, char sep);
String StringToken(const String& s, char sep);
// False (out untouched) when s is empty.
bool StringToken(const String& s, String& out, char sep);

// StringCompare flags.
enum : unsigned long {
    scIgnoreCase = 0x01,  // letters that differ only in case are equal
    scNumeric = 0x08,     // embedded numbers compare by value
    scIgnoreCase2 = 0x10, // the same as scIgnoreCase
};

// 1 (a < b), 2 (equal), 3 (a > b).
int StringCompare(const String& a, const String& b, unsigned long flags);

// Formats x through a pattern: up to three ';'-separated sections (positive; negative; zero),
// quoted literals, placeholders 0 # _, '.', ',', '+', exponents.
String SprintFloat(const String& format, long double x, const TFormatSettings& settings);
String SprintFloat(const String& format, long double x);

} // namespace fk::MyString
