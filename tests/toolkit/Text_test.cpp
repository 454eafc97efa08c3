// Text services: the text-to-number rule, rounding, wildcard matching, lower case, list order.

#include "toolkit/Errors.h"
#include "compose/NaturalOrder.h"
#include "toolkit/Text.h"
#include "support/CommaLocale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>

using tk::CLng;
using tk::Like;
using tk::Val;

TEST(TextToNumber, reads_the_leading_number_the_same_in_every_locale) {
    const std::pair<const char*, double> cases[] = {
        {"64", 64},        {"  64  ", 64},      {"6 4", 64},      {"\t6\n4", 64},  {"64px", 64},
        {"64.5", 64.5},    {"-12.25e1", -122.5}, {"1E3", 1000},   {"1e+2x", 100}, {"1.5e2", 150},
        {"5E", 5},  // an E without digits ends the number
        {"1.2.3", 1.2},    {"+5", 5},           {".5", 0.5},      {"1e-400", 0},  {"64,5", 64},
        {"&H40", 64},      {"&hff", 255},       {"&HFG", 15},     {"&O17", 15},   {"&O78", 7},
        {"", 0},           {"abc", 0},          {"-", 0},         {"&", 0}};
    const auto check = [&] {
        for (const auto& [text, value] : cases) EXPECT_EQ(Val(QString::fromUtf8(text)), value) << '"' << text << '"';
        EXPECT_THROW(Val(QStringLiteral("1e999")), tk::Error);
    };
    check();
    const CommaLocale german;
    if (!german.active()) GTEST_SKIP() << german.why();
    SCOPED_TRACE("in a locale with a decimal comma");
    check();
}

TEST(TextToNumber, rounds_halves_to_even_and_overflows_outside_32_bits) {
    EXPECT_EQ(CLng(64.5), 64);
    EXPECT_EQ(CLng(65.5), 66);
    EXPECT_EQ(CLng(-2.5), -2);
    EXPECT_EQ(CLng(2147483647.0), 2147483647);
    EXPECT_EQ(CLng(-2147483648.0), INT32_MIN);
    try {
        CLng(2147483647.5);
        ADD_FAILURE() << "no overflow";
    } catch (const tk::Error& e) {
        EXPECT_EQ(e.number(), tk::kOverflow);
    }
    EXPECT_THROW(CLng(-2147483649.0), tk::Error);
}

TEST(Wildcards, star_question_hash_and_bracket_lists) {
    EXPECT_TRUE(Like("cat.bmp", "*.bmp"));
    EXPECT_TRUE(Like(".bmp", "*.bmp"));
    EXPECT_FALSE(Like("a.bmp.bak", "*.bmp"));
    EXPECT_FALSE(Like("a.bmpx", "*.bmp"));
    EXPECT_FALSE(Like("bmp", "*.bmp"));
    EXPECT_FALSE(Like("A.BMP", "*.bmp"));  // case matters; the finder lower-cases first
    EXPECT_TRUE(Like("anything", "*"));
    EXPECT_TRUE(Like("", "*"));
    EXPECT_TRUE(Like("abc", "a?c"));
    EXPECT_FALSE(Like("ac", "a?c"));
    EXPECT_TRUE(Like("img7", "img#"));
    EXPECT_FALSE(Like("imgx", "img#"));
    EXPECT_TRUE(Like("b", "[abc]"));
    EXPECT_TRUE(Like("q", "[a-z]"));
    EXPECT_FALSE(Like("Q", "[a-z]"));
    EXPECT_TRUE(Like("x", "[!abc]"));
    EXPECT_FALSE(Like("a", "[!abc]"));
    EXPECT_TRUE(Like("a-1", "[a-c]-[0-9]"));
    EXPECT_TRUE(Like("/pics/sprites/", "*/sprites/"));
    EXPECT_FALSE(Like("/pics/Sprites/", "*/sprites/"));
    EXPECT_TRUE(Like("[x", "[x"));  // an unclosed list is a plain "["
    EXPECT_TRUE(Like("aXbXc", "a*b*c"));
    EXPECT_TRUE(Like("é.bmp", "?.bmp"));  // one character, two bytes
}

TEST(LowerCase, letters_of_any_script_and_bytes_that_are_not_utf8) {
    EXPECT_EQ(tk::LCase("PHOTO.BMP"), "photo.bmp");
    EXPECT_EQ(tk::LCase("ÉTÉ.Bmp"), "été.bmp");
    EXPECT_EQ(tk::LCase(std::string("A\xff.BMP")), std::string("a\xff.bmp"));
}

TEST(ListOrder, case_ignored_then_plain_order_for_ties) {
    EXPECT_LT(tk::compareListText("/p/A.bmp", "/p/b.bmp"), 0);
    EXPECT_GT(tk::compareListText("/p/b.bmp", "/p/A.bmp"), 0);
    EXPECT_LT(tk::compareListText("A.bmp", "a.bmp"), 0);  // the tie goes by plain characters
    EXPECT_EQ(tk::compareListText("a.bmp", "a.bmp"), 0);
    EXPECT_LT(tk::compareListText("_x", "a"), 0);        // "_" before letters, as in lower case
    EXPECT_LT(tk::compareListText("/p/a", "/p/a/b"), 0);
    EXPECT_GT(tk::compareListText("é", "F"), 0);         // é (U+00E9) after f: characters, not bytes of
    EXPECT_LT(tk::compareListText("F", "é"), 0);         // another case, and the same either way round
    EXPECT_LT(tk::compareListText("Éa", "éb"), 0);       // É and é fold alike: the next letter decides
}

TEST(ListOrder, texts_that_end_where_the_other_goes_on_are_read_within_their_bounds) {
    // Found by the fuzzer: equal texts and prefixes, in buffers with nothing after their end.
    const auto exact = [](std::string_view s) { return std::vector<char>(s.begin(), s.end()); };
    const std::vector<char> b1 = exact("b"), b2 = exact("b"), ab = exact("ab"), abc = exact("abc");
    EXPECT_EQ(tk::compareListText({b1.data(), b1.size()}, {b2.data(), b2.size()}), 0);
    EXPECT_LT(tk::compareListText({ab.data(), ab.size()}, {abc.data(), abc.size()}), 0);
    EXPECT_GT(tk::compareListText({abc.data(), abc.size()}, {ab.data(), ab.size()}), 0);
    // Texts that part inside a character are compared from that character's start: "Ä" and
    // "ä" fold alike, so the next letter decides.
    EXPECT_GT(tk::compareListText("\xC3\x84" "b", "\xC3\xA4" "a"), 0);
}

TEST(NaturalOrder, digits_compare_as_numbers_the_rest_as_the_list_and_the_order_is_total) {
    // Generated names of digits (leading zeros too), letters in both cases and a few others; the
    // order checked against a second computation: every run of digits written out to 130 places
    // (every tenth name is x and a run of up to 120 digits).
    std::mt19937 random(3);
    const std::string alphabet = "aAbBzZ_-./ 0123456789\xc3\xa9";
    const auto padded = [](const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size();) {
            if (!std::isdigit(static_cast<unsigned char>(text[i]))) { out += text[i++]; continue; }
            size_t end = i;
            while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
            size_t first = i;
            while (first + 1 < end && text[first] == '0') ++first;
            out += std::string(130 - (end - first), '0') + text.substr(first, end - first);
            i = end;
        }
        return out;
    };
    const auto expected = [&](const std::string& a, const std::string& b) {
        const int c = tk::compareListText(padded(a), padded(b));
        return c ? c : tk::compareListText(a, b);
    };
    std::vector<std::string> names = {"walk_2", "walk_10", "walk_1", "Walk_3", "walk_007", "walk_7", "walk_"};
    for (int i = 0; i < 400; ++i) {
        std::string name;
        for (size_t k = 1 + random() % 8; k > 0; --k) name += alphabet[random() % alphabet.size()];
        if (i % 10 == 0) name = "x";
        for (size_t k = i % 10 == 0 ? 1 + random() % 120 : 0; k > 0; --k) name += char('0' + random() % 10);
        names.push_back(name);
    }
    const auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const std::string& a : names)
        for (const std::string& b : names) {
            ASSERT_EQ(sign(compose::compareNatural(a, b)), sign(expected(a, b))) << a << " / " << b;
            ASSERT_EQ(compose::compareNatural(a, b) == 0, a == b) << a << " / " << b;
        }
    // The same order from any starting order.
    const auto sorted = [&](std::vector<std::string> list) {
        std::stable_sort(list.begin(), list.end(), [](const std::string& a, const std::string& b) { return compose::compareNatural(a, b) < 0; });
        return list;
    };
    std::vector<std::string> shuffled = names;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    EXPECT_EQ(sorted(shuffled), sorted(names));
    const std::vector<std::string> walk = {"walk_", "walk_1", "walk_2", "Walk_3", "walk_007", "walk_7", "walk_10"};
    std::vector<std::string> walks;
    for (const std::string& name : sorted(names))
        if (name.rfind("walk_", 0) == 0 || name.rfind("Walk_", 0) == 0) walks.push_back(name);
    EXPECT_EQ(walks, walk);
}
