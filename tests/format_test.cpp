// SPDX-License-Identifier: MIT
#include <corvid/format.h>

#include <gtest/gtest.h>

#include <climits>
#include <cwchar>
#include <string>

#include <corvid/exception.h>

namespace {

TEST(format_test, texts_longer_than_the_first_buffer_come_out_whole) {
    // 1023 bytes fit the first buffer with its NUL; 1024 and more need the
    // second pass, whose size comes from the first.
    for (std::size_t size : {1023u, 1024u, 1025u, 2048u, 3000u}) {
        std::string long_text(size, 'x');
        long_text.back() = 'y';
        EXPECT_EQ(corvid::format("%s", long_text.c_str()), long_text) << size;
    }
    std::string text(3000, 'q');
    EXPECT_EQ(corvid::format("<%s|%d>", text.c_str(), 42), "<" + text + "|42>");
}

TEST(format_test, zero_bytes_from_percent_c_stay) {
    std::string two = corvid::format("%c%c", 65, 0);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0], 'A');
    EXPECT_EQ(two[1], '\0');

    // The same past the first buffer: nothing may stop at the NUL.
    std::string half(2000, 'a');
    std::string text = corvid::format("%s%c%s", half.c_str(), 0, half.c_str());
    ASSERT_EQ(text.size(), 4001u);
    EXPECT_EQ(text, half + std::string(1, '\0') + half);
}

TEST(format_test, unrenderable_text_throws_instead_of_looping) {
    // A wide character with no form in the "C" locale makes vsnprintf fail;
    // a larger buffer never helps.
    const wchar_t wide[] = {0xE9, 0};
    EXPECT_THROW(corvid::format("%ls", wide), corvid::exception);
}

TEST(format_test, wide_conversions) {
    EXPECT_EQ(corvid::wformat(u"%d|%5s|%-5s|%.2s|%%", -7, u"ab", u"cd", u"efgh"), u"-7|   ab|cd   |ef|%");
    EXPECT_EQ(corvid::wformat(u"%hs %ls %S", "by\xE9", u"w", u"W"), u"by\u00E9 w W");
    EXPECT_EQ(corvid::wformat(u"%*d|%-*d|%.*s", 4, 1, 3, 2, 1, u"xyz"), u"   1|2  |x");
    EXPECT_EQ(corvid::wformat(u"%*d", -3, 5), u"5  ");
    EXPECT_EQ(corvid::wformat(u"%lld %lu %zu %jd %x %#o", LLONG_MIN, 7UL, std::size_t{9}, std::intmax_t{-1}, 255u, 8u),
              u"-9223372036854775808 7 9 -1 ff 010");
    EXPECT_EQ(corvid::wformat(u"%.3f %g %Lg", 1.5, 0.25, 2.0L), u"1.500 0.25 2");
    EXPECT_EQ(corvid::wformat(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
    // Code units above 127 and surrogate pairs pass through unchanged.
    EXPECT_EQ(corvid::wformat(u"\u00E9%s\U0001F600", u"\U0001F600"), u"\u00E9\U0001F600\U0001F600");
}

TEST(format_test, wide_zero_units_and_long_texts) {
    std::u16string two = corvid::wformat(u"%c%c", u'A', 0);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1], u'\0');
    EXPECT_EQ(corvid::wformat(u"%hc%3c", 'b', u'\u00E9'), u"b  \u00E9");

    std::u16string text(3000, u'\u4E2D');
    EXPECT_EQ(corvid::wformat(u"%s", text.c_str()), text);
    EXPECT_EQ(corvid::wformat(u"[%s]%d", text.c_str(), 5), u"[" + text + u"]5");
    EXPECT_EQ(corvid::wformat(u"%2000d", 1).size(), 2000u);
}

TEST(format_test, wide_refuses_what_it_cannot_read_safely) {
    int count = 0;
    EXPECT_THROW(corvid::wformat(u"ab%n", &count), corvid::exception);
    EXPECT_EQ(count, 0);
    EXPECT_THROW(corvid::wformat(u"%y", 1), corvid::exception);
    EXPECT_THROW(corvid::wformat(u"%hp", nullptr), corvid::exception);
    EXPECT_THROW(corvid::wformat(u"%Ld", 1), corvid::exception);
    EXPECT_THROW(corvid::wformat(u"trailing %"), corvid::exception);
    EXPECT_THROW(corvid::wformat(u"%-5"), corvid::exception);
    EXPECT_THROW(corvid::wformat(u"%99999999999d", 1), corvid::exception);
    try {
        corvid::wformat(u"x%qy");
        FAIL();
    } catch (const corvid::exception& e) {
        EXPECT_STREQ(e.message(), "wformat() unknown conversion \"%q\"");
    }
}

}  // namespace
