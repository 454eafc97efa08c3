#include "compose/NaturalOrder.h"

#include "toolkit/Text.h"

#include <string>

namespace compose {

namespace {

// The text with every run of digits written as its count of digits and then the digits without
// leading zeros: compared character by character, such runs compare as numbers. The count is
// itself written as its own count of digits (one digit) and its digits, so counts of any length
// compare as numbers too.
std::string naturalKey(std::string_view text) {
    std::string key;
    for (size_t i = 0; i < text.size();) {
        if (text[i] < '0' || text[i] > '9') {
            key += text[i++];
            continue;
        }
        size_t end = i;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        size_t first = i;
        while (first + 1 < end && text[first] == '0') ++first;
        const std::string digits = std::to_string(end - first);
        key += static_cast<char>('0' + digits.size());
        key += digits;
        key.append(text.substr(first, end - first));
        i = end;
    }
    return key;
}

}  // namespace

int compareNatural(std::string_view a, std::string_view b) {
    if (const int byNumbers = tk::compareListText(naturalKey(a), naturalKey(b))) return byNumbers;
    return tk::compareListText(a, b);
}

}  // namespace compose
