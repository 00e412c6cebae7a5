// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/entity.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using corvid::internet::message2::header_type::parametized_value_type;

parametized_value_type parsed(const std::string& raw) {
    parametized_value_type value;
    value.parse(raw);
    return value;
}

TEST(parametized_value_type_test, content_type_round_trips) {
    const auto value = parsed("text/plain; charset=\"utf-8\"");
    EXPECT_EQ(value.text(), u"text/plain");
    ASSERT_EQ(value.parameters.size(), 1u);
    EXPECT_EQ(value.parameters[0].name, "charset");
    EXPECT_EQ(value.parameters[0].value, u"utf-8");
    EXPECT_EQ(value.render(), "text/plain; charset=\"utf-8\"");
    // Unquoted values come back quoted; an empty one too.
    EXPECT_EQ(parsed("multipart/mixed;boundary=xyz;empty").render(),
              "multipart/mixed; boundary=\"xyz\"; empty=\"\"");
}

TEST(parametized_value_type_test, quotes_hold_delimiters) {
    std::u16string name;
    EXPECT_TRUE(parsed("attachment; filename=\"a;b,c.txt\"").parameter("filename", name));
    EXPECT_EQ(name, u"a;b,c.txt");
    // A quoted first value keeps its quotes.
    EXPECT_EQ(parsed("\"text/plain\"; a=b").text(), u"\"text/plain\"");
}

TEST(parametized_value_type_test, odd_parameter_tokens) {
    const auto value = parsed("a; x=1=2; y; z =3; =4");
    // The name ends at the first "=", without blanks; no name, no parameter.
    ASSERT_EQ(value.parameters.size(), 3u);
    EXPECT_EQ(value.parameters[0].name, "x");
    EXPECT_EQ(value.parameters[0].value, u"1=2");
    EXPECT_EQ(value.parameters[1].name, "y");
    EXPECT_EQ(value.parameters[1].value, u"");
    EXPECT_EQ(value.parameters[2].name, "z");
    EXPECT_EQ(value.parameters[2].value, u"3");
    // Repeated names give two entries.
    EXPECT_EQ(parsed("a; n=1; N=2").parameters.size(), 2u);
    // An empty main value is written as nothing before the first ";".
    for (const char* raw : {"; boundary=\"b\"", " , boundary=b"}) {
        const auto empty = parsed(raw);
        EXPECT_EQ(empty.text(), u"") << raw;
        ASSERT_EQ(empty.parameters.size(), 1u) << raw;
        EXPECT_EQ(empty.parameters[0].value, u"b") << raw;
    }
}

// Values as mailers write them: quoted pairs, blanks inside the quotes,
// encoded words with and without quotes, raw UTF-8.
TEST(parametized_value_type_test, values_keep_what_their_quotes_hold) {
    const struct {
        const char* raw;
        std::u16string value;
    } cases[] = {
        {"a; n=\"of\\path\"", u"ofpath"},
        {"a; n=\"say \\\"hi\\\"\"", u"say \"hi\""},
        {"a; n=\"C:\\\\dir\\\\f.txt\"", u"C:\\dir\\f.txt"},
        {"a; n=\"  two blanks around  \"", u"  two blanks around  "},
        {"a; n=plain ", u"plain"},
        {"a; n==?utf-8?B?w6k=?=", u"\u00E9"},
        {"a; n=\"=?utf-8?Q?caf=C3=A9?=.txt\"", u"caf\u00E9.txt"},
        {"a; n=\"ci\xC3\xABle.txt\"", u"ci\u00EBle.txt"},
        // Not UTF-8: one character per byte, as before.
        {"a; n=\"ci\xEBle.txt\"", u"ci\u00EBle.txt"},
    };
    for (const auto& c : cases) {
        const auto value = parsed(c.raw);
        std::u16string got;
        EXPECT_TRUE(value.parameter("n", got)) << c.raw;
        EXPECT_EQ(got, c.value) << c.raw;
    }
}

TEST(parametized_value_type_test, set_and_remove_match_names_case_insensitively) {
    auto value = parsed("text/plain; charset=iso-8859-1; name=x");
    value.set_parameter("CHARSET", u"utf-8");
    EXPECT_EQ(value.render(), "text/plain; charset=\"utf-8\"; name=\"x\"");
    value.set_parameter_from("Format", "flowed", 65001);
    EXPECT_EQ(value.render(), "text/plain; charset=\"utf-8\"; name=\"x\"; Format=\"flowed\"");

    auto twice = parsed("a; n=1; n=2");
    twice.remove_parameter("N");
    EXPECT_EQ(twice.render(), "a; n=\"2\"");
    twice.remove_parameter("missing");
    EXPECT_EQ(twice.parameters.size(), 1u);
}

TEST(parametized_value_type_test, non_ascii_values_are_encoded_words_inside_quotes) {
    parametized_value_type value("utf-8");
    value.set_text(u"attachment");
    value.set_parameter("filename", u"J\u00F6rg.txt");
    const std::string raw = value.render();
    EXPECT_EQ(raw, "attachment; filename=\"=?utf-8?B?SsO2cmcudHh0?=\"");
    std::u16string name;
    EXPECT_TRUE(parsed(raw).parameter("filename", name));
    EXPECT_EQ(name, u"J\u00F6rg.txt");
}

TEST(parametized_value_type_test, a_quote_in_a_value_cannot_end_the_quoted_string) {
    parametized_value_type value;
    value.set_text(u"attachment");
    value.set_parameter("filename", u"say \"hi\".txt");
    value.set_parameter("size", u"1");
    const std::string raw = value.render();
    EXPECT_EQ(raw, "attachment; filename=\"=?iso-8859-1?Q?say_=22hi=22.txt?=\"; size=\"1\"");
    const auto back = parsed(raw);
    ASSERT_EQ(back.parameters.size(), 2u);
    EXPECT_EQ(back.parameters[0].value, u"say \"hi\".txt");
    EXPECT_EQ(back.parameters[1].value, u"1");
}

TEST(parametized_value_type_test, values_come_back_whole_through_a_header_line) {
    // Tabs and the blanks at either end would be unfolded or cut if they were
    // written as they stand, in the main value or between the quotes.
    for (const std::u16string text : {u"say \"hi\".txt", u"a\tb.txt", u"note.eml ", u"  lead.txt", u"a  b.txt",
                                      u"C:\\temp\\a.txt", u"\u00e9t\u00e9\\ x"}) {
        corvid::internet::message2::entity e;
        parametized_value_type value;
        value.set_text(text);
        value.set_parameter("filename", text);
        e.add_header("Content-Disposition", value);
        const corvid::internet::message2::entity back(e.write_text());
        parametized_value_type read;
        ASSERT_TRUE(back.get_header("Content-Disposition", read));
        std::u16string name;
        EXPECT_TRUE(read.parameter("filename", name));
        EXPECT_EQ(name, text);
        EXPECT_EQ(read.text(), text);
    }
}

}  // namespace
