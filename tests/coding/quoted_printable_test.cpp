// SPDX-License-Identifier: MIT
#include <corvid/coding/quoted_printable.h>

#include <gtest/gtest.h>

#include <corvid/coding/errors.h>

#include <string>

namespace cc = corvid::coding;
using namespace std::string_literals;

namespace {

TEST(quoted_printable_test, escapes_what_an_encoded_word_cannot_hold) {
    EXPECT_EQ(cc::quoted_printable_encode("a=b c?\r\n"), "a=3Db c=3F=0D=0A");
    EXPECT_EQ(cc::quoted_printable_encode("\"_\t\x7F\x80\xFF~ \0"s), "=22=5F=09=7F=80=FF~ =00");

    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    const std::string text = cc::quoted_printable_encode(all);
    for (unsigned char c : text) EXPECT_TRUE(c >= 0x20 && c < 0x7F && c != '"' && c != '?' && c != '_');
    EXPECT_EQ(cc::quoted_printable_decode(text), all);
}

TEST(quoted_printable_test, short_or_bad_escapes) {
    EXPECT_EQ(cc::quoted_printable_decode("=41=4"), "A=4");
    EXPECT_EQ(cc::quoted_printable_decode("=4"), "=4");
    EXPECT_EQ(cc::quoted_printable_decode("="), "=");
    EXPECT_EQ(cc::quoted_printable_decode("=4a=4A"), "JJ");
    // Soft line breaks and underscores are the caller's.
    EXPECT_EQ(cc::quoted_printable_decode("a_b="), "a_b=");

    std::string out;
    cc::quoted_printable_decode("=4G", out, false);
    EXPECT_EQ(out, "=4G");
    out.clear();
    // The literal "=" leaves the next two bytes to be read again: "==41"
    // is "=" and then the escape "=41".
    cc::quoted_printable_decode("==41", out, false);
    EXPECT_EQ(out, "=A");
}

TEST(quoted_printable_test, strict_names_the_first_bad_digit) {
    try {
        cc::quoted_printable_decode("=4G");
        FAIL() << "no throw";
    } catch (const cc::translate::invalid_codeword& e) {
        EXPECT_STREQ(e.message(), "Invalid Codeword 0x47");
    }
    try {
        cc::quoted_printable_decode("=\r\n");
        FAIL() << "no throw";
    } catch (const cc::translate::generic& e) {
        EXPECT_STREQ(e.message(), "Invalid Codeword 0x0D");
    }
    std::string out = "<";
    EXPECT_THROW(cc::quoted_printable_decode("ab=41=ZZ", out, true), cc::translate::invalid_codeword);
    EXPECT_EQ(out, "<abA");
}

}  // namespace
