#pragma once
// Text services: the text-to-number rule, lower-casing, wildcard matching, the list order,
// and the ordered collection. Texts that name files are the file system's bytes (UTF-8 where
// valid); a byte that is not valid UTF-8 counts as one character of its own.

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

// Leading number of a text, 0 when there is none. Blanks, tabs and line feeds are ignored
// wherever they stand; then an optional sign, digits with at most one period, an optional
// exponent (E and a signed or unsigned integer); &H and &O introduce hexadecimal and octal
// integers. Reading stops at the first character that cannot continue the number.
double Val(const QString& text);

// Rounds to the nearest 32-bit integer, halves to even; the overflow error outside the range.
int32_t CLng(double value);

// Lower case, character by character. ASCII letters always; other letters as Unicode maps them.
std::string LCase(std::string_view text);

// Whole-text match: * any run, ? any one character, # one digit, [abc] [a-z] [!abc] one
// character in (or not in) the list. Case-sensitive. A bracket list that is never closed
// matches a literal "[".
bool Like(std::string_view text, std::string_view pattern);

// The sorted list box's order: character by character after lower-casing; texts equal that
// way are ordered by their plain bytes. Negative, 0 or positive.
int compareListText(std::string_view a, std::string_view b);
// An ordered collection of texts: append, count, items first to last.
class Collection {
public:
    void Add(std::string item) { m_items.push_back(std::move(item)); }
    int64_t Count() const { return static_cast<int64_t>(m_items.size()); }
    const std::vector<std::string>& items() const { return m_items; }

private:
    std::vector<std::string> m_items;
};

}  // namespace tk
