// SPDX-License-Identifier: MIT
#include <corvid/coding/hex.h>

#include <gtest/gtest.h>

#include <corvid/coding/errors.h>

#include <string>

namespace cc = corvid::coding;
using namespace std::string_literals;

namespace {

TEST(hex_test, bytes_round_trip_in_either_case) {
    EXPECT_EQ(cc::hex_encode("\x00\xAB"s), "00ab");
    EXPECT_EQ(cc::hex_decode("00AB", true), "\x00\xAB"s);
    EXPECT_EQ(cc::hex_decode("00ab", true), "\x00\xAB"s);
    EXPECT_EQ(cc::hex_encode(""), "");
    EXPECT_EQ(cc::hex_decode("", true), "");

    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    EXPECT_EQ(cc::hex_decode(cc::hex_encode(all), true), all);
}

TEST(hex_test, odd_last_digit_is_dropped) {
    EXPECT_EQ(cc::hex_decode("abc", true), "\xAB"s);
    EXPECT_EQ(cc::hex_decode("a", true), "");
}

TEST(hex_test, values_have_no_leading_zeros) {
    EXPECT_EQ(cc::hex_encode(std::uint64_t{0}), "0");
    EXPECT_EQ(cc::hex_encode(255), "ff");
    EXPECT_EQ(cc::hex_encode(256), "100");
    EXPECT_EQ(cc::hex_encode(UINT64_MAX), "ffffffffffffffff");

    std::string out = "-tail";
    cc::hex_encode(0xBEEF, out);
    EXPECT_EQ(out, "beef-tail");
}

TEST(hex_test, value_decoding_accumulates_and_loses_the_top) {
    std::uint64_t value = 0x12;
    cc::hex_decode("34", value, true);
    EXPECT_EQ(value, 0x1234u);
    value = 0;
    cc::hex_decode("1ffffffffffffffff", value, true);  // 17 digits
    EXPECT_EQ(value, UINT64_MAX);
}

TEST(hex_test, strict_names_the_byte_and_keeps_what_was_appended) {
    std::string out = "x";
    try {
        cc::hex_decode("4142 43", out, true);
        FAIL() << "no throw";
    } catch (const cc::translate::invalid_codeword& e) {
        EXPECT_STREQ(e.what(), "translate.invalid_codeword[Invalid Codeword 0x20]");
    }
    EXPECT_EQ(out, "xAB");

    // Bytes above 0x7F are looked up as unsigned and named in two digits.
    EXPECT_THROW(cc::hex_decode("41\xFF", true), cc::translate::generic);
    try {
        cc::hex_decode("\x80", true);
    } catch (const cc::translate::generic& e) {
        EXPECT_STREQ(e.message(), "Invalid Codeword 0x80");
    }

    // Lenient decoding skips the bad bytes; pairing runs on across them.
    EXPECT_EQ(cc::hex_decode("4 1\r\n4g2", false), "AB");
}

TEST(hex_test, input_may_be_the_output_string) {
    std::string text = "4142";
    cc::hex_decode(text, text, true);
    EXPECT_EQ(text, "4142AB");
    std::string bytes = "AB";
    cc::hex_encode(bytes, bytes);
    EXPECT_EQ(bytes, "AB4142");
}

}  // namespace
