#pragma once
// Natural order for frames numbered without leading zeros.

#include <string_view>

namespace compose {

// Natural order: every run of digits compares as the number it writes (walk_2 before walk_10,
// 007 with 7), the rest as compareListText does; texts that are equal so are ordered by
// compareListText. Negative, 0 or positive.
int compareNatural(std::string_view a, std::string_view b);

}  // namespace compose
