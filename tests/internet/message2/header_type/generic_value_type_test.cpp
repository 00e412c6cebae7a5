// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/header_type/generic_value_type.h>

#include <corvid/internet/message2/header_type/unstructured_value_type.h>
#include <corvid/unicode/errors.h>

#include <corvid/tokens.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using corvid::internet::message2::header_type::generic_value_type;
using corvid::internet::message2::header_type::unstructured_value_type;
using strings = std::vector<std::string>;

// The helpers live on the abstract base; any kind gives access to them.
using kind = unstructured_value_type;

TEST(generic_value_type_test, encode_text_leaves_printable_ascii_alone) {
    kind k;
    EXPECT_EQ(k.encode_text(u"Installation Error (Exit Code: 1603)"), "Installation Error (Exit Code: 1603)");
    EXPECT_EQ(k.encode_text(u""), "");
    EXPECT_EQ(k.encode_text(u"tab\tstays"), "tab\tstays");
}

TEST(generic_value_type_test, encode_text_picks_the_shorter_form_and_q_on_a_tie) {
    kind latin1;
    // Q "caf=E9" is shorter than B "Y2Fm6Q==".
    EXPECT_EQ(latin1.encode_text(u"caf\u00E9"), "=?iso-8859-1?Q?caf=E9?=");
    // Blanks become underscores in the Q form.
    EXPECT_EQ(latin1.encode_text(u"a caf\u00E9"), "=?iso-8859-1?Q?a_caf=E9?=");
    // B "6enp6Q==" beats Q "=E9=E9=E9=E9".
    EXPECT_EQ(latin1.encode_text(u"\u00E9\u00E9\u00E9\u00E9"), "=?iso-8859-1?B?6enp6Q==?=");
    // Both "6WE=" and "=E9a" have four characters.
    EXPECT_EQ(latin1.encode_text(u"\u00E9a"), "=?iso-8859-1?Q?=E9a?=");
    kind utf8("utf-8");
    EXPECT_EQ(utf8.encode_text(u"J\u00F6rg"), "=?utf-8?B?SsO2cmc=?=");
}

TEST(generic_value_type_test, encode_text_splits_long_words_between_characters) {
    struct split_case {
        const char* charset;
        std::u16string text;
    };
    const split_case cases[] = {
        {"utf-8", std::u16string(100, u'\u00F6')},
        {"utf-8", u"Grüße aus Köln, ein längerer Bericht über die Woche und was noch kommt"},
        {"iso-8859-1", std::u16string(300, u'\u00E9')},
        // A character outside the BMP is one pair of code units, never cut.
        {"utf-8", std::u16string(40, u'x') + u"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"},
        {"utf-8", std::u16string(5000, u'\u4E2D')},
    };
    for (const auto& c : cases) {
        kind k(c.charset);
        const std::string raw = k.encode_text(c.text);
        ASSERT_GT(raw.size(), 75u);
        for (const std::string& word : corvid::fields(raw, " ")) {
            EXPECT_LE(word.size(), 75u) << word;
            std::u16string part;
            EXPECT_TRUE(k.decode_word(word, part)) << word;
        }
        EXPECT_EQ(k.decode_text(raw), c.text) << raw;
    }
    // A word that fits stays one word.
    const std::string fits = kind("utf-8").encode_text(std::u16string(20, u'\u00F6'));
    EXPECT_EQ(fits.find(' '), std::string::npos);
    EXPECT_LE(fits.size(), 75u);
}

TEST(generic_value_type_test, encode_text_never_lets_a_line_break_through) {
    kind k;
    EXPECT_EQ(k.encode_text(u"a\r\nb"), "=?iso-8859-1?Q?a=0D=0Ab?=");
    EXPECT_EQ(k.encode_text(u"x\ny").find('\n'), std::string::npos);
    std::u16string back;
    EXPECT_TRUE(k.decode_word(k.encode_text(u"a\r\nb"), back));
    EXPECT_EQ(back, u"a\r\nb");
}

TEST(generic_value_type_test, encode_text_passes_conversion_errors_through) {
    kind k;
    EXPECT_THROW(k.encode_text(u"\u4E2D"), corvid::unicode::unmappable_character);
    // An unknown charset maps each character up to U+00FF to one byte.
    kind unknown("x-unknown");
    EXPECT_EQ(unknown.encode_text(u"\u00E9"), "=?x-unknown?Q?=E9?=");
    EXPECT_THROW(unknown.encode_text(u"\u20AC"), corvid::unicode::unmappable_character);
}

TEST(generic_value_type_test, decode_word_keeps_text_around_one_encoded_word) {
    kind k("utf-8");
    std::u16string text;
    EXPECT_TRUE(k.decode_word("ab=?iso-8859-1?Q?caf=E9_x?=cd", text));
    EXPECT_EQ(text, u"abcaf\u00E9 xcd");
    EXPECT_EQ(k.charset, "iso-8859-1");
    EXPECT_TRUE(k.decode_word("=?UTF-8?b?SsO2cmc=?=", text));
    EXPECT_EQ(text, u"J\u00F6rg");
    EXPECT_EQ(k.charset, "UTF-8");
}

TEST(generic_value_type_test, decode_word_reads_malformed_words_as_plain_bytes) {
    kind k;
    std::u16string text;
    EXPECT_FALSE(k.decode_word("caf\xE9", text));
    EXPECT_EQ(text, u"caf\u00E9");
    // An unknown encoding letter: plain, but in the charset the word names.
    EXPECT_FALSE(k.decode_word("=?utf-8?X?\xC3\xB6?=", text));
    EXPECT_EQ(text, u"=?utf-8?X?\u00F6?=");
    EXPECT_EQ(k.charset, "utf-8");
    kind latin1;
    // A question mark inside the encoded text gives six pieces.
    EXPECT_FALSE(latin1.decode_word("=?iso-8859-1?Q?a?b?=", text));
    EXPECT_EQ(text, u"=?iso-8859-1?Q?a?b?=");
    // The end mark before the start mark frames nothing.
    EXPECT_FALSE(latin1.decode_word("?=x=?", text));
    EXPECT_EQ(text, u"?=x=?");
    EXPECT_FALSE(latin1.decode_word("=?=", text));
    EXPECT_EQ(text, u"=?=");
    // A broken escape stays as written instead of failing the header.
    EXPECT_TRUE(latin1.decode_word("=?iso-8859-1?Q?=ZZ?=", text));
    EXPECT_EQ(text, u"=ZZ");
}

TEST(generic_value_type_test, decode_text_drops_blanks_only_between_encoded_words) {
    kind k;
    EXPECT_EQ(k.decode_text("=?iso-8859-1?Q?a?= =?iso-8859-1?Q?b?="), u"ab");
    EXPECT_EQ(k.decode_text("plain  =?iso-8859-1?Q?caf=E9?="), u"plain  caf\u00E9");
    EXPECT_EQ(k.decode_text("=?iso-8859-1?Q?x?= plain   =?iso-8859-1?Q?y?="), u"x plain   y");
    EXPECT_EQ(k.decode_text("  lead  trail   "), u"  lead  trail");
    EXPECT_EQ(k.decode_text("a\tb"), u"a\tb");
    EXPECT_EQ(k.decode_text(""), u"");
}

TEST(generic_value_type_test, tokenize_splits_at_delimiters_and_skips_leading_blanks) {
    EXPECT_EQ(generic_value_type::tokenize("a; b,c", ";,", false), (strings{"a", "b", "c"}));
    EXPECT_EQ(generic_value_type::tokenize(";;a;", ";", false), (strings{"a"}));
    EXPECT_EQ(generic_value_type::tokenize("a ;b", ";", false), (strings{"a ", "b"}));
    EXPECT_TRUE(generic_value_type::tokenize("", ";", false).empty());
}

TEST(generic_value_type_test, tokenize_keeps_quoted_escaped_and_encoded_text_whole) {
    EXPECT_EQ(generic_value_type::tokenize("x=\"a;b\"; y", ";", true), (strings{"x=\"a;b\"", "y"}));
    EXPECT_EQ(generic_value_type::tokenize("x=\"a;b\"; y", ";", false), (strings{"x=a;b", "y"}));
    EXPECT_EQ(generic_value_type::tokenize("a\\;b;c", ";", false), (strings{"a;b", "c"}));
    // A quoted pair is its character, a quote included; where the quotes are
    // kept, the backslashes are too, so that the token can be split again.
    EXPECT_EQ(generic_value_type::tokenize("\"of\\path \\\"x\\\"\";y", ";", false), (strings{"ofpath \"x\"", "y"}));
    EXPECT_EQ(generic_value_type::tokenize("n=\"a\\\";b\";c", ";", true), (strings{"n=\"a\\\";b\"", "c"}));
    EXPECT_EQ(generic_value_type::tokenize("=?utf-8?Q?a;b?=;c", ";", false), (strings{"=?utf-8?Q?a;b?=", "c"}));
    // An unclosed quote runs to the end.
    EXPECT_EQ(generic_value_type::tokenize("\"a;b", ";", true), (strings{"\"a;b"}));
}

TEST(generic_value_type_test, tokenize_question_mark_splits_only_an_empty_token) {
    EXPECT_EQ(generic_value_type::tokenize("?a?b", "?", false), (strings{"a?b"}));
    EXPECT_EQ(generic_value_type::tokenize("?a", ";", false), (strings{"?a"}));
}

}  // namespace
