// SPDX-License-Identifier: MIT
#include <corvid/tokens.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using strings = std::vector<std::string>;
using wstrings = std::vector<std::u16string>;

// The tokenizers are the vector itself.
template <typename List>
strings as_vector(const List& list) {
    return strings(list.begin(), list.end());
}

TEST(tokens_test, runs_and_ends_of_delimiters_give_no_empty_tokens) {
    EXPECT_EQ(as_vector(corvid::tokens("AUTH LOGIN  PLAIN", " ")), (strings{"AUTH", "LOGIN", "PLAIN"}));
    EXPECT_EQ(as_vector(corvid::tokens("  a  b ", " ")), (strings{"a", "b"}));
    EXPECT_EQ(as_vector(corvid::tokens("a,b;;c", ",;")), (strings{"a", "b", "c"}));
    EXPECT_TRUE(corvid::tokens("", " ").empty());
    EXPECT_TRUE(corvid::tokens("   ", " ").empty());
    EXPECT_EQ(as_vector(corvid::tokens("abc", "")), (strings{"abc"}));
    EXPECT_TRUE(corvid::tokens().empty());
    EXPECT_EQ(corvid::wtokens(u"\u00E9 \u4E2D\u00A0x", u" \u00A0"), (wstrings{u"\u00E9", u"\u4E2D", u"x"}));
}

TEST(fields_test, every_delimiter_separates_two_fields) {
    EXPECT_EQ(as_vector(corvid::fields("a,,b", ",")), (strings{"a", "", "b"}));
    EXPECT_EQ(as_vector(corvid::fields("", ",")), (strings{""}));
    EXPECT_EQ(as_vector(corvid::fields("a,", ",")), (strings{"a", ""}));
    EXPECT_EQ(as_vector(corvid::fields(",", ",")), (strings{"", ""}));
    EXPECT_EQ(as_vector(corvid::fields("a;b,c", ",;")), (strings{"a", "b", "c"}));
    EXPECT_TRUE(corvid::fields().empty());
    EXPECT_EQ(corvid::wfields(u"\u00E9||x", u"|"), (wstrings{u"\u00E9", u"", u"x"}));
}

TEST(quoted_tokens_test, quotes_keep_delimiters_together) {
    EXPECT_EQ(as_vector(corvid::quoted_tokens("a,\"b c\",,d", ",")), (strings{"a", "b c", "d"}));
    EXPECT_EQ(as_vector(corvid::quoted_tokens("x \"a b\" y", " ")), (strings{"x", "a b", "y"}));
    EXPECT_EQ(as_vector(corvid::quoted_tokens("\",\"", ",")), (strings{","}));
    EXPECT_TRUE(corvid::quoted_tokens().empty());
}

TEST(quoted_tokens_test, empty_quotes_give_an_empty_token) {
    EXPECT_EQ(as_vector(corvid::quoted_tokens("a \"\" b", " ")), (strings{"a", "", "b"}));
    EXPECT_EQ(as_vector(corvid::quoted_tokens("\"\"", " ")), (strings{""}));
}

TEST(quoted_tokens_test, characters_before_a_quote_join_its_token) {
    EXPECT_EQ(as_vector(corvid::quoted_tokens("name=\"a b\" c", " ")), (strings{"name=a b", "c"}));
    EXPECT_EQ(as_vector(corvid::quoted_tokens("x\"\"", " ")), (strings{"x"}));
    // The closing quote ends the token; what follows starts the next.
    EXPECT_EQ(as_vector(corvid::quoted_tokens("\"a b\"c d", " ")), (strings{"a b", "c", "d"}));
}

TEST(quoted_tokens_test, an_unclosed_quote_runs_to_the_end) {
    EXPECT_EQ(as_vector(corvid::quoted_tokens("a \"b, c", " ,")), (strings{"a", "b, c"}));
    EXPECT_EQ(as_vector(corvid::quoted_tokens("a \"", " ")), (strings{"a"}));
    EXPECT_EQ(as_vector(corvid::quoted_tokens("x\"y z", " ")), (strings{"xy z"}));
}

}  // namespace
