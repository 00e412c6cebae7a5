// SPDX-License-Identifier: MIT
#include <corvid/coding/url.h>

#include <gtest/gtest.h>

#include <corvid/coding/errors.h>

#include <string>

namespace cc = corvid::coding;
using namespace std::string_literals;

namespace {

TEST(url_test, only_ascii_letters_and_digits_stay) {
    EXPECT_EQ(cc::url_encode("a b/1"), "a%20b%2F1");
    EXPECT_EQ(cc::url_encode("-._~+\xE9\0"s), "%2D%2E%5F%7E%2B%E9%00");
    EXPECT_EQ(cc::url_encode("AZaz09"), "AZaz09");
}

TEST(url_test, decoding) {
    EXPECT_EQ(cc::url_decode("a%20b%2f1+"), "a b/1+");
    EXPECT_EQ(cc::url_decode("100%"), "100%");
    EXPECT_EQ(cc::url_decode("%4"), "%4");
    std::string out;
    cc::url_decode("%%41%zz", out, false);
    EXPECT_EQ(out, "%A%zz");
    try {
        cc::url_decode("%4G");
        FAIL() << "no throw";
    } catch (const cc::translate::invalid_codeword& e) {
        EXPECT_STREQ(e.message(), "Invalid Codeword 0x47");
    }
}

}  // namespace
