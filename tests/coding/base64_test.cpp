// SPDX-License-Identifier: MIT
#include <corvid/coding/base64.h>

#include <gtest/gtest.h>

#include "tests/support/throws.h"

#include <corvid/coding/errors.h>

#include <string>
#include <utility>

namespace cc = corvid::coding;
using namespace std::string_literals;

namespace {

TEST(base64_test, rfc4648_vectors) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [bytes, text] : vectors) {
        EXPECT_EQ(cc::base64_encode(bytes, true), text) << bytes;
        EXPECT_EQ(cc::base64_decode(text, true), bytes) << text;
        std::string bare = text;
        bare.erase(bare.find_last_not_of('=') + 1);
        EXPECT_EQ(cc::base64_encode(bytes, false), bare) << bytes;
        EXPECT_EQ(cc::base64_decode(bare, false), bytes) << bare;
    }
    EXPECT_EQ(cc::base64_encode("\xFB\xFF"s, true), "+/8=");
}

TEST(base64_test, padding_counts_the_whole_output_string) {
    std::string out = "abc";
    cc::base64_encode("a", out, true);
    EXPECT_EQ(out, "abcYQ===");
    out = "abcd";
    cc::base64_encode("a", out, true);
    EXPECT_EQ(out, "abcdYQ==");
    out = "ab";
    cc::base64_encode("", out, true);
    EXPECT_EQ(out, "ab==");
}

TEST(base64_test, values) {
    EXPECT_EQ(cc::base64_encode(std::uint64_t{0}, true), "A===");
    EXPECT_EQ(cc::base64_encode(std::uint64_t{0}, false), "A");
    EXPECT_EQ(cc::base64_encode(64, false), "BA");
    std::string out = "xy";
    cc::base64_encode(63, out, true);
    EXPECT_EQ(out, "/xy=");

    std::uint64_t value = 1;
    cc::base64_decode("A=A", value, false);
    EXPECT_EQ(value, 1u << 12);
    EXPECT_THROW(cc::base64_decode("A=A", value, true), cc::translate::invalid_codeword);
}

TEST(base64_test, equals_is_skipped_when_lenient_and_ends_strict_text) {
    EXPECT_EQ(cc::base64_decode("YQ", false), "a");
    EXPECT_EQ(cc::base64_decode("YQ==", true), "a");
    EXPECT_EQ(cc::base64_decode("====", true), "");
    EXPECT_EQ(cc::base64_decode("Y=W=J=j", false), "abc");
    EXPECT_EQ(cc::base64_decode("YQ==YQ==", false), "a\x06\x10");  // no end mark: the bits run on
    // Strict: "=" before a symbol is no padding; what came before it stays.
    for (const char* text : {"YQ==YQ==", "Y=W=J=j", "=YQ"}) {
        std::string out;
        EXPECT_EQ(corvid::test::what_of<cc::translate::invalid_codeword>([&] { cc::base64_decode(text, out, true); }),
                  "translate.invalid_codeword[Invalid Codeword 0x3D]")
            << text;
        EXPECT_EQ(out, cc::base64_decode(std::string(text).substr(0, std::string(text).find('=')), false)) << text;
    }
}

TEST(base64_test, line_breaks_are_invalid_when_strict) {
    try {
        cc::base64_decode("YW\r\nJj", true);
        FAIL() << "no throw";
    } catch (const cc::translate::invalid_codeword& e) {
        EXPECT_STREQ(e.what(), "translate.invalid_codeword[Invalid Codeword 0x0D]");
    }
    EXPECT_EQ(cc::base64_decode("YW\r\nJj", false), "abc");
    EXPECT_EQ(cc::base64_decode(" Y W J j \xC3\xA9", false), "abc");
}

TEST(base64_test, strict_failure_keeps_the_bytes_before_it) {
    // 8 clean symbols give 6 bytes; the next two give one more before "*".
    std::string out = ">";
    EXPECT_THROW(cc::base64_decode("Zm9vYmFyYQ*AAAA", out, true), cc::translate::invalid_codeword);
    EXPECT_EQ(out, ">foobara");
}

TEST(base64_test, long_text_with_line_breaks_decodes_like_one_piece) {
    std::string bytes;
    for (int i = 0; i < 1000; ++i) bytes += static_cast<char>(i * 7 + i / 13);
    const std::string text = cc::base64_encode(bytes, true);
    std::string lines;
    for (std::size_t i = 0; i < text.size(); i += 76) lines += text.substr(i, 76) + "\r\n";
    EXPECT_EQ(cc::base64_decode(lines, false), bytes);
    EXPECT_EQ(cc::base64_decode(text, true), bytes);
}

}  // namespace
