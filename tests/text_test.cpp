// SPDX-License-Identifier: MIT
#include <corvid/text.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include <unicode/utf8.h>

namespace {

using namespace std::string_literals;

TEST(text_test, prefix_suffix_and_contains) {
    EXPECT_TRUE(corvid::starts_with("AUTH LOGIN", "AUTH "));
    EXPECT_FALSE(corvid::starts_with("AUT", "AUTH "));
    EXPECT_FALSE(corvid::starts_with("auth login", "AUTH "));
    EXPECT_TRUE(corvid::starts_with("", ""));
    EXPECT_TRUE(corvid::ends_with("x", ""));
    EXPECT_FALSE(corvid::ends_with("x", "xx"));
    EXPECT_TRUE(corvid::ends_with("a.b", ".b"));
    EXPECT_TRUE(corvid::contains("abc", ""));
    EXPECT_TRUE(corvid::contains("a\0b"s, "\0b"s));
    EXPECT_FALSE(corvid::contains("ab", "ba"));
    EXPECT_TRUE(corvid::starts_with(u"\u00E9t\u00E9", u"\u00E9"));
    EXPECT_TRUE(corvid::ends_with(u"ab", u"b"));
    EXPECT_FALSE(corvid::contains(u"ab", u"B"));
}

TEST(text_test, case_maps_ascii_letters_only) {
    EXPECT_EQ(corvid::to_upper("auth=login"), "AUTH=LOGIN");
    EXPECT_EQ(corvid::to_lower("\xC9Z@[`{"), "\xC9z@[`{");  // neighbours of A-Z and a-z stay
    EXPECT_EQ(corvid::to_upper("\xE9z"), "\xE9Z");
    EXPECT_EQ(corvid::to_upper(u"\u00E9\u0101z\u0041"), u"\u00E9\u0101ZA");
    // U+FF21 (fullwidth A) would become U+FF41 with a locale-aware mapping.
    EXPECT_EQ(corvid::to_lower(u"\uFF21B"), u"\uFF21b");
    std::string text = "MiXeD";
    EXPECT_EQ(&corvid::lower_in_place(text), &text);
    EXPECT_EQ(text, "mixed");
    EXPECT_EQ(corvid::upper_in_place(text), "MIXED");
    std::u16string wide = u"MiX";
    EXPECT_EQ(corvid::lower_in_place(wide), u"mix");
    EXPECT_EQ(corvid::upper_in_place(wide), u"MIX");
}

TEST(text_test, case_insensitive_comparison) {
    EXPECT_TRUE(corvid::iequals("Content-Type", "content-type"));
    EXPECT_FALSE(corvid::iequals("Content-Type", "content-typ"));
    EXPECT_FALSE(corvid::iequals("\xC9", "\xE9"));  // no mapping above 127
    EXPECT_TRUE(corvid::iequals(u"MIME-Version", u"mime-version"));
    EXPECT_FALSE(corvid::iequals(u"\u00C9", u"\u00E9"));
    EXPECT_TRUE(corvid::iless("a", "B"));
    EXPECT_FALSE(corvid::iless("B", "a"));
    EXPECT_FALSE(corvid::iless("A", "a"));
    EXPECT_TRUE(corvid::iless("ab", "ABC"));  // a prefix first
    EXPECT_FALSE(corvid::iless("abc", "AB"));
    EXPECT_TRUE(corvid::iless("z", "\x80"));  // bytes as unsigned values
    EXPECT_TRUE(corvid::iless("_", "a"));     // "_" sorts before the lower case, after "A"
}

TEST(text_test, all_digits) {
    EXPECT_TRUE(corvid::all_digits(""));
    EXPECT_TRUE(corvid::all_digits("0123456789"));
    EXPECT_FALSE(corvid::all_digits("12a"));
    EXPECT_FALSE(corvid::all_digits("-1"));
    EXPECT_FALSE(corvid::all_digits(" 1"));
    EXPECT_FALSE(corvid::all_digits("\xB2"));  // superscript two in Latin-1
    EXPECT_TRUE(corvid::all_digits(u"42"));
    EXPECT_FALSE(corvid::all_digits(u"\u0664"));  // Arabic-Indic four
    EXPECT_FALSE(corvid::all_digits(u"\uFF11"));  // fullwidth one
}

// Every sequence of up to four bytes from the bytes that matter, and random
// longer texts, against ICU's own strict reading; ASCII runs of eight and
// more take the word-at-a-time path.
TEST(text_test, is_valid_utf8_agrees_with_icu) {
    const auto icu_valid = [](const std::string& text) {
        for (int32_t i = 0, length = static_cast<int32_t>(text.size()); i < length;) {
            UChar32 c;
            U8_NEXT(text.data(), i, length, c);
            if (c < 0) return false;
        }
        return true;
    };
    const std::string bytes = "\x00\x41\x7F\x80\x8F\x90\x9F\xA0\xBF\xC0\xC1\xC2\xDF\xE0\xED\xEF\xF0\xF4\xF5\xFF"s;
    std::vector<std::string> texts = {"", "plain ASCII text longer than a word", "B\xC3\xBC" "cherei", "\xEF\xBB\xBF"};
    for (char a : bytes)
        for (char b : bytes) {
            texts.push_back({a, b});
            for (char c : bytes) {
                texts.push_back({a, b, c});
                for (char d : {'\x80', '\xBF', 'x'}) texts.push_back({a, b, c, d});
            }
        }
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        std::string text(random() % 40, 'a');
        for (char& c : text)
            if (random() % 8 == 0) c = bytes[random() % bytes.size()];
        texts.push_back(text);
    }
    for (const std::string& text : texts) EXPECT_EQ(corvid::is_valid_utf8(text), icu_valid(text)) << ::testing::PrintToString(text);
}

TEST(text_test, printable_escapes_controls_and_never_cuts_an_escape) {
    EXPECT_EQ(corvid::printable("a\tb\x1b[2J\x7f\xc3\xa9\r\n"), "a\tb\\x1b[2J\\x7f\xc3\xa9\\x0d\\x0a");
    EXPECT_EQ(corvid::printable("a\r\nb", "\r\n"), "a\r\nb");
    EXPECT_EQ(corvid::printable("ab\x01", "", 5), "ab");
    EXPECT_EQ(corvid::printable("ab\x01", "", 6), "ab\\x01");
}

TEST(text_test, replace_all) {
    std::string text = "a\r\n\r\nb";
    EXPECT_EQ(&corvid::replace_all(text, "\r\n", "\n"), &text);
    EXPECT_EQ(text, "a\n\nb");
    // The search resumes after the inserted replacement.
    EXPECT_EQ(corvid::replace_all_copy("aXa", "a", "aa"), "aaXaa");
    EXPECT_EQ(corvid::replace_all_copy("aaaa", "aa", "a"), "aa");
    EXPECT_EQ(corvid::replace_all_copy("abcabc", "abc", ""), "");
    EXPECT_EQ(corvid::replace_all_copy("xyz", "q", "r"), "xyz");
    EXPECT_EQ(corvid::replace_all_copy("a\0b"s, "\0"s, "-"), "a-b");
    EXPECT_EQ(corvid::replace_all_copy(u"\u00E9.\u00E9", u"\u00E9", u"e"), u"e.e");
}

TEST(text_test, replace_all_with_an_empty_pattern_changes_nothing) {
    EXPECT_EQ(corvid::replace_all_copy("abc", "", "x"), "abc");
    EXPECT_EQ(corvid::replace_all_copy("abc", "", ""), "abc");
    EXPECT_EQ(corvid::replace_all_copy("", "", "x"), "");
    EXPECT_EQ(corvid::replace_all_copy(u"ab", u"", u"x"), u"ab");
}

TEST(text_test, replace_all_with_views_into_the_text_itself) {
    std::string text = "abab";
    std::string_view whole(text);
    corvid::replace_all(text, whole.substr(0, 1), whole.substr(2));  // "a" by "ab"
    EXPECT_EQ(text, "abbabb");
}

TEST(text_test, keep_only) {
    EXPECT_EQ(corvid::keep_only("a1b2", "0123456789"), "12");
    EXPECT_EQ(corvid::keep_only("abc", ""), "");
    EXPECT_EQ(corvid::keep_only("a\0b\xFF"s, "\0\xFF"s), "\0\xFF"s);
    EXPECT_EQ(corvid::keep_only(u"a\u00E9b\u00E9", u"\u00E9b"), u"\u00E9b\u00E9");
}

TEST(text_test, strip_markup_removes_tags_and_entities) {
    EXPECT_EQ(corvid::strip_markup("a&amp;b"), "ab");
    EXPECT_EQ(corvid::strip_markup("<p class=\"x\">Hello <b>you</b></p>"), "Hello you");
    EXPECT_EQ(corvid::strip_markup("x&#160;y&#x41;z"), "xyz");
    EXPECT_EQ(corvid::strip_markup("<!-- note -->t<?xml x?>"), "t");
    EXPECT_EQ(corvid::strip_markup(""), "");
}

TEST(text_test, strip_markup_quotes_hide_closing_brackets) {
    EXPECT_EQ(corvid::strip_markup("<a title=\"x>y\">link</a>"), "link");
    EXPECT_EQ(corvid::strip_markup("<a title='x>y'>link</a>"), "link");
    // A single quote closes a double-quoted section: both share one flag.
    EXPECT_EQ(corvid::strip_markup("<a t=\"x'>y"), "y");
    // A backslash in quotes hides the quote after it.
    EXPECT_EQ(corvid::strip_markup("<a t=\"x\\\">y\">z"), "z");
}

TEST(text_test, strip_markup_keeps_text_that_is_not_markup) {
    // A bare "&" or "<" must not swallow the rest of the text.
    EXPECT_EQ(corvid::strip_markup("AT&T and Fish & Chips"), "AT&T and Fish & Chips");
    EXPECT_EQ(corvid::strip_markup("a &; b &amp"), "a &; b &amp");
    EXPECT_EQ(corvid::strip_markup("1 < 2 and 3 > 2"), "1 < 2 and 3 > 2");
    EXPECT_EQ(corvid::strip_markup("end <"), "end <");
    EXPECT_EQ(corvid::strip_markup("\"quoted\" 'text' \\ back"), "\"quoted\" 'text' \\ back");
}

}  // namespace
