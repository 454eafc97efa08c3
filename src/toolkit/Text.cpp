#include "toolkit/Text.h"

#include "toolkit/Errors.h"

#include <QChar>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tk {
namespace {

// Decodes one character at text[i] and advances i. A byte that does not start a valid UTF-8
// sequence comes back as 0xDC00 + byte, a value no valid sequence decodes to.
char32_t decodeOne(std::string_view text, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int length = 0;
    char32_t c = 0;
    if ((b0 & 0xE0) == 0xC0) length = 2, c = b0 & 0x1F;
    else if ((b0 & 0xF0) == 0xE0) length = 3, c = b0 & 0x0F;
    else if ((b0 & 0xF8) == 0xF0) length = 4, c = b0 & 0x07;
    bool valid = length > 0 && i + length <= text.size();
    for (int k = 1; valid && k < length; ++k) {
        const unsigned char b = byte(i + k);
        valid = (b & 0xC0) == 0x80;
        c = (c << 6) | (b & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) valid = false;
    if (!valid) {
        ++i;
        return 0xDC00 + b0;
    }
    i += length;
    return c;
}

bool isEscapedByte(char32_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

char32_t lower(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (isEscapedByte(c)) return c;
    return QChar::toLower(static_cast<char32_t>(c));
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Matches one pattern element at pattern[p] against the character at text[t]; on success
// both indices move past what matched.
bool matchOne(std::string_view text, size_t& t, std::string_view pattern, size_t& p) {
    const char32_t c = decodeOne(text, t);
    const char head = pattern[p];
    if (head == '?') {
        ++p;
        return true;
    }
    if (head == '#') {
        ++p;
        return c >= '0' && c <= '9';
    }
    if (head == '[') {
        size_t q = p + 1;
        const bool negate = q < pattern.size() && pattern[q] == '!';
        if (negate) ++q;
        const size_t close = pattern.find(']', q);
        if (close != std::string_view::npos) {
            bool inList = false;
            while (q < close) {
                const char32_t from = decodeOne(pattern, q);
                char32_t to = from;
                if (q + 1 < close && pattern[q] == '-') {
                    ++q;
                    to = decodeOne(pattern, q);
                }
                if (c >= from && c <= to) inList = true;
            }
            p = close + 1;
            return inList != negate;
        }
    }
    return decodeOne(pattern, p) == c;
}

}  // namespace

double Val(const QString& text) {
    std::string number;  // the characters that make up the number, blanks left out
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto skipBlanks = [&] {
        while (i < n && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n')) ++i;
    };
    const auto peek = [&]() -> char16_t {
        skipBlanks();
        return i < n ? text[i].unicode() : char16_t{0};
    };
    const auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };

    if (peek() == u'&') {
        ++i;
        const char16_t kind = peek();
        int base = 0;
        if (kind == u'H' || kind == u'h') base = 16;
        if (kind == u'O' || kind == u'o') base = 8;
        if (base == 0) return 0;
        ++i;
        double value = 0;
        for (char16_t c = peek(); c != 0; c = peek()) {
            int digit = -1;
            if (isDigit(c)) digit = c - u'0';
            else if (base == 16 && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
            else if (base == 16 && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
            if (digit < 0 || digit >= base) break;
            value = value * base + digit;
            ++i;
        }
        return value;
    }

    if (peek() == u'+' || peek() == u'-') number += static_cast<char>(text[i++].unicode());
    bool period = false;
    bool digits = false;
    for (char16_t c = peek(); c != 0; c = peek()) {
        if (isDigit(c)) digits = true;
        else if (c == u'.' && !period) period = true;
        else break;
        number += static_cast<char>(c);
        ++i;
    }
    if (!digits) return 0;
    if (peek() == u'E' || peek() == u'e') {
        const qsizetype mark = i;
        std::string exponent = "e";
        ++i;
        if (peek() == u'+' || peek() == u'-') exponent += static_cast<char>(text[i++].unicode());
        bool expDigits = false;
        for (char16_t c = peek(); isDigit(c); c = peek()) {
            exponent += static_cast<char>(c);
            expDigits = true;
            ++i;
        }
        if (expDigits) number += exponent;
        else i = mark;
    }
    // from_chars reads one decimal point in every locale (strtod follows the user's locale).
    double value = 0;
    const size_t from = number.front() == '+' ? 1 : 0;  // from_chars takes no plus sign
    const auto [end, error] = std::from_chars(number.data() + from, number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Past the double range: too large overflows; too small is 0, as strtod gives it.
        const size_t e = number.find('e');
        if (e != std::string::npos && number[e + 1] == '-') return 0;
        throw overflowError();
    }
    (void)end;
    return value;
}

int32_t CLng(double value) {
    const double rounded = std::nearbyint(value);  // the default rounding mode: halves to even
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) throw overflowError();
    return static_cast<int32_t>(rounded);
}

std::string LCase(std::string_view text) {
    std::string out(text);
    size_t i = 0;
    for (; i < out.size(); ++i) {  // ASCII, the common case, in place
        const auto b = static_cast<unsigned char>(out[i]);
        if (b >= 0x80) break;
        if (static_cast<unsigned>(b - 'A') < 26u) out[i] = static_cast<char>(b + 32);
    }
    if (i == out.size()) return out;
    out.resize(i);
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
            ++i;
            continue;
        }
        const size_t start = i;
        const char32_t c = decodeOne(text, i);
        if (isEscapedByte(c)) out.append(text.substr(start, i - start));
        else appendUtf8(out, lower(c));
    }
    return out;
}

bool Like(std::string_view text, std::string_view pattern) {
    // Patterns that are a star and plain characters, as the finder's are, need no backtracking.
    // Comparing bytes is comparing characters here: a plain pattern character that starts a
    // UTF-8 sequence never continues one, so a matching suffix starts on a character boundary.
    if (pattern.find_first_of("*?#[", 1) == std::string_view::npos) {
        if (pattern.empty()) return text.empty();
        if (pattern[0] == '*') return text.ends_with(pattern.substr(1));
        if (pattern[0] != '?' && pattern[0] != '#' && pattern[0] != '[') return text == pattern;
    }
    size_t t = 0, p = 0;
    size_t starPattern = std::string_view::npos, starText = 0;
    while (t < text.size()) {
        if (p < pattern.size()) {
            if (pattern[p] == '*') {
                starPattern = ++p;
                starText = t;
                continue;
            }
            size_t nt = t, np = p;
            if (matchOne(text, nt, pattern, np)) {
                t = nt;
                p = np;
                continue;
            }
        }
        if (starPattern == std::string_view::npos) return false;
        // Let the last star take one more character and try again from there.
        decodeOne(text, starText);
        t = starText;
        p = starPattern;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

int compareListText(std::string_view a, std::string_view b) {
    // Paths share long prefixes: skip the identical bytes, back to the start of a character.
    size_t same = 0;
    const size_t shorter = std::min(a.size(), b.size());
    while (same < shorter && a[same] == b[same]) ++same;
    const auto continues = [](std::string_view s, size_t at) {
        return at < s.size() && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80;
    };
    while (same > 0 && (continues(a, same) || continues(b, same))) --same;
    size_t i = same, j = same;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[j]);
        char32_t la, lb;
        if ((ca | cb) < 0x80) {
            la = lower(ca), lb = lower(cb);
            ++i, ++j;
        } else {
            la = lower(decodeOne(a, i));
            lb = lower(decodeOne(b, j));
        }
        if (la != lb) return la < lb ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace tk
