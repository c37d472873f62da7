#include "support/MyString.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale>
#include <new>
#include <stdexcept>
#include <vector>

namespace fk {

const TFormatSettings& DefaultFormatSettings()
{
    static const TFormatSettings settings = [] {
        TFormatSettings s;
        try {
            const std::locale user("");
            const auto& np = std::use_facet<std::numpunct<char>>(user);
            // Single-byte separators only; anything else keeps the defaults.
            const char dec = np.decimal_point();
            const char sep = np.thousands_sep();
            if (static_cast<unsigned char>(dec) < 0x80 && dec != '\0')
                s.DecimalSeparator = dec;
            if (static_cast<unsigned char>(sep) < 0x80 && sep != '\0' && sep != dec)
                s.ThousandSeparator = sep;
        } catch (const std::runtime_error&) {
            // An unknown locale name in the environment: keep '.' and ','.
        } catch (const std::bad_alloc&) {
            // No memory to load the locale: the same defaults.
        }
        return s;
    }();
    return settings;
}

namespace MyString {

// ---------------------------------------------------------------------------------------
// Tokenisers

namespace {

// Length of the token starting at the 0-based index start (which lies inside s).
int TokenLength(const String& s, std::size_t start, char sep)
{
    const std::size_t end = s.find(sep, start);
    return static_cast<int>((end == String::npos ? s.size() : end) - start);
}

bool Inside(const String& s, int pos0)
{
    return pos0 >= 0 && static_cast<std::size_t>(pos0) < s.size();
}

} // namespace

int StringLengthToken0(const String& s, int& pos, char sep)
{
    if (!Inside(s, pos))
        return 0;
    const int len = TokenLength(s, static_cast<std::size_t>(pos), sep);
    pos += len + 1;
    return len;
}

String StringToken0(const String& s, int& pos, char sep)
{
    const int start = pos;
    const int len = StringLengthToken0(s, pos, sep);
    return len > 0 ? s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(len)) : String();
}

bool StringToken0(const String& s, String& out, int& pos, char sep)
{
    if (!Inside(s, pos))
        return false;
    out = StringToken0(s, pos, sep);
    return true;
}

int StringLengthToken1(const String& s, int& pos, char sep)
{
    if (!Inside(s, pos - 1))
        return 0;
    const int len = TokenLength(s, static_cast<std::size_t>(pos - 1), sep);
    pos += len + 1;
    return len;
}

String StringToken1(const String& s, int& pos, char sep)
{
    const int start = pos;
    const int len = StringLengthToken1(s, pos, sep);
    return len > 0 ? s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(len)) : String();
}

bool StringToken1(const String& s, String& out, int& pos, char sep)
{
    if (!Inside(s, pos - 1))
        return false;
    out = StringToken1(s, pos, sep);
    return true;
}

int StringLengthToken(const String& s, char sep)
{
    return s.empty() ? 0 : TokenLength(s, 0, sep);
}

String StringToken(const String& s, char sep)
{
    return s.substr(0, static_cast<std::size_t>(StringLengthToken(s, sep)));
}

bool StringToken(const String& s, String& out, char sep)
{
    if (s.empty())
        return false;
    out = StringToken(s, sep);
    return true;
}

// ---------------------------------------------------------------------------------------
// StringCompare

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

// Parses a number at s[i] the way strtoll(..., 0) does (leading blanks, a sign, "0x"
// hexadecimal, a leading 0 octal, clamping to the 64-bit limits), without reading past the
// end of s. Returns false when nothing converts; else the value and the index behind it.
bool ParseNumber(const String& s, std::size_t i, std::int64_t& value, std::size_t& next)
{
    const std::size_t n = s.size();
    while (i < n && IsBlank(s[i]))
        ++i;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < n && s[i] == '0') {
        if (i + 2 < n && (s[i + 1] == 'x' || s[i + 1] == 'X') && DigitValue(s[i + 2]) < 16) {
            base = 16;
            i += 2;
        } else {
            base = 8; // the 0 itself is an octal digit
        }
    }
    const std::uint64_t limit = negative ? std::uint64_t(1) << 63 : (std::uint64_t(1) << 63) - 1;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    const std::size_t first = i;
    for (; i < n; ++i) {
        const int d = DigitValue(s[i]);
        if (d >= base)
            break;
        if (!overflow) {
            if (magnitude > (limit - static_cast<unsigned>(d)) / static_cast<unsigned>(base))
                overflow = true;
            else
                magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        }
    }
    if (i == first)
        return false;
    if (overflow)
        magnitude = limit;
    if (negative)
        value = magnitude == (std::uint64_t(1) << 63) ? std::numeric_limits<std::int64_t>::min()
                                                      : -static_cast<std::int64_t>(magnitude);
    else
        value = static_cast<std::int64_t>(magnitude);
    next = i;
    return true;
}

unsigned char Lower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

} // namespace

int StringCompare(const String& a, const String& b, unsigned long flags)
{
    const bool numeric = (flags & scNumeric) != 0;
    const bool ignoreCase = (flags & (scIgnoreCase | scIgnoreCase2)) != 0;
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (numeric) {
            std::int64_t va = 0, vb = 0;
            std::size_t ea = 0, eb = 0;
            const bool pa = ParseNumber(a, i, va, ea);
            const bool pb = ParseNumber(b, j, vb, eb);
            if (pa || pb) {
                if (!pa)
                    return 3;
                if (!pb)
                    return 1;
                if (va != vb)
                    return va < vb ? 1 : 3;
                i = ea;
                j = eb;
                continue;
            }
        }
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (ca != cb) {
            const unsigned char la = Lower(ca), lb = Lower(cb);
            if (la != lb)
                return la < lb ? 1 : 3;
            if (!ignoreCase)
                return ca > cb ? 1 : 3; // the lower-case letter sorts first
        }
        ++i;
        ++j;
    }
    if (i < a.size())
        return 3;
    if (j < b.size())
        return 1;
    return 2;
}

// ---------------------------------------------------------------------------------------
// SprintFloat

namespace {

enum class Tk { Literal, IntPh, FracPh, ExpPh, Point, Comma, ExpComma, Plus, ExpStart };

struct Token {
    Tk kind;
    char ch = 0;     // placeholder character, or the exponent's sign character
    String text;     // literal text
};

struct Layout {
    std::vector<Token> tokens;
    int nInt = 0, nFrac = 0, nMand = 0, nExp = 0;
    bool grouping = false, expGrouping = false, plus = false;
    bool any() const { return nInt + nFrac + nExp > 0; }
};

void AddLiteral(std::vector<Token>& tokens, char c)
{
    if (tokens.empty() || tokens.back().kind != Tk::Literal)
        tokens.push_back({Tk::Literal, 0, {}});
    tokens.back().text += c;
}

// First pass: split the section into tokens and count the placeholders.
Layout Analyse(const String& fmt, std::size_t b, std::size_t e)
{
    Layout L;
    bool afterPoint = false, inExp = false, seenPlaceholder = false, afterE = false;
    for (std::size_t i = b; i < e; ++i) {
        const char c = fmt[i];
        const bool prevE = afterE;
        afterE = false;
        if (c == '\'' || c == '"') {
            std::size_t k = i + 1;
            while (k < e && fmt[k] != c)
                AddLiteral(L.tokens, fmt[k++]);
            i = k; // on the closing quote, or at the end
            continue;
        }
        if (inExp) {
            if (c == '0' || c == '#' || c == '_') {
                L.tokens.push_back({Tk::ExpPh, c, {}});
                ++L.nExp;
            } else if (c == ',') {
                L.tokens.push_back({Tk::ExpComma, c, {}});
                L.expGrouping = true;
            } else {
                AddLiteral(L.tokens, c);
            }
            continue;
        }
        switch (c) {
        case '0':
        case '#':
        case '_':
            seenPlaceholder = true;
            if (afterPoint) {
                L.tokens.push_back({Tk::FracPh, c, {}});
                ++L.nFrac;
                if (c == '0')
                    L.nMand = L.nFrac;
            } else {
                L.tokens.push_back({Tk::IntPh, c, {}});
                ++L.nInt;
            }
            break;
        case '.':
            if (afterPoint) {
                AddLiteral(L.tokens, c);
            } else {
                afterPoint = true;
                L.tokens.push_back({Tk::Point, c, {}});
            }
            break;
        case ',':
            L.tokens.push_back({Tk::Comma, c, {}});
            L.grouping = true;
            break;
        case '+':
        case '-':
            if (seenPlaceholder || prevE) {
                inExp = true;
                L.tokens.push_back({Tk::ExpStart, c, {}});
            } else if (c == '+') {
                L.tokens.push_back({Tk::Plus, c, {}});
                L.plus = true;
            } else {
                AddLiteral(L.tokens, c);
            }
            break;
        case 'E':
        case 'e':
            AddLiteral(L.tokens, c);
            afterE = true;
            break;
        default:
            AddLiteral(L.tokens, c);
            break;
        }
    }
    return L;
}

// A decimal value 0.d1 d2 d3 ... x 10^point with at most 18 significant digits, which is
// what the framework's float formatter works from; digits empty means zero.
struct Decimal {
    String digits;
    int point = 0;

    char At(int k) const
    {
        return (k >= 0 && k < static_cast<int>(digits.size())) ? digits[static_cast<std::size_t>(k)] : '0';
    }

    void StripZeros()
    {
        while (!digits.empty() && digits.back() == '0')
            digits.pop_back();
        if (digits.empty())
            point = 0;
    }

    // Keeps count significant digits, rounding halves away from zero.
    void RoundTo(int count)
    {
        if (digits.empty() || count >= static_cast<int>(digits.size()))
            return;
        if (count < 0) {
            digits.clear();
            point = 0;
            return;
        }
        const bool up = digits[static_cast<std::size_t>(count)] >= '5';
        digits.resize(static_cast<std::size_t>(count));
        if (up) {
            int k = count - 1;
            while (k >= 0 && digits[static_cast<std::size_t>(k)] == '9')
                digits[static_cast<std::size_t>(k--)] = '0';
            if (k < 0) {
                digits.insert(digits.begin(), '1');
                ++point;
            } else {
                ++digits[static_cast<std::size_t>(k)];
            }
        }
        StripZeros();
    }
};

Decimal ToDecimal(long double ax)
{
    Decimal d;
    if (ax == 0)
        return d;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17Le", ax);
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            d.digits += *p;
    if (*p == 'e')
        d.point = static_cast<int>(std::strtol(p + 1, nullptr, 10)) + 1;
    d.StripZeros();
    return d;
}

struct Rendered {
    String intDigits;  // padded to nInt; without leading zeros when nInt is 0
    String fracDigits; // nMand..nFrac digits
    String expDigits;  // padded to nExp
    bool expNegative = false;
    bool zero = true;  // the section shows the value as zero
};

Rendered Render(const Layout& L, long double ax)
{
    Rendered r;
    Decimal d = ToDecimal(ax);
    if (!L.any()) {
        r.zero = d.digits.empty();
        return r;
    }
    int exponent = 0;
    if (L.nExp > 0) {
        d.RoundTo(std::max(L.nInt + L.nFrac, 1));
        if (!d.digits.empty())
            exponent = d.point - L.nInt;
        for (int k = 0; k < L.nInt; ++k)
            r.intDigits += d.At(k);
        for (int k = 0; k < L.nFrac; ++k)
            r.fracDigits += d.At(L.nInt + k);
    } else {
        d.RoundTo(d.point + L.nFrac);
        for (int k = 0; k < d.point; ++k)
            r.intDigits += d.At(k);
        for (int k = 0; k < L.nFrac; ++k)
            r.fracDigits += d.At(d.point + k);
    }
    while (static_cast<int>(r.intDigits.size()) < L.nInt)
        r.intDigits.insert(r.intDigits.begin(), '0');
    while (static_cast<int>(r.fracDigits.size()) > L.nMand && r.fracDigits.back() == '0')
        r.fracDigits.pop_back();
    r.zero = d.digits.empty();
    if (L.nExp > 0) {
        r.expNegative = exponent < 0;
        r.expDigits = std::to_string(exponent < 0 ? -static_cast<long>(exponent) : static_cast<long>(exponent));
        while (static_cast<int>(r.expDigits.size()) < L.nExp)
            r.expDigits.insert(r.expDigits.begin(), '0');
    }
    return r;
}

// Puts a run of digits into placeholders: the k-th placeholder of n gets one digit, the
// first one also every digit that exceeds the placeholders.
class DigitFiller {
public:
    DigitFiller(String& out, const String& digits, int placeholders, bool grouping, char separator,
                bool keepLast)
        : out_(out), digits_(digits), grouping_(grouping), separator_(separator), keepLast_(keepLast)
    {
        extra_ = static_cast<int>(digits.size()) - placeholders;
    }

    void Placeholder(char ph)
    {
        const int take = (index_ == 0) ? extra_ + 1 : 1;
        for (int t = 0; t < take; ++t)
            Digit(ph);
    }

    // The digits with no placeholder of their own (a pattern without integer placeholders).
    void All()
    {
        while (pos_ < static_cast<int>(digits_.size()))
            Digit('0');
    }

private:
    void Digit(char ph)
    {
        ++index_;
        if (pos_ >= static_cast<int>(digits_.size()))
            return;
        const char d = digits_[static_cast<std::size_t>(pos_++)];
        const int rest = static_cast<int>(digits_.size()) - pos_;
        bool blank = false;
        if (ph == '0' || started_ || d != '0' || (keepLast_ && rest == 0)) {
            out_ += d;
            started_ = true;
        } else if (ph == '_') {
            out_ += ' ';
            blank = true;
        }
        if (grouping_ && rest > 0 && rest % 3 == 0) {
            if (started_)
                out_ += separator_;
            else if (blank)
                out_ += ' ';
        }
    }

    String& out_;
    const String& digits_;
    bool grouping_;
    char separator_;
    bool keepLast_;
    int extra_ = 0;
    int index_ = 0;
    int pos_ = 0;
    bool started_ = false;
};

// Second pass: walk the section and put the digits into the placeholders.
// sign is 0 (none), '-' or '+'.
String Emit(const Layout& L, const Rendered& r, char sign, const TFormatSettings& fs)
{
    String out;
    if (sign == '-' && !L.plus)
        out += '-';
    bool signDone = sign == '-' && !L.plus;
    DigitFiller ints(out, r.intDigits, L.nInt, L.grouping, fs.ThousandSeparator, false);
    DigitFiller exps(out, r.expDigits, L.nExp, L.expGrouping, fs.ThousandSeparator, true);
    bool intsDone = L.nInt > 0;
    auto flushInts = [&] {
        if (!intsDone) {
            ints.All();
            intsDone = true;
        }
    };
    int frac = 0;
    bool fracShown = false, sepBlank = false;
    for (const Token& t : L.tokens) {
        switch (t.kind) {
        case Tk::Literal:
            out += t.text;
            break;
        case Tk::IntPh:
            ints.Placeholder(t.ch);
            break;
        case Tk::Point:
            flushInts();
            break;
        case Tk::FracPh:
            flushInts();
            if (frac < static_cast<int>(r.fracDigits.size())) {
                if (!fracShown)
                    out += fs.DecimalSeparator;
                fracShown = true;
                out += r.fracDigits[static_cast<std::size_t>(frac)];
            } else if (t.ch == '_') {
                if (!fracShown && !sepBlank) {
                    out += ' '; // stands where the separator would be, keeping columns aligned
                    sepBlank = true;
                }
                out += ' ';
            }
            ++frac;
            break;
        case Tk::Comma:
        case Tk::ExpComma:
            break;
        case Tk::Plus:
            if (!signDone && sign != 0)
                out += sign;
            signDone = true;
            break;
        case Tk::ExpStart:
            if (L.nExp == 0) {
                out += t.ch;
                break;
            }
            flushInts();
            if (r.expNegative)
                out += '-';
            else if (t.ch == '+')
                out += '+';
            break;
        case Tk::ExpPh:
            exps.Placeholder(t.ch);
            break;
        }
    }
    if (L.any())
        flushInts();
    return out;
}

} // namespace

String SprintFloat(const String& format, long double x, const TFormatSettings& settings)
{
    if (std::isnan(x))
        return "NAN";
    if (std::isinf(x))
        return x < 0 ? "-INF" : "INF";

    // Up to three sections separated by ';' outside quotes.
    std::size_t bounds[4] = {0, format.size(), format.size(), format.size()};
    int count = 1;
    char quote = 0;
    for (std::size_t i = 0; i < format.size() && count < 3; ++i) {
        const char c = format[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            bounds[count] = i + 1;
            ++count;
        }
    }
    std::size_t sectionEnd[3];
    for (int k = 0; k < count; ++k)
        sectionEnd[k] = (k + 1 < count) ? bounds[k + 1] - 1 : format.size();
    // A third section ends at the next ';' (anything after it is ignored).
    if (count == 3) {
        quote = 0;
        for (std::size_t i = bounds[2]; i < format.size(); ++i) {
            const char c = format[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '\'' || c == '"') {
                quote = c;
            } else if (c == ';') {
                sectionEnd[2] = i;
                break;
            }
        }
    }
    auto empty = [&](int k) { return k >= count || bounds[k] >= sectionEnd[k]; };

    const bool negative = x < 0;
    const long double ax = std::fabs(x);

    // The positive (first) section; a negative value shown here gets a '-' unless it
    // shows as zero.
    auto positive = [&] {
        const Layout L = Analyse(format, bounds[0], sectionEnd[0]);
        const Rendered r = Render(L, ax);
        char sign = 0;
        if (negative && !r.zero)
            sign = '-';
        else if (L.plus)
            sign = '+';
        return Emit(L, r, sign, settings);
    };
    auto zeroSection = [&] {
        const Layout L = Analyse(format, bounds[2], sectionEnd[2]);
        return Emit(L, Render(L, ax), L.plus ? '+' : 0, settings);
    };

    const bool threeSections = count == 3 && !empty(2);
    if (negative && count >= 2 && !empty(1)) {
        const Layout L = Analyse(format, bounds[1], sectionEnd[1]);
        const Rendered r = Render(L, ax);
        if (!r.zero)
            return Emit(L, r, 0, settings); // the negative section: no sign from the formatter
        return threeSections ? zeroSection() : positive();
    }
    if (threeSections && Render(Analyse(format, bounds[0], sectionEnd[0]), ax).zero)
        return zeroSection();
    return positive();
}

String SprintFloat(const String& format, long double x)
{
    return SprintFloat(format, x, DefaultFormatSettings());
}

} // namespace MyString
} // namespace fk
