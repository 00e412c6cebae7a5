// SPDX-License-Identifier: MIT
#include <corvid/variant/variant.h>

#include <corvid/unicode/ansi_codepage.h>
#include <corvid/unicode/errors.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

using corvid::variant;

TEST(variant_test, reads_decimal_text_like_strtol) {
    EXPECT_EQ(variant("250").as_integer(), 250);
    EXPECT_EQ(variant("25x").as_integer(), 25);
    EXPECT_EQ(variant("abc").as_integer(), 0);
    EXPECT_EQ(variant(" -7").as_integer(), -7);
    EXPECT_EQ(variant("\t\n+42 ").as_integer(), 42);
    EXPECT_EQ(variant("- 5").as_integer(), 0);
    EXPECT_EQ(variant("").as_integer(), 0);
    EXPECT_EQ(variant(u" 250 OK").as_integer(), 250);
    EXPECT_EQ(variant(u"-12").as_large(), -12);
}

TEST(variant_test, decimal_text_saturates_at_the_result_limits) {
    EXPECT_EQ(variant("99999999999").as_integer(), 2147483647);
    EXPECT_EQ(variant("99999999999").as_large(), 99999999999);
    EXPECT_EQ(variant("-99999999999").as_integer(), -2147483647 - 1);
    EXPECT_EQ(variant("2147483647").as_integer(), 2147483647);
    EXPECT_EQ(variant("-2147483648").as_integer(), -2147483647 - 1);
    EXPECT_EQ(variant("99999999999999999999999").as_large(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(variant("-9223372036854775808").as_large(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(variant(u"-99999999999999999999999").as_large(), std::numeric_limits<std::int64_t>::min());
}

TEST(variant_test, booleans) {
    EXPECT_EQ(variant(true).as_string(), "1");
    EXPECT_FALSE(variant(false).as_boolean());
    EXPECT_TRUE(variant("1").as_boolean());
    EXPECT_FALSE(variant("true").as_boolean());
    EXPECT_FALSE(variant(" 1").as_boolean());
    EXPECT_TRUE(variant(u"1").as_boolean());
    EXPECT_FALSE(variant().as_boolean());
    EXPECT_TRUE(variant(std::numeric_limits<float>::quiet_NaN()).as_boolean());
    EXPECT_FALSE(variant(0.0f).as_boolean());
}

TEST(variant_test, floats_print_with_six_decimals_and_truncate_toward_zero) {
    EXPECT_EQ(variant(1.5f).as_string(), "1.500000");
    EXPECT_EQ(variant(-0.25f).as_string(), "-0.250000");
    EXPECT_EQ(variant(-1.9f).as_integer(), -1);
    EXPECT_EQ(variant(1.9f).as_large(), 1);
    EXPECT_DOUBLE_EQ(variant(1.5f).as_floating(), 1.5);
}

TEST(variant_test, out_of_range_floats_saturate_instead_of_undefined_behaviour) {
    EXPECT_EQ(variant(1e30f).as_large(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(variant(-1e30f).as_large(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(variant(std::numeric_limits<float>::quiet_NaN()).as_large(), 0);
    EXPECT_EQ(variant(std::numeric_limits<float>::infinity()).as_integer(), -1);  // low 32 bits of the maximum
}

TEST(variant_test, integers_are_unsigned_64_bits_shown_signed) {
    variant top(std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(top.as_string(), "-1");
    EXPECT_EQ(top.as_large(), -1);
    EXPECT_NEAR(top.as_floating(), 1.8446744073709552e19, 1e6);
    EXPECT_TRUE(variant(1u) < top);
    EXPECT_FALSE(top < variant(1u));
    EXPECT_EQ(variant(std::uint64_t{0x1'0000'0005}).as_integer(), 5);
    EXPECT_EQ(variant(std::uint32_t{0xFFFFFFFF}).as_large(), 4294967295);
    EXPECT_EQ(variant(std::uint64_t{9223372036854775808u}).as_string(), "-9223372036854775808");
}

TEST(variant_test, text_reads_as_single_precision_float) {
    EXPECT_FLOAT_EQ(static_cast<float>(variant("2.5e3").as_floating()), 2500.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(variant("  -0.1xyz").as_floating()), -0.1f);
    EXPECT_EQ(variant("0.1").as_floating(), static_cast<double>(0.1f));
    EXPECT_EQ(variant("nothing").as_floating(), 0.0);
    EXPECT_FLOAT_EQ(static_cast<float>(variant(u"3.25").as_floating()), 3.25f);
}

TEST(variant_test, size_and_data_describe_the_payload) {
    EXPECT_EQ(variant().size(), 0u);
    EXPECT_EQ(variant().data(), nullptr);
    EXPECT_EQ(variant(u"ab").size(), 4u);
    EXPECT_EQ(variant("abc").size(), 3u);
    EXPECT_EQ(variant(1u).size(), 8u);
    EXPECT_EQ(variant(1.0f).size(), 4u);
    EXPECT_EQ(std::memcmp(variant("abc").data(), "abc", 3), 0);
    variant n(std::uint64_t{0x0102030405060708});
    std::uint64_t copy;
    std::memcpy(&copy, n.data(), sizeof copy);
    EXPECT_EQ(copy, 0x0102030405060708u);
    EXPECT_EQ(variant(static_cast<const char*>(nullptr)).kind(), variant::string);
    EXPECT_EQ(variant(static_cast<const char*>(nullptr)).size(), 0u);
    EXPECT_EQ(variant(static_cast<const char16_t*>(nullptr)).kind(), variant::wide_string);
}

TEST(variant_test, kinds_follow_the_constructor) {
    EXPECT_EQ(variant().kind(), variant::empty);
    EXPECT_EQ(variant(true).kind(), variant::integer);
    EXPECT_EQ(variant(7u).kind(), variant::integer);
    EXPECT_EQ(variant(1.0f).kind(), variant::floating);
    EXPECT_EQ(variant("x").kind(), variant::string);
    EXPECT_EQ(variant(std::string("x")).kind(), variant::string);
    EXPECT_EQ(variant(u"x").kind(), variant::wide_string);
}

TEST(variant_test, copies_are_independent) {
    variant a("text");
    variant b = a;
    a = variant(2u);
    EXPECT_EQ(b.as_string(), "text");
    EXPECT_EQ(a.as_integer(), 2);
}

TEST(variant_test, ordering_within_a_kind) {
    EXPECT_TRUE(variant() < variant());
    EXPECT_TRUE(variant("a") < variant("b"));
    EXPECT_TRUE(variant("ab") < variant("abc"));
    EXPECT_TRUE(variant("z") < variant("\xe9"));  // bytes compare unsigned
    EXPECT_TRUE(variant(u"z") < variant(u"\u00e9"));
    EXPECT_TRUE(variant(1.0f) < variant(2.0f));
    EXPECT_FALSE(variant(std::numeric_limits<float>::quiet_NaN()) < variant(2.0f));
    EXPECT_FALSE(variant(2.0f) < variant(std::numeric_limits<float>::quiet_NaN()));
}

TEST(variant_test, ordering_across_kinds_throws_type_mismatch) {
    try {
        (void)(variant(1u) < variant("1"));
        FAIL() << "no exception";
    } catch (const variant::type_mismatch& e) {
        EXPECT_STREQ(e.what(), "variant.type_mismatch[operator <() failed]");
    }
    EXPECT_THROW((void)(variant() < variant(0u)), variant::generic);
}

TEST(variant_test, string_kinds_convert_through_the_ansi_code_page) {
    corvid::unicode::pin_ansi_codepage(65001);
    EXPECT_EQ(variant(u"caf\u00e9").as_string(), "caf\xc3\xa9");
    EXPECT_EQ(variant("caf\xc3\xa9").as_wide_string(), u"caf\u00e9");
    EXPECT_EQ(variant(12u).as_wide_string(), u"12");
    EXPECT_EQ(variant(0.5f).as_wide_string(), u"0.500000");
    EXPECT_EQ(variant().as_wide_string(), u"");
    EXPECT_THROW(variant("\xff\xfe").as_wide_string(), corvid::unicode::unmappable_character);
    EXPECT_THROW(variant(u"\xd800").as_string(), corvid::unicode::unmappable_character);
    corvid::unicode::pin_ansi_codepage(1252);
    EXPECT_EQ(variant(u"\u20ac").as_string(), "\x80");
    EXPECT_THROW(variant(u"\u4e00").as_string(), corvid::unicode::unmappable_character);
    corvid::unicode::unpin_ansi_codepage();
}

}  // namespace
