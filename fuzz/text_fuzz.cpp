// libFuzzer target: the text-to-number rule, rounding, lower case, wildcard matching and the
// list order on arbitrary texts and patterns.

#include "toolkit/Errors.h"
#include "toolkit/Text.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const size_t split = all.find('\0');
    const std::string_view text = all.substr(0, split);
    const std::string_view pattern = split == std::string_view::npos ? std::string_view() : all.substr(split + 1);

    try {
        const double value = tk::Val(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        tk::CLng(value);
    } catch (const tk::Error&) {
    }
    const std::string lower = tk::LCase(text);
    const bool matches = tk::Like(text, pattern);
    if (tk::Like(text, "*") != true) std::abort();
    if (pattern.find_first_of("*?#[") == std::string_view::npos && matches != (text == pattern)) std::abort();
    // The list order is a total order: antisymmetric, and 0 only for equal texts.
    const int ab = tk::compareListText(text, pattern), ba = tk::compareListText(pattern, text);
    if ((ab < 0) != (ba > 0) || ((ab == 0) != (text == pattern))) std::abort();
    (void)lower;
    return 0;
}
